// SPDX-License-Identifier: MIT
// The main window and its Start Session dialog: runs, refusals, warnings, watching.

#include "ui/main_window.h"

#include <QtTest>
#include <QtWidgets>
#include <cstdio>
#include <thread>

#include "rules/rules_json.h"
#include "tests/support/faulty_file_system.h"
#include "ui/batch_runner.h"
#include "ui/constraint_form.h"
#include "ui/path_label.h"
#include "ui/setup_window.h"
#include "ui/start_session_dialog.h"
#include "ui/table_grid.h"
#include "ui/tests/test_support.h"

using loomui::MainWindow;
using loomui::Message;
using loomui::StartSessionDialog;
using loomui::testing::click;
using loomui::testing::Workspace;
using namespace Qt::Literals::StringLiterals;

class MainWindowTest : public QObject {
  Q_OBJECT

  loomui::testing::RecordingSink sink_;
  std::unique_ptr<Workspace> ws_;
  QString in_, out_;
  QList<QUrl> opened_;
  QTemporaryDir settingsDir_;

  loomui::MainWindowOptions options(const QString& arguments = {}) {
    return {ws_->rulesPath(),
            {},
            arguments,
            &sink_,
            {},
            [this](const QUrl& url) {
              opened_ << url;
              return true;
            },
            {}};
  }
  QString out(const char* name) const { return QDir(out_).filePath(name); }
  // Whether the window is shown, its two buttons answer and its bar is shown: "1110".
  static QString state(const MainWindow& w) {
    return QString::asprintf("%d%d%d%d", w.isVisible(), w.setupButton()->isEnabled(),
                             w.sessionButton()->isEnabled(), w.progressBar()->isVisible());
  }

  // Waits until no run is going, also one that a fix started again.
  static void waitForRun(MainWindow& w) {
    while (w.isRunning()) QVERIFY(QSignalSpy(&w, &MainWindow::runEnded).wait(30000));
  }

  // The user fills the dialog (blanks around the paths) and starts the session.
  static void startSession(MainWindow& w, const QString& in, const QString& out, bool keep = false,
                           bool prune = false) {
    loomui::testing::whenModalOpens([=](QWidget* modal) {
      auto* dialog = qobject_cast<StartSessionDialog*>(modal);
      dialog->pathBox(0)->clear();  // it shows the last pair
      dialog->pathBox(1)->clear();
      QTest::keyClicks(dialog->pathBox(0), "  " + in + " ");
      QTest::keyClicks(dialog->pathBox(1), " " + out + "  ");
      dialog->keepUpToDateBox()->setChecked(keep);
      dialog->pruneBox()->setChecked(prune);
      click(in.isEmpty() ? dialog->cancelButton() : dialog->useButton());
    });
    click(w.sessionButton());
  }

 private slots:
  void initTestCase() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir_.path());
  }

  void init() {
    ws_ = std::make_unique<Workspace>();
    sink_ = {};
    opened_.clear();
    QSettings().clear();
    in_ = ws_->makeDir("in");
    out_ = ws_->makeDir("out/" + QString(120, 'o') + "/site");  // longer than the window is wide
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
      Workspace::writeFile(in_, name, QByteArray("Title of ") + name + "\r\nSome text\r\n");
  }

  void runConvertsAndShowsTheSite() {
    for (const bool fromArguments : {false, true}) {
      init();
      loomui::MainWindowOptions o = options(fromArguments ? in_ + "," + out_ : QString());
      if (fromArguments) o.openUrl = [](const QUrl&) { return false; };
      MainWindow w(o);
      QString during;  // the bar and the Stop button while the run goes
      connect(&w, &MainWindow::statusChanged, [&] {
        if (w.isRunning())
          during = state(w).right(1) + QString::number(w.stopButton()->isVisible());
      });
      w.load();
      if (!fromArguments) startSession(w, in_, out_);
      waitForRun(w);
      QCOMPARE(state(w) + during, "111011");
      QVERIFY(Workspace::readFile(out("lwb.htm")).contains("Title of b.txt"));
      QVERIFY(Workspace::readFile(out("index.html")).contains("lwc.htm"));
      QVERIFY(w.siteLabel()->text().contains("3 new, 0 changed"));
      const QLabel* path = w.sitePathLabel();
      QVERIFY(path->toolTip() == out("index.html") && path->text().endsWith("/index.html"));
      QVERIFY(path->text().size() < path->toolTip().size() && path->width() < w.width());
      sink_.choose = "Copy path";  // offered when no browser opens it
      click(w.openSiteButton());
      QCOMPARE(opened_.size() + sink_.messages.size(), 1);
      QVERIFY(fromArguments ? sink_.lone().contains(out("index.html")) &&
                                  QGuiApplication::clipboard()->text() == out("index.html")
                            : opened_[0] == QUrl::fromLocalFile(out("index.html")));
      if (!fromArguments) continue;
      // A cancelled session runs the command-line pair again.
      QFile::remove(out("lwa.htm"));
      startSession(w, {}, {});
      waitForRun(w);
      QVERIFY(QFile::exists(out("lwa.htm")));
      QCOMPARE(sink_.messages.size(), std::size_t{1});
      // A refused run keeps the last good result and says why until the next run.
      Workspace::writeFile(in_, "notes.doc", "Notes\r\n");
      startSession(w, {}, {});
      waitForRun(w);
      QVERIFY(w.statusLabel()->text().contains("no row for \"DOC\""));
      QVERIFY(w.siteLabel()->text().contains("1 new, 0 changed") &&
              w.openSiteButton()->isVisible());
    }
  }

  void refusedRunOffersItsFix() {
    const struct {
      bool fromArguments;
      QString mistake, offered, says, setupShows;  // setupShows: the Setup window's page and row
    } cases[] = {
        {true, "output", "Create it", "/new site", ""},
        {false, "type", "Open Setup", "no row for \"DOC\"", "1 DOC"},
        {true, "group", "Open Setup", "no row for \"ZZZ\"", "2 ZZZ"},
        {true, "input", "", "/none", ""},
        {true, "comma", "", "You must specify both", ""},
    };
    for (const auto& [fromArguments, mistake, offered, says, setupShows] : cases) {
      init();
      const QString in = mistake == "input" ? in_ + "/none" : in_;
      const QString out = mistake == "output" ? out_ + "/new site" : out_;
      if (mistake == "type") Workspace::writeFile(in_, "notes.doc", "Notes\r\n");
      if (mistake == "group") ws_->exec("UPDATE FileTypes SET GroupID = 'ZZZ'");
      sink_.choose = offered;
      QString shown;
      sink_.onShow = [&shown](const Message& m) {
        if (!m.actions.contains("Open Setup")) return;
        loomui::testing::whenModalOpens([&shown](QWidget* modal) {
          auto* setup = qobject_cast<loomui::SetupWindow*>(modal);
          const int page = setup->tabs()->currentIndex();
          const auto* rows = (page == 1 ? setup->fileTypesGrid() : setup->groupsGrid())->model();
          shown = u"%1 %2"_s.arg(page).arg(rows->index(rows->rowCount() - 1, 1).data().toString());
          setup->close();
        });
      };
      MainWindow w(options(!fromArguments ? QString() : mistake == "comma" ? in : in + "," + out));
      w.load();
      if (!fromArguments) startSession(w, in, out);
      waitForRun(w);
      sink_.onShow = nullptr;
      QVERIFY2(sink_.lone().contains(says), qPrintable(sink_.lone()));
      QCOMPARE(w.statusLabel()->text().contains(says), mistake != "output");  // created, it ran
      QCOMPARE(sink_.messages[0].actions, offered.isEmpty() ? QStringList{} : QStringList{offered});
      QCOMPARE(state(w), "1110");
      QCOMPARE(shown, setupShows);
      // Created, the session goes on and converts; else nothing is written.
      QCOMPARE(QFile::exists(QDir(out).filePath("index.html")), mistake == "output");
      QCOMPARE(QDir(out_).isEmpty(), mistake != "output");
    }
  }

  void fullDiskStopOrClosedWindowEndsARunPartWayKeepingPagesWhole() {
    for (const QString how : {"full", "close", "stop"}) {
      const bool closing = how == "close";
      init();
      const std::unique_ptr<loom::FileSystem> real = loom::makePosixFileSystem();
      auto fs = std::make_shared<loom::testing::FaultyFileSystem>(*real);
      loomui::MainWindowOptions o = options(in_ + "," + out_);
      o.fileSystem = fs;
      MainWindow w(o);
      std::atomic<int> written = 0;
      fs->beforeWrite = [&](const std::string&) {
        if (++written != 2) return;
        if (how == "full") throw loom::LoomError(loom::ErrorKind::Io, "No space left on device");
        // This page waits until the close or Stop has asked the run to stop, so it stops mid-run.
        if (closing) QMetaObject::invokeMethod(&w, "close", Qt::QueuedConnection);
        if (!closing) QMetaObject::invokeMethod(w.stopButton(), "click", Qt::QueuedConnection);
        auto* runner = w.findChild<loomui::BatchRunner*>();
        for (int i = 0; i < 20000 && !runner->stopRequested(); ++i)
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
      };
      w.load();
      QTRY_VERIFY_WITH_TIMEOUT(!w.isRunning(), 30000);
      QVERIFY(closing ? !w.isVisible() && sink_.messages.empty()
              : how == "stop"
                  ? state(w) == "1110" && sink_.messages.empty() && !w.stopButton()->isVisible()
                  : state(w) == "1110" && sink_.lone().startsWith("No space left on device\n"));
      QVERIFY(!QFile::exists(out("index.html")));
      const QStringList pages = QDir(out_).entryList({"*.htm"});
      QVERIFY(!pages.isEmpty());
      if (how == "stop")
        QCOMPARE(
            w.statusLabel()->text(),
            u"Stopped: %1 page(s) written; the index page was not updated."_s.arg(pages.size()));
      for (const QString& page : pages)
        QVERIFY(Workspace::readFile(QDir(out_).filePath(page)).contains("</BODY>"));
    }
  }

  void warningsThatNameASettingOfferToSwitchIt() {
    const struct {
      loom::WarningKind kind;
      QString action, row;  // row: the GlobalDefs row it adds; empty: none
    } cases[] = {
        {loom::WarningKind::LoneLineFeeds, "Set LineEnds to any", "LineEnds|any"},
        {loom::WarningKind::MarkupInText, "Set EscapeText to yes", "EscapeText|yes"},
        {loom::WarningKind::SkippedFile, "", ""},
        {loom::WarningKind::ErrorCondition, "", ""},  // shown at once
    };
    for (const auto& c : cases) {
      const QStringList before = ws_->rows("GlobalDefs");
      sink_ = {};
      sink_.choose = c.action;
      MainWindow w(options(in_ + "," + out_));
      w.load();
      // As the engine's observer reports it, while the run goes.
      emit w.findChild<loomui::BatchRunner*>()->warning(c.kind, "x.txt");
      waitForRun(w);
      QVERIFY(sink_.lone().endsWith("\nx.txt"));
      QCOMPARE(sink_.messages[0].actions,
               c.action.isEmpty() ? QStringList{} : QStringList{c.action});
      QCOMPARE(ws_->rows("GlobalDefs"), c.row.isEmpty() ? before : before + QStringList{c.row});
    }
  }

  // Watching, a change runs again; with pruning the window is closed, not the watch stopped.
  void watchRunsAgainAfterChanges() {
    for (const bool prune : {false, true}) {
      init();
      Workspace::writeFile(in_, "README", "no extension\r\n");
      MainWindow w(options());
      w.load();
      startSession(w, in_, out_, true, prune);
      QTRY_VERIFY_WITH_TIMEOUT(w.statusLabel()->text().contains("3 new, 0 changed"), 30000);
      // One rename both changes b.txt and removes a.txt, so one run sees both.
      QCOMPARE(std::rename(qPrintable(in_ + "/a.txt"), qPrintable(in_ + "/b.txt")), 0);
      const QString again = u"0 new, 1 changed, 1 unchanged, %1 removed"_s.arg(prune ? 1 : 0);
      QTRY_VERIFY_WITH_TIMEOUT(w.statusLabel()->text().contains(again), 30000);
      const QLabel* status = w.statusLabel();  // every count shows, none is cut off
      QVERIFY(status->heightForWidth(status->width()) <= status->height());
      QVERIFY(Workspace::readFile(out("lwb.htm")).contains("Title of a.txt"));
      QCOMPARE(QFile::exists(out("lwa.htm")), !prune);
      const QByteArray index = Workspace::readFile(out("index.html"));
      Workspace::writeFile(in_, "notes.doc", "Notes\r\n");
      QTRY_VERIFY_WITH_TIMEOUT(w.statusLabel()->text().contains("1 problem(s)"), 30000);
      QVERIFY(w.statusLabel()->text().contains("DOC"));
      QVERIFY(w.siteLabel()->text().startsWith("Watching for changes"));  // the last good run
      QCOMPARE(Workspace::readFile(out("index.html")), index);
      QVERIFY(sink_.messages.empty());
      if (prune) {
        w.close();  // waits for the worker, which the watcher's wake frees at once
        QVERIFY(!w.isRunning());
        continue;
      }
      click(w.sessionButton());
      QTRY_VERIFY_WITH_TIMEOUT(!w.isWatching() && !w.isRunning(), 30000);
      QCOMPARE(state(w), "1110");
      QVERIFY(!w.siteLabel()->text().contains("Watching"));
      // A watch whose first run is refused does not begin.
      startSession(w, in_, out_, true);
      waitForRun(w);
      QCOMPARE(sink_.messages.size(), std::size_t{1});
      QVERIFY(!w.isWatching() && w.sessionButton()->isEnabled());
    }
  }

  void unreadableRulesCanBeReplacedKeepingTheDamagedFile() {
    const QString exported = QDir(in_).filePath("rules.json");
    loom::exportRulesFile(ws_->rulesPath().toStdString(), exported.toStdString());
    const QStringList types = ws_->rows("FileTypes");
    const struct {
      QString damage, choose, file;  // damage "missing": no file at all
      bool replaced;
    } cases[] = {
        {"missing", "", "", false},
        {"not a database", "", "", false},
        {"not a database", "Restore bundled rules", "", true},
        {"not a database", "Import rules file...", exported, true},
        {"not a database", "Import rules file...", QDir(in_).filePath("a.txt"), false},
    };
    for (const auto& [damage, choose, file, replaced] : cases) {
      QFile::remove(ws_->rulesPath());
      for (const QString& aside : QDir(QFileInfo(ws_->rulesPath()).path()).entryList({"*.damaged"}))
        QFile::remove(QFileInfo(ws_->rulesPath()).dir().filePath(aside));
      if (damage != "missing")
        Workspace::writeFile(QFileInfo(ws_->rulesPath()).path(), "rules.mdb", damage.toUtf8());
      sink_ = {};
      sink_.choose = choose;
      loomui::MainWindowOptions o = options();
      o.chooseRulesFile = [file](QWidget*) { return file; };
      MainWindow w(o);
      w.load();
      bool setupShown = false;  // only then looked for: a Setup not expected would block
      if (replaced) {
        loomui::testing::whenModalOpens([&setupShown](QWidget* modal) {
          setupShown = qobject_cast<loomui::SetupWindow*>(modal);
          modal->close();
        });
      }
      click(w.setupButton());
      QVERIFY(sink_.messages[0].text.contains("rules.mdb") && state(w) == "1110");
      QCOMPARE(setupShown, replaced);
      // The damaged file stays, where it was or beside the new rules.
      QCOMPARE(Workspace::readFile(ws_->rulesPath() + (replaced ? ".damaged" : "")),
               damage == "missing" ? QByteArray() : damage.toUtf8());
      if (replaced) QCOMPARE(ws_->rows("FileTypes"), types);
    }
  }

  void sessionDialogLeavesThePair() {
    const QString in = in_, out = out_, file = QDir(in_).filePath("a.txt");
    const struct {
      QString input, output, how, pair, shown;  // pair "-": none, the session keeps its own
      int fault;  // the box the dialog names and stays open on; -1: none
    } cases[] = {
        {"  " + in + " ", " " + out + "  ", "use", in + "," + out, ",", -1},
        {"   ", out, "use", "-", in + "," + out, 0},  // blanks are no directory
        {in, "", "use", "-", in + "," + out, 1},
        {in + "/none", out, "use", "-", in + "," + out, 0},
        {in, out + "/new", "use", "-", in + "," + out, 1},
        {in, file, "use", "-", in + "," + out, 1},
        {"/in", "/out", "cancel", "", in + "," + out, -1},
        {"/in", "/out", "close", "-", in + "," + out, -1},
        {"/in", "/out", "keys", "-", in + "," + out, -1},  // Enter and Escape do nothing
    };
    for (const auto& [input, output, how, pair, shown, fault] : cases) {
      StartSessionDialog d;
      d.load();
      QCOMPARE(d.pathBox(0)->text() + "," + d.pathBox(1)->text(), shown);
      QCOMPARE(d.keepUpToDate() && !d.prune(), input != cases[0].input);
      d.show();
      d.pathBox(0)->setText(input);
      d.pathBox(1)->setText(output);
      d.keepUpToDateBox()->setChecked(true);
      d.pruneBox()->setChecked(how != "use" || fault >= 0);  // never accepted, so never remembered
      if (how == "close") d.close();
      if (how == "use" || how == "cancel") click(how == "use" ? d.useButton() : d.cancelButton());
      if (how == "keys") {
        QTest::keyClick(d.pathBox(0), Qt::Key_Return);
        QTest::keyClick(d.pathBox(0), Qt::Key_Escape);
      }
      QCOMPARE(d.isVisible(), how == "keys" || fault >= 0);
      QCOMPARE(d.sessionPaths().value_or("-"), pair);
      QCOMPARE(d.problemLabel()->isVisible(), fault >= 0);
      if (fault < 0) continue;
      QCOMPARE(d.focusWidget(), d.pathBox(fault));
      QTest::keyClick(d.pathBox(fault), Qt::Key_End);  // mending it, the report goes
      QTest::keyClicks(d.pathBox(fault), "/");
      QVERIFY(!d.problemLabel()->isVisible());
    }
    // A comma in a directory's name stays in it: the pair goes over as two paths.
    const QString comma = QDir(in_).filePath("texts, 2024");
    QVERIFY(QDir().mkpath(comma));
    StartSessionDialog d;
    d.load();
    d.pathBox(0)->setText(comma);
    d.pathBox(1)->setText(out);
    click(d.useButton());
    QVERIFY(d.chosenDirs().has_value());
    QCOMPARE(QString::fromStdString(d.chosenDirs()->input), comma + "/");
    QCOMPARE(QString::fromStdString(d.chosenDirs()->output), out + "/");
  }

  // Each window starts at its usual size, shrunk to fit the screen (800x600
  // here), and can be resized.
  void windowsAndMessagesFitTheScreen() {
    MainWindow main(options());
    main.load();
    loomui::SetupWindow setup(ws_->rulesPath(), sink_, &main);
    auto* session = new StartSessionDialog(&main);
    auto* form = new loomui::ConstraintForm(ws_->rulesPath(), sink_, &setup);
    session->load();
    setup.load();
    form->load();
    const struct {
      QWidget* window;
      QSize usual;  // height 0: as tall as its rows ask
    } windows[] = {
        {&main, {600, 0}}, {session, {720, 480}}, {&setup, {860, 680}}, {form, {1000, 0}}};
    for (const auto& [window, usual] : windows) {
      window->show();
      const QRect area = window->screen()->availableGeometry();
      QVERIFY2(area.contains(window->frameGeometry()), window->metaObject()->className());
      const QSize frame = window->frameGeometry().size() - window->size();
      QCOMPARE(window->width(), std::min(usual.width(), area.width() - frame.width()));
      if (usual.height() > 0)
        QCOMPARE(window->height(), std::min(usual.height(), area.height() - frame.height()));
      QVERIFY(window->minimumSize() != window->maximumSize());
      // Even the smallest screen in use, 1024x600 with a panel and a title bar, holds it.
      QVERIFY(window->minimumWidth() <= 1000 && window->minimumHeight() <= 540);
      window->hide();
    }

    QStringList lines;
    for (int i = 0; i < 80; ++i) lines << u"File \"README%1\" has no extension"_s.arg(i);
    // A control character from a file's name is shown as an escape.
    auto box =
        loomui::makeMessageBox(nullptr, {Message::Kind::Warning, "x\x1B[2J", lines.join('\n')});
    box->show();
    QVERIFY(box->frameGeometry().height() <= box->screen()->availableGeometry().height() * 3 / 4);
    QVERIFY(box->informativeText().endsWith("...and 71 more lines under \"Show Details...\"."));
    QCOMPARE(box->detailedText(), "x\\e[2J\n" + lines.join('\n'));
    QCOMPARE(loomui::wrapFriendly("/a-b/ c- --x/y a/"),
             QString("/\u200Ba-\u2060b/ c- -\u2060-\u2060x/\u200By a/"));
  }

  void keysReachWhatTheWindowsShow() {
    MainWindow w(options());
    w.load();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_F1);
    QCOMPARE(opened_, QList<QUrl>{QUrl("man:loomwise(1)")});
    StartSessionDialog d;  // Tab goes as the dialog reads
    QVERIFY(loomui::testing::tabsThrough({d.useButton(), d.cancelButton(), d.volumes(0),
                                          d.newFolderButton(0), d.tree(0), d.pathBox(0),
                                          d.volumes(1), d.newFolderButton(1), d.tree(1),
                                          d.pathBox(1), d.keepUpToDateBox(), d.pruneBox()}));
    QTest::keyClick(&w, Qt::Key_Q, Qt::ControlModifier);
    QVERIFY(!w.isVisible());
  }

  void sessionDialogTreesFillTheirOwnColumn() {
    const QString texts = ws_->makeDir("texts");
    StartSessionDialog d;
    d.setFolderNamer([](QWidget*, const QString&) { return QString(" 2024 "); });
    d.load();
    auto* model = qobject_cast<QFileSystemModel*>(d.tree(0)->model());
    d.tree(0)->setCurrentIndex(model->index(texts));  // as a click or an arrow key does
    d.tree(1)->setCurrentIndex(model->index(texts));
    click(d.newFolderButton(1));
    QCOMPARE(d.pathBox(0)->text() + "|" + d.pathBox(1)->text(), texts + "|" + texts + "/2024");
    QVERIFY(QFileInfo(texts + "/2024").isDir());
    QComboBox* volumes = d.volumes(1);
    volumes->setCurrentIndex(volumes->findData(QDir::rootPath()));
    emit volumes->activated(volumes->currentIndex());
    QCOMPARE(model->filePath(d.tree(1)->rootIndex()) + "|" + d.pathBox(1)->text(),
             QDir::rootPath() + "|" + QDir::rootPath());
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
