// SPDX-License-Identifier: MIT
// The Setup window and its Constraint Form: grids, settings, export and import.

#include "ui/setup_window.h"

#include <QtTest>
#include <QtWidgets>
#include <string_view>

#include "ui/constraint_form.h"
#include "ui/table_grid.h"
#include "ui/tests/test_support.h"

using loomui::TableGrid;
using loomui::testing::click;
using loomui::testing::Workspace;
using namespace Qt::Literals::StringLiterals;

namespace {

QModelIndex cell(const TableGrid* grid, int row, const QString& column) {
  return grid->model()->index(row, grid->model()->fieldIndex(column));
}

QWidget* openEditor(TableGrid* grid, int row, const QString& column) {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // closed editors go
  grid->view()->setCurrentIndex(cell(grid, row, column));
  grid->view()->edit(cell(grid, row, column));
  return grid->view()->viewport()->findChild<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
}

void typeInto(QWidget* editor, const QString& text) {
  auto* line = qobject_cast<QLineEdit*>(editor);
  QVERIFY(line);
  line->selectAll();
  QTest::keyClicks(line, text);
}

}  // namespace

class SetupWindowTest : public QObject {
  Q_OBJECT

  loomui::testing::RecordingSink sink_;
  std::unique_ptr<Workspace> ws_;
  std::unique_ptr<loomui::SetupWindow> w_;
  std::unique_ptr<loomui::ConstraintForm> form_;

  QStringList newRows(qsizetype before) { return ws_->rows("Constraints").mid(before); }
  QLineEdit* box(int i) { return form_->fieldBox(i); }
  void openForm() {
    form_ = std::make_unique<loomui::ConstraintForm>(ws_->rulesPath(), sink_);
    form_->load();
    form_->show();
  }

  void open(const std::string& sql = {}) {
    form_.reset();
    w_.reset();
    ws_ = std::make_unique<Workspace>();
    if (!sql.empty()) ws_->exec(sql);
    sink_ = {};
    w_ = std::make_unique<loomui::SetupWindow>(ws_->rulesPath(), sink_);
    w_->load();
    w_->show();
  }

 private slots:
  void init() { open(); }

  void editsReachTheEditedOneOfTwoIdenticalRows() {
    open("INSERT INTO Groups (GroupID, Header, Footer) VALUES ('DUP', 'x', ''), ('DUP', 'x', '')");
    TableGrid* groups = w_->groupsGrid();
    const int last = groups->model()->rowCount() - 1;
    typeInto(openEditor(groups, last, "Header"), "second");
    groups->view()->setCurrentIndex(groups->model()->index(0, 1));  // moving on writes at once
    QCOMPARE(ws_->rows("Groups").mid(last - 1), (QStringList{"DUP|x|", "DUP|second|"}));
    // A cell still being edited when the window closes is written too.
    typeInto(openEditor(groups, last - 1, "Footer"), "<HR>");
    w_->close();
    QCOMPARE(ws_->rows("Groups").mid(last - 1), (QStringList{"DUP|x|<HR>", "DUP|second|"}));
    QVERIFY(sink_.messages.empty());
  }

  void addDeleteAndEditRows() {
    w_->tabs()->setCurrentIndex(1);
    TableGrid* types = w_->fileTypesGrid();
    const QStringList stored = ws_->rows("FileTypes");
    click(types->addButton());
    // The new row's first cell is open for typing; the others hold values a run takes.
    typeInto(types->view()->viewport()->findChild<QLineEdit*>(), "lst");
    types->view()->setCurrentIndex(types->model()->index(0, 1));
    const QStringList added = stored + QStringList{"LST||1||||ART"};
    QCOMPARE(ws_->rows("FileTypes"), added);
    // Deleting asks first; "Cancel" keeps the row.
    for (const char* answer : {"", "Delete"}) {
      sink_.choose = answer;
      types->view()->selectRow(0);
      click(types->deleteButton());
      QCOMPARE(sink_.messages.back().actions, QStringList{"Delete"});
      QCOMPARE(ws_->rows("FileTypes"), *answer ? added.mid(1) : added);
    }
    const struct {
      int tab;
      const char* column;
      QString input, stored;
    } cases[] = {{1, "Title Line", "3", "3"},  {1, "Identifier", "doc", "DOC"},
                 {1, "GroupID", "NWS", "NWS"}, {2, "GroupID", "art2", "ART2"},
                 {3, "Type", "4", "4"},        {3, "CaseSensitive", "", "0"}};
    for (const auto& c : cases) {
      w_->tabs()->setCurrentIndex(c.tab);
      TableGrid* grid =
          std::array{w_->fileTypesGrid(), w_->groupsGrid(), w_->constraintsGrid()}[c.tab - 1];
      const QModelIndex at = cell(grid, 0, c.column);
      if (c.input.isEmpty()) {  // the flag column is a check box
        QVERIFY(grid->model()->flags(at) & Qt::ItemIsUserCheckable);
        QVERIFY(grid->model()->setData(at, Qt::Unchecked, Qt::CheckStateRole));
      } else {
        QWidget* editor = openEditor(grid, 0, c.column);
        auto* combo = qobject_cast<QComboBox*>(editor);
        if (auto* spin = qobject_cast<QSpinBox*>(editor))
          spin->setValue(c.input.toInt());
        else if (combo && !combo->isEditable())  // the kinds, by number
          combo->setCurrentIndex(combo->findData(c.input.toInt()));
        else if (combo)  // the groups, or one typed
          combo->setCurrentText(c.input);
        else
          typeInto(editor, c.input);
        grid->view()->setCurrentIndex(grid->model()->index(1, 1));
      }
      QCOMPARE(ws_->rows(grid->model()->tableName().toStdString())[0].split('|')[at.column() - 1],
               c.stored);
      if (std::string_view(c.column) == "Type")  // the last kind too is shown with its name
        QVERIFY2(at.data().toString().startsWith(u"4 "_s), qPrintable(at.data().toString()));
    }
  }

  void rowsARunWouldRefuseAreMarked() {
    open(
        "INSERT INTO FileTypes (Identifier, Description, \"Title Line\", \"End of Line\", "
        "BeginSection, EndSection, GroupID) VALUES ('txt', '', 1, '', '', '', 'ART'), "
        "('BAD', '', 'first', '', NULL, '', 'ART');"
        "INSERT INTO Constraints (FileType, Type, \"Search String\", \"Replace String\", RFirst, "
        "RLast, CaseSensitive) VALUES ('GEN', 5, 'a(b', 'x', ' ', ' ', 0), "
        "('GEN', 1, 'a', 'b', ' ', ' ', 2)");
    TableGrid* types = w_->fileTypesGrid();
    const int bad = types->model()->rowCount() - 1;
    auto tip = [](const QModelIndex& at) { return at.data(Qt::ToolTipRole).toString(); };
    QVERIFY(tip(cell(types, bad, "Title Line")).startsWith("FileTypes row \"BAD\": Title Line"));
    QVERIFY(tip(cell(types, bad, "BeginSection")).contains("is empty"));
    QVERIFY(tip(cell(types, bad, "EndSection")).isEmpty());
    const QModelIndex cut = cell(types, 0, "EndSection");  // a long text, cut in its column
    QVERIFY(tip(cut).size() > 30 && tip(cut) == cut.data().toString());
    QVERIFY(tip(cell(types, bad - 1, "Identifier")).startsWith("Row 1 has the same Identifier"));
    QVERIFY(tip(cell(types, 0, "Identifier")).isEmpty());  // the row that is used
    QSignalSpy shown(types->model(), &QAbstractItemModel::dataChanged);
    QVERIFY(types->model()->setData(cell(types, bad, "Title Line"), 2));  // mended, the mark goes
    QVERIFY(tip(cell(types, bad, "Title Line")).isEmpty());
    // Every mark is shown afresh, since an edit can mend or spoil other rows.
    QVERIFY(std::ranges::any_of(shown, [bad](const QList<QVariant>& range) {
      return range[0].toModelIndex().row() == 0 && range[1].toModelIndex().row() == bad;
    }));
    // A flag other than 0 or 1 shows as it is stored beside its ticked box,
    // so that the odd value is seen, not hidden.
    TableGrid* constraints = w_->constraintsGrid();
    const int pattern = constraints->model()->rowCount() - 2;
    QVERIFY(tip(cell(constraints, pattern, "Search String")).contains("RE2 refuses the pattern"));
    const QModelIndex odd =
        cell(constraints, constraints->model()->rowCount() - 1, "CaseSensitive");
    QCOMPARE(odd.data(Qt::DisplayRole).toString(), u"2"_s);
    QCOMPARE(odd.data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(cell(constraints, 0, "CaseSensitive").data(Qt::DisplayRole).toString(), QString());
    // A constraint row added with the button still needs its search text.
    w_->tabs()->setCurrentIndex(3);
    click(constraints->addButton());
    const int added = constraints->model()->rowCount() - 1;
    QVERIFY(tip(cell(constraints, added, "Search String"))
                .startsWith(u"Constraints row %1 "_s.arg(added + 1)));
    w_->close();
    QVERIFY(ws_->rows("Constraints").last().startsWith("GEN|1||| | |0"));
  }

  void savingKeepsTheWindowWithTheEditsOrLeavingAsks() {
    // A text the user did not touch goes back as stored.
    open(
        "UPDATE GlobalDefs SET Content = '<HTML>' || char(13,10) || '<BODY>' WHERE ID = 'Header';"
        "UPDATE GlobalDefs SET Content = 'a' || char(10) || 'b' WHERE ID = 'Footer'");
    w_->endOfLineBox()->setText("  <BR>  ");
    w_->headerBox()->setPlainText("   <HTML>\n\t<BODY>\n  ");
    w_->indexPageBox()->setText(" contents.htm ");
    ws_->exec("ALTER TABLE GlobalDefs RENAME TO Elsewhere");
    click(w_->saveButton());
    QVERIFY(w_->isVisible() && sink_.lone().contains("GlobalDefs"));
    QCOMPARE(w_->indexPageBox()->text(), QString(" contents.htm "));
    ws_->exec("ALTER TABLE Elsewhere RENAME TO GlobalDefs");
    click(w_->saveButton());
    QVERIFY(!w_->isVisible());
    QCOMPARE(ws_->rows("GlobalDefs"),
             (QStringList{"EndofLine|<BR>", "Header|<HTML>\r\n\t<BODY>\r\n", "Footer|a\nb",
                          "IndexPageName|contents.htm"}));
    // Leaving without Save asks when a setting has changed.
    const struct {
      const char* how;
      QString choose;  // the answer to the question; "": Keep editing
      bool changed, stays, saved;
    } leaving[] = {
        {"escape", "", true, true, false},
        {"close", "Discard", true, false, false},
        {"cancel", "Save", true, false, true},
        {"escape", "", false, false, false},
    };
    for (const auto& [how, choose, changed, stays, saved] : leaving) {
      open();
      sink_.choose = choose;
      if (changed) w_->indexPageBox()->setText("start.html");
      if (how == std::string_view("escape")) QTest::keyClick(w_.get(), Qt::Key_Escape);
      if (how == std::string_view("close")) w_->close();
      if (how == std::string_view("cancel")) click(w_->cancelButton());
      QCOMPARE(w_->isVisible(), stays);
      QCOMPARE(sink_.messages.size(), std::size_t{changed});
      QCOMPARE(ws_->rows("GlobalDefs")[3] == "IndexPageName|start.html", saved);
    }
  }

  void optionalSettingsAreChoicesWhoseDefaultRemovesTheRow() {
    const struct {
      const char *key, *stored;      // stored "": no row
      QString shown, chosen, saved;  // chosen "-": untouched; saved "": no row
    } cases[] = {
        {"Encoding", "", "default (windows-1252)", "-", ""},
        {"Encoding", "", "default (windows-1252)", "utf-8", "utf-8"},
        {"EscapeText", "yes", "yes", "no", "no"},
        {"Encoding", "utf-8", "utf-8", "default (windows-1252)", ""},  // a stored row can go
        {"PageNames", "Full", "full", "-", "Full"},                    // kept as it was written
        {"Lines", "wrap", "wrap", "-", "wrap"},  // unknown, kept for the run to name
        {"Lines", "wrap", "wrap", "keep", "keep"},
    };
    for (const auto& c : cases) {
      open(*c.stored ? std::string("INSERT INTO GlobalDefs (ID, Content) VALUES ('") + c.key +
                           "', '" + c.stored + "')"
                     : std::string());
      QComboBox* box = w_->settingBox(loom::settingByKey(c.key)->id);
      QCOMPARE(box->currentText(), c.shown);
      if (c.chosen != "-") box->setCurrentIndex(box->findText(c.chosen));
      click(w_->saveButton());
      QCOMPARE(ws_->rows("GlobalDefs").mid(4),
               c.saved.isEmpty() ? QStringList{} : QStringList{c.key + ("|" + c.saved)});
      QVERIFY(!w_->isVisible() && sink_.messages.empty());
    }
  }

  void exportAndImportRules() {
    QTemporaryDir dir;
    QString file = dir.filePath("rules.json");
    w_->setFileChooser([&file](QWidget*, bool) { return file; });
    const QStringList constraints = ws_->rows("Constraints");
    w_->indexPageBox()->setText("start.html");  // not yet saved, it goes out with the rest
    click(w_->exportButton());
    QVERIFY(Workspace::readFile(file).contains("start.html"));
    const QString holds = u"%1 constraint(s)"_s.arg(constraints.size());
    QVERIFY(sink_.lone().contains(file) && sink_.lone().contains(holds));
    w_->constraintsGrid()->view()->selectRow(0);
    sink_.choose = "Delete";
    click(w_->constraintsGrid()->deleteButton());
    w_->headerBox()->setPlainText("<HTML>");
    sink_ = {};
    click(w_->importButton());  // asked, with what each holds, and not replaced
    const QString fewer = u"%1 constraint(s)"_s.arg(constraints.size() - 1);
    QVERIFY(sink_.lone().contains(fewer + " and") && sink_.lone().contains(holds + " and"));
    QVERIFY(ws_->rows("Constraints") != constraints);
    sink_.choose = "Replace";
    click(w_->importButton());
    QVERIFY(sink_.messages.back().text.contains("were imported"));
    QCOMPARE(ws_->rows("Constraints"), constraints);
    // The boxes show the imported settings, so closing keeps them.
    QVERIFY(w_->headerBox()->toPlainText().startsWith("<HTML><HEAD>"));
    // A broken file changes nothing, not even the edits not yet saved.
    Workspace::writeFile(dir.path(), "rules.json", "{\n\"format\": \"loomwise-rules 1\",\noops\n");
    w_->footerBox()->setPlainText("my unsaved footer");
    sink_ = {};
    click(w_->importButton());
    QVERIFY(sink_.lone().contains("line 3"));
    QCOMPARE(ws_->rows("Constraints"), constraints);
    QCOMPARE(w_->footerBox()->toPlainText(), QString("my unsaved footer"));
    // A change of mind (no file chosen) does nothing at all.
    file.clear();
    click(w_->importButton());
    click(w_->exportButton());
    QCOMPARE(sink_.messages.size(), std::size_t{1});
    QCOMPARE(ws_->rows("GlobalDefs")[3], QString("IndexPageName|start.html"));
  }

  void keysTurnPagesAndFollowTheForm() {
    QCOMPARE(w_->focusWidget(), w_->tabs()->tabBar());
    w_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w_.get()));
    w_->tabs()->setCurrentIndex(1);
    w_->fileTypesGrid()->view()->setFocus();  // a grid keeps Tab for its cells, not Ctrl+Tab
    QTest::keyClick(w_->fileTypesGrid()->view(), Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(w_->tabs()->currentIndex(), 2);
    QTest::keyClick(w_->fileTypesGrid()->view(), Qt::Key_Backtab,
                    Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(w_->tabs()->currentIndex(), 1);
    openForm();
    QVERIFY(loomui::testing::tabsThrough({box(0), box(1), form_->endOfLineBox(), box(2), box(3),
                                          form_->caseSensitiveBox(), form_->fileTypeBox(),
                                          form_->saveButton()}));
  }

  void constraintFormWelcomesThenGridReloads() {
    const int before = w_->constraintsGrid()->model()->rowCount();
    bool formShownAtWelcome = true;
    sink_.onShow = [&](const loomui::Message&) {
      formShownAtWelcome = w_->constraintForm() && w_->constraintForm()->isVisible();
    };
    loomui::testing::whenModalOpens([](QWidget* modal) {
      auto* form = qobject_cast<loomui::ConstraintForm*>(modal);
      form->fieldBox(0)->setText("teh");
      form->fileTypeBox()->setText("txt");
      click(form->saveButton());
      form->close();
    });
    click(w_->constraintFormButton());
    sink_.onShow = nullptr;
    QCOMPARE(sink_.messages.size(), std::size_t{1});  // the welcome
    QVERIFY(!formShownAtWelcome);
    QCOMPARE(w_->constraintsGrid()->model()->rowCount(), before + 1);
  }

  void formSavesOrRefusesTheRow() {
    openForm();
    const struct {
      int option;
      QStringList fields;
      bool endOfLine, caseSensitive;
      QString fileType;
      QString row;  // FileType|Type|Search|Replace|RFirst|RLast|CaseSensitive; empty: refused
    } cases[] = {
        {2, {"*", "*", "<B>", "</B>"}, false, true, "txt", "TXT|3|*|*|<B>|</B>|1"},
        {1, {"##", "ignored"}, true, true, "nws", "NWS|2|##|(EOL)| | |1"},
        {3, {"Contents", "<H2>"}, false, false, "Faq", "FAQ|4|Contents|<H2>| | |0"},
        {0, {"   ", "kept"}, false, false, "TXT", ""},
        {0, {"teh", "kept"}, false, false, " ", ""},
    };
    QSet<QString> helps;
    for (const auto& c : cases) {
      form_->load();
      QVERIFY(form_->kindOption(0)->isChecked());  // as its fields are, after any other kind
      sink_ = {};
      const qsizetype before = ws_->rows("Constraints").size();
      click(form_->kindOption(c.option));
      helps << form_->helpLabel()->text();
      for (int i = 0; i < 4; ++i)
        QCOMPARE(form_->fieldLabel(i)->isVisible(), i < c.fields.size() && box(i)->isVisible());
      for (int i = 0; i < c.fields.size(); ++i) QTest::keyClicks(box(i), c.fields[i]);
      if (c.endOfLine) click(form_->endOfLineBox());
      if (c.caseSensitive) click(form_->caseSensitiveBox());  // leaves the end marker off
      QTest::keyClicks(form_->fileTypeBox(), c.fileType);
      click(form_->saveButton());
      if (c.row.isEmpty()) {
        QCOMPARE(newRows(before), QStringList{});
        const bool noType = c.fileType.trimmed().isEmpty();  // said in the form, at the box
        QVERIFY(sink_.messages.empty());
        QVERIFY(form_->savedLabel()->text().contains(noType ? "GEN" : "first field"));
        QCOMPARE(form_->focusWidget(), noType ? form_->fileTypeBox() : box(0));
        QCOMPARE(box(1)->text(), QString("kept"));
        continue;
      }
      QVERIFY(sink_.messages.empty());
      QCOMPARE(newRows(before), QStringList{c.row});
      QCOMPARE(box(0)->text() + box(1)->text() + box(2)->text() + box(3)->text(), QString());
      QCOMPARE(form_->fileTypeBox()->text(), c.fileType);
    }
    QCOMPARE(helps.size(), 4);
    // A save the database refuses keeps the texts too.
    ws_->exec("ALTER TABLE Constraints RENAME TO Elsewhere");
    box(0)->setText("teh");
    form_->fileTypeBox()->setText("TXT");
    sink_ = {};
    click(form_->saveButton());
    QVERIFY(sink_.lone().contains("Constraints"));
    QCOMPARE(box(0)->text() + box(1)->text(), QString("tehkept"));
    ws_->exec("ALTER TABLE Elsewhere RENAME TO Constraints");
    const qsizetype before = ws_->rows("Constraints").size();
    click(form_->saveButton());
    QCOMPARE(newRows(before), QStringList{"TXT|1|teh|kept| | |0"});
    // Escape asks before typed fields go; an empty form just closes.
    const struct {
      QString typed, choose;
      bool stays;
    } escapes[] = {{"x", "", true}, {"x", "Discard", false}, {"", "", false}};
    for (const auto& [typed, choose, stays] : escapes) {
      sink_ = {};
      sink_.choose = choose;
      box(0)->setText(typed);
      form_->show();
      QTest::keyClick(form_.get(), Qt::Key_Escape);
      QCOMPARE(form_->isVisible(), stays);
      QCOMPARE(sink_.messages.size(), std::size_t{!typed.isEmpty()});
    }
  }

  void formPreviewFollowsTheFormAndKeepsTheSavedRow() {
    openForm();
    QTest::keyClicks(form_->fileTypeBox(), "txt");
    form_->sampleBox()->setPlainText("teh cat -- (c) 2024\nteh end");
    QTest::keyClicks(box(0), "teh");
    QTest::keyClicks(box(1), "the");
    // The saved GEN rows come first, then the row being defined.
    QTRY_COMPARE(form_->previewBox()->toPlainText(), u"the cat &mdash; &copy; 2024\nthe end"_s);
    // Another kind empties the fields; its row is saved before the preview caught up.
    click(form_->kindOption(1));
    QTest::keyClicks(box(0), "cat");
    click(form_->endOfLineBox());
    const qsizetype before = ws_->rows("Constraints").size();
    click(form_->saveButton());
    QCOMPARE(newRows(before), QStringList{"TXT|2|cat|(EOL)| | |0"});
    QCOMPARE(form_->savedLabel()->text(), u"Saved as row %1 of Constraints"_s.arg(before + 1));
    QTest::qWait(400);  // past the preview's pause, it still shows the saved row
    QCOMPARE(form_->previewBox()->toPlainText(), QString("teh\nteh end"));
    QCOMPARE(form_->sampleBox()->toPlainText(), QString("teh cat -- (c) 2024\nteh end"));
  }
};

QTEST_MAIN(SetupWindowTest)
#include "setup_window_test.moc"
