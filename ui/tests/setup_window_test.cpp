// The Setup window: pages and texts, the grids over the rule tables, the
// settings saved on closing, and the Constraint Form opened over it.

#include "ui/setup_window.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSqlRecord>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>

#include "ui/constraint_form.h"
#include "ui/main_window.h"
#include "ui/table_grid.h"
#include "ui/tests/test_support.h"

using loomui::SetupWindow;
using loomui::TableGrid;
using loomui::testing::RecordingSink;
using loomui::testing::Workspace;

namespace {

int column(const TableGrid* grid, const char* name) {
  return grid->model()->record().indexOf(name);
}

// Types `text` into the cell as a user would: open its editor, replace.
void typeIntoCell(TableGrid* grid, int row, int col, const QString& text) {
  QTableView* view = grid->view();
  // Editors closed before are deleted later; make sure only the new one is found.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  const QModelIndex cell = grid->model()->index(row, col);
  view->setCurrentIndex(cell);
  view->edit(cell);
  auto* editor = view->viewport()->findChild<QLineEdit*>();
  QVERIFY(editor);
  editor->selectAll();
  QTest::keyClicks(editor, text);
}

}  // namespace

class SetupWindowTest : public QObject {
  Q_OBJECT

 private:
  RecordingSink sink_;
  std::unique_ptr<Workspace> ws_;

 private slots:
  void init() {
    ws_ = std::make_unique<Workspace>();
    sink_.messages.clear();
    sink_.onShow = nullptr;
    sink_.choose.clear();
  }

  void opensOnAboutPageWithEveryPage() {
    SetupWindow w(ws_->rulesPath(), sink_);
    w.load();
    w.show();
    QCOMPARE(w.tabs()->count(), 6);
    QCOMPARE(w.tabs()->currentIndex(), 5);
    QCOMPARE(w.minimumSize(), w.maximumSize());
    QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(w.tabs()->widget(3)->isAncestorOf(w.constraintFormButton()));
    // The optional settings show the value a missing row stands for.
    QCOMPARE(w.encodingBox()->placeholderText(), QString("windows-1252"));
    QCOMPARE(w.lineEndsBox()->placeholderText(), QString("crlf"));
    QCOMPARE(w.escapeTextBox()->placeholderText(), QString("no"));
    w.close();
  }

  void gridsListEveryRowInStoredOrder() {
    ws_->exec("DELETE FROM Groups WHERE GroupID = 'ART'");
    ws_->exec(
        "INSERT INTO Groups (GroupID, Header, Footer) VALUES ('ZZZ', NULL, ''), "
        "('AAA', 'h', 'f')");
    SetupWindow w(ws_->rulesPath(), sink_);
    w.load();
    const struct {
      TableGrid* grid;
      std::string table;
    } grids[] = {{w.fileTypesGrid(), "FileTypes"},
                 {w.groupsGrid(), "Groups"},
                 {w.constraintsGrid(), "Constraints"}};
    for (const auto& [grid, table] : grids) {
      const QStringList stored = ws_->rows(table);
      QCOMPARE(grid->model()->rowCount(), stored.size());
      // Every column but the key is shown, headed by its name.
      const int key = column(grid, "RowKey");
      QVERIFY(grid->view()->isColumnHidden(key));
      for (int c = 0; c < grid->model()->columnCount(); ++c) {
        if (c != key) QVERIFY(!grid->view()->isColumnHidden(c));
      }
      for (int r = 0; r < stored.size(); ++r) {
        QStringList cells;
        for (int c = 0; c < grid->model()->columnCount(); ++c) {
          if (c == key) continue;
          const QVariant v = grid->model()->index(r, c).data(Qt::EditRole);
          cells << (v.isNull() ? QString("<null>") : v.toString());
        }
        QCOMPARE(cells.join('|'), stored[r]);
      }
    }
    w.show();
    w.close();
  }

  void editIsWrittenToTheEditedRow() {
    // Two identical rows: the edit must reach the second only.
    ws_->exec(
        "INSERT INTO Groups (GroupID, Header, Footer) VALUES ('DUP', '<H2>x</H2>', ''), "
        "('DUP', '<H2>x</H2>', '')");
    SetupWindow w(ws_->rulesPath(), sink_);
    w.load();
    w.show();
    w.tabs()->setCurrentIndex(2);
    TableGrid* groups = w.groupsGrid();
    const int last = groups->model()->rowCount() - 1;
    typeIntoCell(groups, last, column(groups, "Header"), "<H2>second</H2>");
    // Moving to another cell writes the change at once.
    groups->view()->setCurrentIndex(groups->model()->index(0, column(groups, "Header")));
    QStringList rows = ws_->rows("Groups");
    QCOMPARE(rows.mid(rows.size() - 2), (QStringList{"DUP|<H2>x</H2>|", "DUP|<H2>second</H2>|"}));

    // A cell still being edited when the window closes is written too.
    typeIntoCell(groups, last - 1, column(groups, "Footer"), "<HR>");
    w.close();
    QVERIFY(!w.isVisible());
    rows = ws_->rows("Groups");
    QCOMPARE(rows.mid(rows.size() - 2),
             (QStringList{"DUP|<H2>x</H2>|<HR>", "DUP|<H2>second</H2>|"}));
    QVERIFY(sink_.messages.empty());
  }

  void addAndDeleteRows() {
    SetupWindow w(ws_->rulesPath(), sink_);
    w.load();
    w.show();
    w.tabs()->setCurrentIndex(1);
    TableGrid* types = w.fileTypesGrid();
    const int before = types->model()->rowCount();
    QTest::mouseClick(types->addButton(), Qt::LeftButton);
    QCOMPARE(types->model()->rowCount(), before + 1);
    auto* editor = types->view()->viewport()->findChild<QLineEdit*>();
    QVERIFY(editor);  // the new row's first cell is open for typing
    QTest::keyClicks(editor, "lst");
    w.tabs()->setCurrentIndex(2);
    types->view()->setCurrentIndex(types->model()->index(0, 1));
    // Upper-cased, and every other cell a value the run takes: no NULL.
    QCOMPARE(ws_->rows("FileTypes").last(), QString("LST||1||||ART"));
    QCOMPARE(types->model()->rowProblems(before).size(), std::size_t{0});

    // Deleting asks first; "Cancel" keeps the row.
    const QStringList stored = ws_->rows("FileTypes");
    types->view()->selectRow(0);
    QTest::mouseClick(types->deleteButton(), Qt::LeftButton);
    QCOMPARE(sink_.messages.size(), std::size_t{1});
    QCOMPARE(sink_.messages[0].actions, QStringList{"Delete"});
    QCOMPARE(ws_->rows("FileTypes"), stored);
    // Deleting the first row (TXT) leaves the others in order.
    sink_.choose = "Delete";
    types->view()->selectRow(0);
    QTest::mouseClick(types->deleteButton(), Qt::LeftButton);
    QCOMPARE(ws_->rows("FileTypes"), stored.mid(1));
    QCOMPARE(types->model()->rowCount(), before);
    w.close();
    QCOMPARE(ws_->rows("FileTypes"), stored.mid(1));
    QCOMPARE(sink_.messages.size(), std::size_t{2});
  }

  // Each column's editor gives what the run can read.
  void editorsFitTheirColumns_data() {
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("stored");  // the row's stored text after the edit
    QTest::newRow("title line") << 1 << "Title Line"
                                << "3"
                                << "TXT|Articles|3|<P>|<DIV class=\"article\">|</DIV><P><A "
                                   "HREF=\"index.html\">All pages</A></P>|ART";
    QTest::newRow("identifier") << 1 << "Identifier"
                                << "doc"
                                << "DOC|Articles|1|<P>|<DIV class=\"article\">|</DIV><P><A "
                                   "HREF=\"index.html\">All pages</A></P>|ART";
    QTest::newRow("group of a type") << 1 << "GroupID"
                                     << "NWS"
                                     << "TXT|Articles|1|<P>|<DIV class=\"article\">|</DIV><P><A "
                                        "HREF=\"index.html\">All pages</A></P>|NWS";
    QTest::newRow("group id") << 2 << "GroupID"
                              << "art2"
                              << "ART2|<H2>Articles and guides</H2>|<P></P>";
    QTest::newRow("kind") << 3 << "Type"
                          << "4"
                          << "GEN|4|--|&mdash;| | |1";
    QTest::newRow("case box") << 3 << "CaseSensitive"
                              << "0"
                              << "GEN|1|--|&mdash;| | |0";
  }

  void editorsFitTheirColumns() {
    QFETCH(int, tab);
    QFETCH(QString, column);
    QFETCH(QString, input);
    QFETCH(QString, stored);
    SetupWindow w(ws_->rulesPath(), sink_);
    w.load();
    w.show();
    w.tabs()->setCurrentIndex(tab);
    TableGrid* grid = tab == 1   ? w.fileTypesGrid()
                      : tab == 2 ? w.groupsGrid()
                                 : w.constraintsGrid();
    const QModelIndex cell = grid->model()->index(0, ::column(grid, column.toLatin1().constData()));
    if (column == "CaseSensitive") {
      QVERIFY(grid->model()->flags(cell) & Qt::ItemIsUserCheckable);
      QVERIFY(grid->model()->setData(cell, Qt::Unchecked, Qt::CheckStateRole));
    } else {
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
      grid->view()->setCurrentIndex(cell);
      grid->view()->edit(cell);
      QWidget* editor =
          grid->view()->viewport()->findChild<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
      QVERIFY(editor);
      if (auto* spin = qobject_cast<QSpinBox*>(editor)) {
        spin->setValue(input.toInt());
      } else if (auto* combo = qobject_cast<QComboBox*>(editor); combo && !combo->isEditable()) {
        QCOMPARE(combo->count(), 4);  // the four kinds
        combo->setCurrentIndex(combo->findData(input.toInt()));
      } else if (combo) {
        QVERIFY(combo->findText("ART") >= 0 && combo->findText("NWS") >= 0);
        combo->setCurrentText(input);
      } else {
        auto* line = qobject_cast<QLineEdit*>(editor);
        QVERIFY(line);
        line->selectAll();
        QTest::keyClicks(line, input);
      }
      grid->view()->setCurrentIndex(grid->model()->index(1, 1));
    }
    QCOMPARE(ws_->rows(tab == 1 ? "FileTypes" : tab == 2 ? "Groups" : "Constraints")[0], stored);
    w.close();
  }

  // A cell the run would refuse is tinted, with the run's message as tooltip.
  void rowsARunWouldRefuseAreMarked() {
    ws_->exec(
        "INSERT INTO FileTypes (Identifier, Description, \"Title Line\", \"End of Line\", "
        "BeginSection, EndSection, GroupID) VALUES ('BAD', '', 'first', '', NULL, '', 'ART')");
    SetupWindow w(ws_->rulesPath(), sink_);
    w.load();
    w.show();
    TableGrid* types = w.fileTypesGrid();
    const int bad = types->model()->rowCount() - 1;
    auto tip = [types, bad](const char* name) {
      return types->model()->index(bad, column(types, name)).data(Qt::ToolTipRole).toString();
    };
    QCOMPARE(tip("Title Line"),
             QString("FileTypes row \"BAD\": Title Line \"first\" is not a whole number"));
    QCOMPARE(tip("BeginSection"), QString("FileTypes row \"BAD\": BeginSection is empty (NULL)"));
    QVERIFY(
        types->model()->index(bad, column(types, "Title Line")).data(Qt::BackgroundRole).isValid());
    QVERIFY(tip("EndSection").isEmpty());
    QVERIFY(types->model()->index(0, column(types, "Title Line")).data(Qt::ToolTipRole).isNull());
    // Mended, the mark goes.
    QVERIFY(types->model()->setData(types->model()->index(bad, column(types, "Title Line")), 2));
    QVERIFY(tip("Title Line").isEmpty());

    // A constraint row added with the button still needs its search text.
    w.tabs()->setCurrentIndex(3);
    TableGrid* constraints = w.constraintsGrid();
    QTest::mouseClick(constraints->addButton(), Qt::LeftButton);
    const int added = constraints->model()->rowCount() - 1;
    const QString search = constraints->model()
                               ->index(added, column(constraints, "Search String"))
                               .data(Qt::ToolTipRole)
                               .toString();
    QVERIFY2(search.contains("Search String is empty"), qPrintable(search));
    w.close();
    QVERIFY(ws_->rows("Constraints").last().startsWith("GEN|1||| | |0"));
  }

  void settingsLoadedAndTrimmedOnClose() {
    ws_->exec(
        "UPDATE GlobalDefs SET Content = '<HTML>' || char(13,10) || '<BODY>' "
        "WHERE ID = 'Header'");
    SetupWindow w(ws_->rulesPath(), sink_);
    w.load();
    w.show();
    // The stored values, never the texts the boxes carry before loading.
    QCOMPARE(w.headerBox()->toPlainText(), QString("<HTML>\n<BODY>"));
    QCOMPARE(w.endOfLineBox()->text(), QString("<P>"));
    QCOMPARE(w.footerBox()->toPlainText(),
             QString("<HR><P><SMALL>Made with Loomwise from plain text files.</SMALL></P></BODY>"
                     "</HTML>"));
    w.endOfLineBox()->setText("  <BR>  ");
    w.headerBox()->setPlainText("   <HTML>\n\t<BODY>\n  ");
    w.footerBox()->setPlainText("");
    w.indexPageBox()->setText(" contents.htm ");
    w.close();
    QVERIFY(!w.isVisible());
    QCOMPARE(ws_->rows("GlobalDefs"),
             (QStringList{"EndofLine|<BR>", "Header|<HTML>\r\n\t<BODY>\r\n", "Footer|",
                          "IndexPageName|contents.htm"}));
  }

  void untouchedSettingsAreRewrittenTrimmedOnly() {
    ws_->exec("UPDATE GlobalDefs SET Content = '  <P> ' WHERE ID = 'EndofLine'");
    // A bare LF the user never touched stays a bare LF.
    ws_->exec("UPDATE GlobalDefs SET Content = 'a' || char(10) || 'b' WHERE ID = 'Footer'");
    const QStringList before = ws_->rows("Constraints");
    SetupWindow w(ws_->rulesPath(), sink_);
    w.load();
    w.show();
    w.close();
    const QStringList rows = ws_->rows("GlobalDefs");
    QCOMPARE(rows[0], QString("EndofLine|<P>"));
    QCOMPARE(rows[2], QString("Footer|a\nb"));
    QCOMPARE(ws_->rows("Constraints"), before);
  }

  void failingSaveKeepsTheWindowOpen() {
    SetupWindow w(ws_->rulesPath(), sink_);
    w.load();
    w.show();
    w.indexPageBox()->setText("site.html");
    w.headerBox()->setPlainText("<HTML>\n<BODY>");
    ws_->exec("ALTER TABLE GlobalDefs RENAME TO Elsewhere");
    w.close();
    QVERIFY(w.isVisible());
    QCOMPARE(sink_.messages.size(), std::size_t{1});
    QVERIFY2(sink_.messages[0].detail.contains("GlobalDefs"), qPrintable(sink_.messages[0].detail));
    QCOMPARE(w.indexPageBox()->text(), QString("site.html"));
    QCOMPARE(w.headerBox()->toPlainText(), QString("<HTML>\n<BODY>"));

    // Once the table is back, closing saves the edits.
    ws_->exec("ALTER TABLE Elsewhere RENAME TO GlobalDefs");
    w.close();
    QVERIFY(!w.isVisible());
    QCOMPARE(ws_->rows("GlobalDefs")[3], QString("IndexPageName|site.html"));
    QCOMPARE(ws_->rows("GlobalDefs")[1], QString("Header|<HTML>\r\n<BODY>"));
  }

  void optionalSettingsLoadAndSave_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");  // "-": no row
    QTest::addColumn<QString>("typed");   // "-": untouched
    QTest::addColumn<QString>("saved");   // "-": no row
    QTest::newRow("no row, box left empty") << "Encoding"
                                            << "-"
                                            << "-"
                                            << "-";
    QTest::newRow("no row, utf-8 typed") << "Encoding"
                                         << "-"
                                         << " utf-8 "
                                         << "utf-8";
    QTest::newRow("row kept") << "Encoding"
                              << "windows-1252"
                              << "-"
                              << "windows-1252";
    QTest::newRow("row changed, case kept") << "Encoding"
                                            << "utf-8"
                                            << "Windows-1252"
                                            << "Windows-1252";
    QTest::newRow("line ends left out") << "LineEnds"
                                        << "-"
                                        << "-"
                                        << "-";
    QTest::newRow("line ends typed") << "LineEnds"
                                     << "-"
                                     << "any"
                                     << "any";
    QTest::newRow("line ends kept") << "LineEnds"
                                    << "crlf"
                                    << "-"
                                    << "crlf";
    QTest::newRow("escape text typed") << "EscapeText"
                                       << "-"
                                       << "yes"
                                       << "yes";
    QTest::newRow("escape text changed") << "EscapeText"
                                         << "yes"
                                         << "no"
                                         << "no";
  }

  void optionalSettingsLoadAndSave() {
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(QString, typed);
    QFETCH(QString, saved);
    if (stored != "-") {
      ws_->exec("INSERT INTO GlobalDefs (ID, Content) VALUES ('" + key.toStdString() + "', '" +
                stored.toStdString() + "')");
    }
    SetupWindow w(ws_->rulesPath(), sink_);
    w.load();
    w.show();
    QLineEdit* box = key == "Encoding"   ? w.encodingBox()
                     : key == "LineEnds" ? w.lineEndsBox()
                                         : w.escapeTextBox();
    QCOMPARE(box->text(), stored == "-" ? QString() : stored);
    if (typed != "-") box->setText(typed);
    w.close();
    QVERIFY(!w.isVisible());
    const QStringList rows = ws_->rows("GlobalDefs");
    QCOMPARE(rows.size(), saved == "-" ? 4 : 5);
    if (saved != "-") QCOMPARE(rows[4], key + "|" + saved);
  }

  void unknownSettingKeepsTheWindowOpen_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("said");
    QTest::newRow("unknown encoding") << "Encoding"
                                      << "latin-1"
                                      << "windows-1252 or utf-8";
    QTest::newRow("emptied encoding") << "Encoding"
                                      << ""
                                      << "windows-1252 or utf-8";
    QTest::newRow("unknown line ends") << "LineEnds"
                                       << "lf"
                                       << "crlf or any";
    QTest::newRow("unknown escape text") << "EscapeText"
                                         << "true"
                                         << "yes or no";
  }

  void unknownSettingKeepsTheWindowOpen() {
    QFETCH(QString, key);
    QFETCH(QString, typed);
    QFETCH(QString, said);
    ws_->exec("INSERT INTO GlobalDefs (ID, Content) VALUES ('Encoding', 'utf-8')");
    SetupWindow w(ws_->rulesPath(), sink_);
    w.load();
    w.show();
    w.indexPageBox()->setText("kept.html");
    QLineEdit* box = key == "Encoding"   ? w.encodingBox()
                     : key == "LineEnds" ? w.lineEndsBox()
                                         : w.escapeTextBox();
    box->setText(typed);
    w.close();
    QVERIFY(w.isVisible());
    QCOMPARE(w.tabs()->currentIndex(), 4);
    QCOMPARE(sink_.messages.size(), std::size_t{1});
    QVERIFY2(sink_.messages[0].text.contains(said), qPrintable(sink_.messages[0].text));
    QVERIFY2(sink_.messages[0].text.contains(typed), qPrintable(sink_.messages[0].text));
    QCOMPARE(ws_->rows("GlobalDefs")[3], QString("IndexPageName|index.html"));  // nothing saved
    box->setText(key == "Encoding" ? "UTF-8" : "");
    w.close();
    QVERIFY(!w.isVisible());
    QCOMPARE(ws_->rows("GlobalDefs")[3], QString("IndexPageName|kept.html"));
  }

  void exportAndImportRules() {
    QTemporaryDir dir;
    const QString file = dir.filePath("rules.json");
    QList<bool> asked;
    SetupWindow w(ws_->rulesPath(), sink_);
    w.setFileChooser([&](QWidget*, bool forSaving) {
      asked << forSaving;
      return file;
    });
    w.load();
    w.show();
    const QStringList constraints = ws_->rows("Constraints");
    // An edit not yet saved goes out with the rest.
    w.indexPageBox()->setText("start.html");
    QTest::mouseClick(w.exportButton(), Qt::LeftButton);
    QVERIFY(sink_.messages.empty());
    const QByteArray text = Workspace::readFile(file);
    QVERIFY(text.contains("start.html"));
    QVERIFY(text.contains("&mdash;"));

    // Change the rules, then bring the exported ones back.
    w.tabs()->setCurrentIndex(3);
    w.constraintsGrid()->view()->selectRow(0);
    sink_.choose = "Delete";
    QTest::mouseClick(w.constraintsGrid()->deleteButton(), Qt::LeftButton);
    QCOMPARE(ws_->rows("Constraints").size(), constraints.size() - 1);
    sink_.messages.clear();
    w.headerBox()->setPlainText("<HTML>");
    QTest::mouseClick(w.importButton(), Qt::LeftButton);
    QVERIFY2(sink_.messages.empty(), qPrintable(sink_.texts().join('\n')));
    QCOMPARE(asked, (QList<bool>{true, false}));
    QCOMPARE(ws_->rows("Constraints"), constraints);
    QCOMPARE(w.constraintsGrid()->model()->rowCount(), constraints.size());
    // The boxes show the imported settings, so closing keeps them.
    QCOMPARE(w.indexPageBox()->text(), QString("start.html"));
    QVERIFY(w.headerBox()->toPlainText().startsWith("<HTML><HEAD>"));
    w.close();
    QVERIFY(!w.isVisible());
    QCOMPARE(ws_->rows("GlobalDefs")[3], QString("IndexPageName|start.html"));
  }

  void malformedImportChangesNothing() {
    QTemporaryDir dir;
    const QString file = dir.filePath("broken.json");
    Workspace::writeFile(dir.path(), "broken.json",
                         "{\n  \"format\": \"loomwise-rules 1\",\n  oops\n");
    SetupWindow w(ws_->rulesPath(), sink_);
    w.setFileChooser([&](QWidget*, bool) { return file; });
    w.load();
    w.show();
    const QStringList groups = ws_->rows("Groups");
    w.footerBox()->setPlainText("my unsaved footer");
    QTest::mouseClick(w.importButton(), Qt::LeftButton);
    QCOMPARE(sink_.messages.size(), std::size_t{1});
    QVERIFY2(sink_.messages[0].detail.contains("line 3"), qPrintable(sink_.messages[0].detail));
    QCOMPARE(ws_->rows("Groups"), groups);
    QCOMPARE(w.groupsGrid()->model()->rowCount(), groups.size());
    QCOMPARE(w.footerBox()->toPlainText(), QString("my unsaved footer"));
    // A change of mind (no file chosen) does nothing at all.
    w.setFileChooser([](QWidget*, bool) { return QString(); });
    QTest::mouseClick(w.importButton(), Qt::LeftButton);
    QTest::mouseClick(w.exportButton(), Qt::LeftButton);
    QCOMPARE(sink_.messages.size(), std::size_t{1});
    w.close();
  }

  void loadsAfreshEachTime() {
    SetupWindow w(ws_->rulesPath(), sink_);
    w.load();
    w.show();
    w.tabs()->setCurrentIndex(2);
    w.indexPageBox()->setText("one.html");
    w.close();
    ws_->exec("INSERT INTO Groups (GroupID) VALUES ('NEW')");
    w.load();
    QCOMPARE(w.tabs()->currentIndex(), 5);
    QCOMPARE(w.indexPageBox()->text(), QString("one.html"));
    QCOMPARE(w.groupsGrid()->model()->rowCount(), ws_->rows("Groups").size());
    w.show();
    w.close();
  }

  void constraintFormWelcomesThenGridReloads() {
    SetupWindow w(ws_->rulesPath(), sink_);
    w.load();
    w.show();
    w.tabs()->setCurrentIndex(3);
    const int before = w.constraintsGrid()->model()->rowCount();
    bool formShownAtWelcome = true;
    sink_.onShow = [&](const loomui::Message&) {
      formShownAtWelcome = w.constraintForm() && w.constraintForm()->isVisible();
    };
    loomui::testing::whenModalOpens([](QWidget* modal) {
      auto* form = qobject_cast<loomui::ConstraintForm*>(modal);
      QVERIFY(form);
      form->fieldBox(0)->setText("teh");
      form->fieldBox(1)->setText("the");
      form->fileTypeBox()->setText("txt");
      QTest::mouseClick(form->saveButton(), Qt::LeftButton);
      form->close();
    });
    QTest::mouseClick(w.constraintFormButton(), Qt::LeftButton);
    QCOMPARE(sink_.messages.size(), std::size_t{1});  // the welcome
    QCOMPARE(sink_.messages[0].kind, loomui::Message::Kind::Plain);
    QVERIFY(!formShownAtWelcome);
    QCOMPARE(w.constraintsGrid()->model()->rowCount(), before + 1);
    w.close();
  }

  void unreadableRulesLeaveTheProgramIdle() {
    RecordingSink sink;
    loomui::MainWindowOptions o;
    o.rulesPath = ws_->rulesPath() + ".missing";
    o.messages = &sink;
    loomui::MainWindow main(o);
    main.load();
    QTest::mouseClick(main.setupButton(), Qt::LeftButton);
    QCOMPARE(sink.messages.size(), std::size_t{1});
    QVERIFY2(sink.messages[0].text.contains(".missing"), qPrintable(sink.messages[0].text));
    QVERIFY(main.isVisible() && main.setupButton()->isEnabled());
    QVERIFY(!QFile::exists(o.rulesPath));  // never created
  }
};

QTEST_MAIN(SetupWindowTest)
#include "setup_window_test.moc"
