// The Setup window: pages and texts, the grids over the rule tables, the
// settings saved on closing, and the Constraint Form opened over it.

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlRecord>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>

#include "ui/constraint_form.h"
#include "ui/main_window.h"
#include "ui/setup_window.h"
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
  }

  void opensOnAboutPageWithEveryPage() {
    SetupWindow w(ws_->rulesPath(), sink_);
    w.load();
    w.show();
    QCOMPARE(w.windowTitle(), QString("Loomwise Setup"));
    QStringList tabs;
    for (int i = 0; i < w.tabs()->count(); ++i) tabs << w.tabs()->tabText(i);
    QCOMPARE(tabs, (QStringList{"About Setup", "File Types", "File Groups", "Constraints",
                                "Global Settings", "About ..."}));
    QCOMPARE(w.tabs()->currentIndex(), 5);
    QCOMPARE(w.minimumSize(), w.maximumSize());
    const QStringList about = loomui::testing::labelTexts(w.tabs()->widget(5));
    QVERIFY(about.contains("Loomwise 1.0"));
    const QStringList types = loomui::testing::labelTexts(w.tabs()->widget(1));
    for (const char* text : {"Explanation of fields in table:", "Identifier:", "Group ID:",
                             "indicates the file group (next section) this filetype belongs to"}) {
      QVERIFY2(types.contains(text), text);
    }
    const QStringList settings = loomui::testing::labelTexts(w.tabs()->widget(4));
    QVERIFY(settings.contains("The following global settings must be defined:"));
    QVERIFY(settings.contains("Index page filename:  the name that will be assigned to the index "
                              "page for all documents"));
    QCOMPARE(w.constraintFormButton()->text(), QString("Constraint Form"));
    QVERIFY(w.tabs()->widget(3)->isAncestorOf(w.constraintFormButton()));
    w.close();
  }

  void gridsListEveryRowInStoredOrder() {
    ws_->exec("DELETE FROM Groups WHERE GroupID = 'ART'");
    ws_->exec("INSERT INTO Groups (GroupID, Header, Footer) VALUES ('ZZZ', NULL, ''), "
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
          const QVariant v = grid->model()->index(r, c).data();
          cells << (v.isNull() ? QString("<null>") : v.toString());
        }
        QCOMPARE(cells.join('|'), stored[r]);
      }
    }
    QCOMPARE(w.groupsGrid()->model()->headerData(column(w.groupsGrid(), "GroupID"),
                                                Qt::Horizontal).toString(),
             QString("GroupID"));
    w.show();
    w.close();
  }

  void editIsWrittenToTheEditedRow() {
    // Two identical rows: the edit must reach the second only.
    ws_->exec("INSERT INTO Groups (GroupID, Header, Footer) VALUES ('DUP', '<H2>x</H2>', ''), "
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
    QTest::keyClicks(editor, "LST");
    w.tabs()->setCurrentIndex(2);
    types->view()->setCurrentIndex(types->model()->index(0, 1));
    QCOMPARE(ws_->rows("FileTypes").size(), before + 1);
    QVERIFY(ws_->rows("FileTypes").last().startsWith("LST|<null>|"));

    // Deleting the first row (TXT) leaves the others in order.
    const QStringList stored = ws_->rows("FileTypes");
    types->view()->selectRow(0);
    QTest::mouseClick(types->deleteButton(), Qt::LeftButton);
    QCOMPARE(ws_->rows("FileTypes"), stored.mid(1));
    QCOMPARE(types->model()->rowCount(), before);
    w.close();
    QCOMPARE(ws_->rows("FileTypes"), stored.mid(1));
    QVERIFY(sink_.messages.empty());
  }

  void settingsLoadedAndTrimmedOnClose() {
    ws_->exec("UPDATE GlobalDefs SET Content = '<HTML>' || char(13,10) || '<BODY>' "
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

  void encodingBoxLoadsAndSaves_data() {
    QTest::addColumn<QString>("stored");  // "-": no row
    QTest::addColumn<QString>("typed");   // "-": untouched
    QTest::addColumn<QString>("saved");   // "-": no row
    QTest::newRow("no row, box left empty") << "-" << "-" << "-";
    QTest::newRow("no row, utf-8 typed") << "-" << " utf-8 " << "utf-8";
    QTest::newRow("row kept") << "windows-1252" << "-" << "windows-1252";
    QTest::newRow("row changed, case kept") << "utf-8" << "Windows-1252" << "Windows-1252";
  }

  void encodingBoxLoadsAndSaves() {
    QFETCH(QString, stored);
    QFETCH(QString, typed);
    QFETCH(QString, saved);
    if (stored != "-") {
      ws_->exec("INSERT INTO GlobalDefs (ID, Content) VALUES ('Encoding', '" +
                stored.toStdString() + "')");
    }
    SetupWindow w(ws_->rulesPath(), sink_);
    w.load();
    w.show();
    QVERIFY(loomui::testing::labelTexts(w.tabs()->widget(4))
                .contains("Text encoding:  the character set of the input files and of the pages "
                          "written (windows-1252 or utf-8)"));
    QCOMPARE(w.encodingBox()->text(), stored == "-" ? QString() : stored);
    if (typed != "-") w.encodingBox()->setText(typed);
    w.close();
    QVERIFY(!w.isVisible());
    const QStringList rows = ws_->rows("GlobalDefs");
    QCOMPARE(rows.size(), saved == "-" ? 4 : 5);
    if (saved != "-") QCOMPARE(rows[4], "Encoding|" + saved);
  }

  void unknownEncodingKeepsTheWindowOpen_data() {
    QTest::addColumn<QString>("typed");
    QTest::newRow("unknown") << "latin-1";
    QTest::newRow("emptied row") << "";
  }

  void unknownEncodingKeepsTheWindowOpen() {
    QFETCH(QString, typed);
    ws_->exec("INSERT INTO GlobalDefs (ID, Content) VALUES ('Encoding', 'utf-8')");
    SetupWindow w(ws_->rulesPath(), sink_);
    w.load();
    w.show();
    w.indexPageBox()->setText("kept.html");
    w.encodingBox()->setText(typed);
    w.close();
    QVERIFY(w.isVisible());
    QCOMPARE(w.tabs()->currentIndex(), 4);
    QCOMPARE(sink_.messages.size(), std::size_t{1});
    QVERIFY2(sink_.messages[0].text.contains("windows-1252 or utf-8"),
             qPrintable(sink_.messages[0].text));
    QCOMPARE(ws_->rows("GlobalDefs")[3], QString("IndexPageName|index.html"));  // nothing saved
    w.encodingBox()->setText("UTF-8");
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
    QTest::mouseClick(w.constraintsGrid()->deleteButton(), Qt::LeftButton);
    QCOMPARE(ws_->rows("Constraints").size(), constraints.size() - 1);
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
    Workspace::writeFile(dir.path(), "broken.json", "{\n  \"format\": \"loomwise-rules 1\",\n  oops\n");
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
    QCOMPARE(sink_.texts(),
             QStringList{"Welcome to the Loomwise Constraint Form!  This form will assist you in "
                         "defining good constraints to apply towards your text documents.  From "
                         "this screen you can select the type of constraint you wish to apply and "
                         "the necessary parameters for each."});
    QVERIFY(!formShownAtWelcome);
    QCOMPARE(w.constraintsGrid()->model()->rowCount(), before + 1);
    w.close();
  }

  void unreadableRulesEndTheProgram() {
    RecordingSink sink;
    int ended = -1;
    loomui::MainWindowOptions o;
    o.rulesPath = ws_->rulesPath() + ".missing";
    o.messages = &sink;
    o.endProgram = [&ended](int status) { ended = status; };
    loomui::MainWindow main(o);
    main.load();
    QTest::mouseClick(main.setupButton(), Qt::LeftButton);
    QCOMPARE(sink.messages.size(), std::size_t{1});
    QVERIFY2(sink.messages[0].text.contains(".missing"), qPrintable(sink.messages[0].text));
    QVERIFY(ended > 0);
    QVERIFY(!QFile::exists(o.rulesPath));  // never created
  }
};

QTEST_MAIN(SetupWindowTest)
#include "setup_window_test.moc"
