// The main window as a user meets it: the two run modes, a session started
// from the dialog, the messages, and closing in the middle of a run.

#include "ui/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTextLayout>
#include <QUrl>
#include <QtTest>
#include <atomic>
#include <cstdio>
#include <thread>

#include "app/batch_observer.h"
#include "app/manifest.h"
#include "app/pair.h"
#include "ui/batch_runner.h"
#include "ui/message_sink.h"
#include "ui/setup_window.h"
#include "ui/start_session_dialog.h"
#include "ui/table_grid.h"
#include "ui/tests/test_support.h"

using loomui::MainWindow;
using loomui::MainWindowOptions;
using loomui::StartSessionDialog;
using loomui::testing::RecordingSink;
using loomui::testing::Workspace;

namespace {

// What the window showed at each status text.
struct Step {
  QString status;
  bool setupEnabled;
  bool sessionEnabled;
  bool barVisible;
};

struct StepRecorder {
  explicit StepRecorder(MainWindow& w) {
    QObject::connect(&w, &MainWindow::statusChanged, &w, [this, &w](const QString& text) {
      steps.push_back({text, w.setupButton()->isEnabled(), w.sessionButton()->isEnabled(),
                       w.progressBar()->isVisible()});
    });
  }
  std::vector<Step> steps;
};

// Passes everything to the real file system and calls `afterWrite` with
// the number of each page written, e.g. to close the window or fail.
class HookedFileSystem : public loom::FileSystem {
 public:
  explicit HookedFileSystem(std::function<void(int)> afterWrite)
      : afterWrite_(std::move(afterWrite)), real_(loom::makePosixFileSystem()) {}
  loom::PathKind kind(const std::string& p) const override { return real_->kind(p); }
  std::optional<loom::FileIdentity> identity(const std::string& p) const override {
    return real_->identity(p);
  }
  bool isWritableDirectory(const std::string& p) const override {
    return real_->isWritableDirectory(p);
  }
  std::vector<std::string> listPlainFiles(const std::string& d) const override {
    return real_->listPlainFiles(d);
  }
  std::string readFile(const std::string& p) const override { return real_->readFile(p); }
  std::optional<std::string> tryReadFile(const std::string& p) const override {
    return real_->tryReadFile(p);
  }
  void writeFileAtomically(const std::string& path, const std::string& bytes) override {
    real_->writeFileAtomically(path, bytes);
    afterWrite_(++written_);
  }

 private:
  std::function<void(int)> afterWrite_;
  std::unique_ptr<loom::FileSystem> real_;
  std::atomic<int> written_{0};
};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  RecordingSink sink_;
  std::unique_ptr<Workspace> ws_;
  QString in_, out_;
  QList<QUrl> opened_;
  QTemporaryDir settingsDir_;

  MainWindowOptions options(const QString& arguments = {}) {
    MainWindowOptions o;
    o.rulesPath = ws_->rulesPath();
    o.argumentText = arguments;
    o.messages = &sink_;
    o.openUrl = [this](const QUrl& url) {
      opened_ << url;
      return true;
    };
    return o;
  }

  // Waits until no run is going, also one that a fix started again.
  static void waitForRun(MainWindow& w) {
    while (w.isRunning()) {
      QSignalSpy ended(&w, &MainWindow::runEnded);
      QVERIFY(ended.wait(30000));
    }
  }

  // The user types both directories (with blanks around them) and accepts.
  static void chooseDirectories(const QString& in, const QString& out) {
    loomui::testing::whenModalOpens([in, out](QWidget* modal) {
      auto* dialog = qobject_cast<StartSessionDialog*>(modal);
      QVERIFY(dialog);
      QVERIFY(dialog->pathBox(0)->text().isEmpty());
      QVERIFY(dialog->pathBox(1)->text().isEmpty());
      QTest::keyClicks(dialog->pathBox(0), "  " + in + " ");
      QTest::keyClicks(dialog->pathBox(1), " " + out + "  ");
      QTest::mouseClick(dialog->useButton(), Qt::LeftButton);
    });
  }

 private slots:
  void initTestCase() {
    // The Start Session dialog remembers its pair here, not in the user's settings.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir_.path());
  }

  void init() {
    ws_ = std::make_unique<Workspace>();
    sink_.messages.clear();
    sink_.choose.clear();
    sink_.onShow = nullptr;
    opened_.clear();
    QSettings().clear();
    in_ = ws_->makeDir("in");
    out_ = ws_->makeDir("out");
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
      Workspace::writeFile(in_, name, QByteArray("Title of ") + name + "\r\nSome text\r\n");
    }
  }

  void interactiveStartIsIdle() {
    MainWindow w(options());
    w.load();
    QVERIFY(w.isVisible());
    QVERIFY(w.setupButton()->isEnabled());
    QVERIFY(w.sessionButton()->isEnabled());
    QVERIFY(!w.progressBar()->isVisible());
    QVERIFY(!w.siteLabel()->isVisible() && !w.openSiteButton()->isVisible());
    QVERIFY(w.statusLabel()->text().isEmpty());
    QCOMPARE(w.minimumSize(), w.maximumSize());  // fixed frame
    QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
    // The buttons sit side by side, "Loom Setup" first, also for the keyboard.
    QVERIFY(w.setupButton()->x() < w.sessionButton()->x());
    QCOMPARE(w.setupButton()->y(), w.sessionButton()->y());
    QCOMPARE(w.setupButton()->width(), w.sessionButton()->width());
    QCOMPARE(w.setupButton()->nextInFocusChain(), w.sessionButton());
    QVERIFY(sink_.messages.empty());
  }

  void sessionConvertsTheChosenDirectories() {
    MainWindow w(options());
    StepRecorder recorder(w);
    w.load();
    chooseDirectories(in_, out_);
    QTest::mouseClick(w.sessionButton(), Qt::LeftButton);
    QVERIFY(!w.setupButton()->isEnabled());
    waitForRun(w);

    const std::vector<Step>& seen = recorder.steps;
    const QStringList expected = {"Processing file 1 of 3", "Processing file 1 of 3",
                                  "Processing file 2 of 3", "Processing file 3 of 3",
                                  "Creating index file...", "Finished processing files"};
    QStringList statuses;
    for (const Step& s : seen) statuses << s.status;
    QCOMPARE(statuses, expected);
    for (std::size_t i = 0; i + 1 < seen.size(); ++i) {
      QVERIFY2(!seen[i].setupEnabled && !seen[i].sessionEnabled, qPrintable(seen[i].status));
      QVERIFY(!seen[i].barVisible);  // started without arguments: never shown
    }
    QVERIFY(w.setupButton()->isEnabled());
    QVERIFY(w.sessionButton()->isEnabled());
    QVERIFY(!w.progressBar()->isVisible());
    QCOMPARE(w.progressBar()->value(), 0);
    QCOMPARE(w.statusLabel()->text(), QString("Finished processing files"));
    QVERIFY(w.sessionPaths().isEmpty());
    for (const char* page : {"lwa.htm", "lwb.htm", "lwc.htm", "index.html"}) {
      QVERIFY2(QFile::exists(QDir(out_).filePath(page)), page);
    }
    QVERIFY(Workspace::readFile(QDir(out_).filePath("lwb.htm")).contains("Title of b.txt"));
    QVERIFY(Workspace::readFile(QDir(out_).filePath("index.html")).contains("lwc.htm"));
    QVERIFY(sink_.messages.empty());

    // The finished run shows its site and its counts, and opens the index page.
    QVERIFY(w.siteLabel()->isVisible());
    const QString shown = w.siteLabel()->text().remove(QChar(0x200B)).remove(QChar(0x2060));
    QVERIFY2(shown.contains(QDir(out_).filePath("index.html")), qPrintable(shown));
    QVERIFY2(shown.contains("3 new, 0 changed, 0 unchanged"), qPrintable(shown));
    QTest::mouseClick(w.openSiteButton(), Qt::LeftButton);
    QCOMPARE(opened_, QList<QUrl>{QUrl::fromLocalFile(QDir(out_).filePath("index.html"))});
    QVERIFY(sink_.messages.empty());
  }

  void openSiteSaysSoWhenNoBrowserOpensIt() {
    MainWindowOptions o = options(in_ + "," + out_);
    o.openUrl = [](const QUrl&) { return false; };
    MainWindow w(o);
    w.load();
    waitForRun(w);
    QTest::mouseClick(w.openSiteButton(), Qt::LeftButton);
    QCOMPARE(sink_.messages.size(), std::size_t{1});
    QVERIFY(sink_.messages[0].detail.contains(QDir(out_).filePath("index.html")));
  }

  void noPairMeansBothPathsMessage_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("cancel") << "cancel";
    QTest::newRow("close box") << "close";
    QTest::newRow("left box empty") << "left empty";
    QTest::newRow("right box empty") << "right empty";
  }

  void noPairMeansBothPathsMessage() {
    QFETCH(QString, how);
    MainWindow w(options());
    w.load();
    const QString in = in_;
    loomui::testing::whenModalOpens([how, in](QWidget* modal) {
      auto* dialog = qobject_cast<StartSessionDialog*>(modal);
      if (how == "cancel") {
        QTest::keyClicks(dialog->pathBox(0), in);
        QTest::mouseClick(dialog->cancelButton(), Qt::LeftButton);
      } else if (how == "close") {
        QTest::keyClicks(dialog->pathBox(0), in);
        QTest::keyClicks(dialog->pathBox(1), in);
        dialog->close();
      } else {
        QTest::keyClicks(dialog->pathBox(how == "left empty" ? 1 : 0), in);
        QTest::mouseClick(dialog->useButton(), Qt::LeftButton);
      }
    });
    QTest::mouseClick(w.sessionButton(), Qt::LeftButton);
    waitForRun(w);
    QCOMPARE(sink_.texts(), QStringList{"You must specify both an input and output path"});
    QVERIFY(w.setupButton()->isEnabled());
    QVERIFY(w.sessionButton()->isEnabled());
    QVERIFY(!w.progressBar()->isVisible());
    QVERIFY(QDir(out_).isEmpty());
  }

  void cancelInCommandLineProgramRepeatsThePair() {
    MainWindow w(options(in_ + "," + out_));
    w.load();
    waitForRun(w);
    QFile::remove(QDir(out_).filePath("lwa.htm"));
    loomui::testing::whenModalOpens([](QWidget* modal) {
      QTest::mouseClick(qobject_cast<StartSessionDialog*>(modal)->cancelButton(), Qt::LeftButton);
    });
    QTest::mouseClick(w.sessionButton(), Qt::LeftButton);
    waitForRun(w);
    QVERIFY(QFile::exists(QDir(out_).filePath("lwa.htm")));
    QVERIFY(sink_.messages.empty());
    QVERIFY2(w.siteLabel()->text().contains("1 new, 0 changed, 2 unchanged"),
             qPrintable(w.siteLabel()->text()));
  }

  void commandLineRunsAtOnce() {
    MainWindow w(options(in_ + "," + out_));
    StepRecorder recorder(w);
    w.load();
    QVERIFY(w.isVisible());
    QVERIFY(!w.setupButton()->isEnabled());
    QVERIFY(!w.sessionButton()->isEnabled());
    QVERIFY(w.progressBar()->isVisible());
    waitForRun(w);
    const std::vector<Step>& seen = recorder.steps;
    QCOMPARE(seen.size(), std::size_t{6});
    for (std::size_t i = 0; i + 1 < seen.size(); ++i) {
      QVERIFY2(!seen[i].setupEnabled && !seen[i].sessionEnabled, qPrintable(seen[i].status));
      QVERIFY2(seen[i].barVisible, qPrintable(seen[i].status));
    }
    QCOMPARE(seen.back().status, QString("Finished processing files"));
    QVERIFY(w.setupButton()->isEnabled());
    QVERIFY(w.sessionButton()->isEnabled());
    QVERIFY(!w.progressBar()->isVisible());
    QCOMPARE(w.progressBar()->value(), 0);
    QVERIFY(w.isVisible());  // stays open and idle
    QVERIFY(QFile::exists(QDir(out_).filePath("index.html")));
  }

  void commandLineArgumentsWithBlanks() {
    // "/my texts,/my site" arrives as two arguments and is joined back.
    const QString in = ws_->makeDir("my texts"), out = ws_->makeDir("my site");
    Workspace::writeFile(in, "notes.txt", "Notes\r\n");
    // The shell splits the pair at its blanks.
    std::vector<QByteArray> words{"loomwise"};
    for (const QString& word : (in + "," + out).split(' ')) words.push_back(word.toUtf8());
    std::vector<const char*> argv;
    for (const QByteArray& word : words) argv.push_back(word.constData());
    QVERIFY(argv.size() >= 3);
    MainWindow w(options(QString::fromStdString(
        loom::joinArguments(static_cast<int>(argv.size()), argv.data(), 1))));
    w.load();
    waitForRun(w);
    QVERIFY(sink_.messages.empty());
    QVERIFY(QFile::exists(QDir(out).filePath("lwnotes.htm")));
  }

  void argumentWithoutComma() {
    MainWindow w(options(in_));
    w.load();
    waitForRun(w);
    QCOMPARE(sink_.texts(), QStringList{"You must specify both an input and output path"});
    QVERIFY(w.setupButton()->isEnabled());
    QVERIFY(w.sessionButton()->isEnabled());
    QVERIFY(!w.progressBar()->isVisible());
  }

  // A refused run leaves the window idle with what the user typed, and
  // offers the fix where there is one.
  void refusedRunReturnsToIdleAndOffersItsFix_data() {
    QTest::addColumn<QString>("mistake");
    QTest::addColumn<bool>("fromArguments");
    QTest::addColumn<QStringList>("offered");
    QTest::newRow("no output directory, session") << "output" << false << QStringList{"Create it"};
    QTest::newRow("no output directory, arguments") << "output" << true << QStringList{"Create it"};
    QTest::newRow("no FileTypes row") << "type" << false << QStringList{"Open Setup"};
    QTest::newRow("no Groups row") << "group" << true << QStringList{"Open Setup"};
    QTest::newRow("no input directory") << "input" << false << QStringList{};
  }

  void refusedRunReturnsToIdleAndOffersItsFix() {
    QFETCH(QString, mistake);
    QFETCH(bool, fromArguments);
    QFETCH(QStringList, offered);
    QString in = in_, out = out_;
    if (mistake == "output") out = QDir(out_).filePath("new site");
    if (mistake == "input") in = QDir(in_).filePath("no such directory");
    if (mistake == "type") Workspace::writeFile(in_, "notes.doc", "Notes\r\n");
    if (mistake == "group")
      ws_->exec("UPDATE FileTypes SET GroupID = 'ZZZ' WHERE Identifier = 'TXT'");
    sink_.choose = offered.value(0);
    // What the Setup window shows when the fix opens it.
    QString setupShowed;
    sink_.onShow = [&setupShowed](const loomui::Message& m) {
      if (!m.actions.contains("Open Setup")) return;
      loomui::testing::whenModalOpens([&setupShowed](QWidget* modal) {
        auto* setup = qobject_cast<loomui::SetupWindow*>(modal);
        QVERIFY(setup);
        const loomui::TableGrid* grid =
            setup->tabs()->currentIndex() == 1 ? setup->fileTypesGrid() : setup->groupsGrid();
        const int last = grid->model()->rowCount() - 1;
        setupShowed = QString::number(setup->tabs()->currentIndex()) + " " +
                      grid->model()->index(last, 1).data(Qt::EditRole).toString();
        setup->close();
      });
    };
    MainWindow w(options(fromArguments ? in + "," + out : QString()));
    w.load();
    if (!fromArguments) {
      chooseDirectories(in, out);
      QTest::mouseClick(w.sessionButton(), Qt::LeftButton);
    }
    waitForRun(w);
    QVERIFY(!sink_.messages.empty());
    const loomui::Message& refusal = sink_.messages.front();
    QCOMPARE(refusal.kind, loomui::Message::Kind::Error);
    QCOMPARE(refusal.actions, offered);
    QVERIFY(w.isVisible());
    QVERIFY(w.setupButton()->isEnabled() && w.sessionButton()->isEnabled());
    QVERIFY(!w.progressBar()->isVisible());
    if (mistake == "output") {
      // Created, the session goes on and converts.
      QCOMPARE(sink_.messages.size(), std::size_t{1});
      QVERIFY(QFile::exists(QDir(out).filePath("index.html")));
      QCOMPARE(w.statusLabel()->text(), QString("Finished processing files"));
    } else {
      QVERIFY(QDir(out_).isEmpty());
    }
    if (mistake == "input") QVERIFY2(refusal.detail.contains(in), qPrintable(refusal.detail));
    if (mistake == "type") QCOMPARE(setupShowed, QString("1 DOC"));
    if (mistake == "group") QCOMPARE(setupShowed, QString("2 ZZZ"));
    if (mistake == "type") QVERIFY(ws_->rows("FileTypes").last().startsWith("DOC|"));
    sink_.onShow = nullptr;
  }

  void failureDuringRunReturnsToIdle() {
    MainWindowOptions o = options(in_ + "," + out_);
    o.fileSystem = std::make_shared<HookedFileSystem>([](int written) {
      if (written == 2) throw loom::LoomError(loom::ErrorKind::Io, "No space left on device");
    });
    MainWindow w(o);
    w.load();
    waitForRun(w);
    QCOMPARE(sink_.messages.size(), std::size_t{1});
    QVERIFY(sink_.messages[0].text.contains("No space left on device"));
    QVERIFY(w.setupButton()->isEnabled() && w.sessionButton()->isEnabled());
    QVERIFY(!QFile::exists(QDir(out_).filePath("index.html")));
    QVERIFY(Workspace::readFile(QDir(out_).filePath("lwa.htm")).contains("Title of a.txt"));
  }

  // A warning that names a setting offers to switch it; the other settings
  // stay as stored.
  void warningOffersToSwitchItsSetting_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("row");  // the GlobalDefs row it adds; empty: none
    QTest::newRow("lone line feeds")
        << static_cast<int>(loom::WarningKind::LoneLineFeeds) << "Set LineEnds to any"
        << "LineEnds|any";
    QTest::newRow("markup in text")
        << static_cast<int>(loom::WarningKind::MarkupInText) << "Set EscapeText to yes"
        << "EscapeText|yes";
    QTest::newRow("skipped file") << static_cast<int>(loom::WarningKind::SkippedFile) << ""
                                  << "";
  }

  void warningOffersToSwitchItsSetting() {
    QFETCH(int, kind);
    QFETCH(QString, action);
    QFETCH(QString, row);
    const QStringList before = ws_->rows("GlobalDefs");
    sink_.choose = action;
    MainWindow w(options(in_ + "," + out_));
    w.load();
    // As the engine's observer reports it, while the run goes.
    emit w.findChild<loomui::BatchRunner*>()->warning(kind, "File \"x.txt\" says so");
    waitForRun(w);
    QCOMPARE(sink_.messages.size(), std::size_t{1});
    QCOMPARE(sink_.messages[0].actions, action.isEmpty() ? QStringList{} : QStringList{action});
    QCOMPARE(ws_->rows("GlobalDefs"), row.isEmpty() ? before : before + QStringList{row});
  }

  void unknownConstraintTypeShowsErrorConditionPerRow() {
    ws_->exec(
        "INSERT INTO Constraints (FileType, Type, \"Search String\", \"Replace String\", RFirst, "
        "RLast, CaseSensitive) VALUES ('TXT', 7, 'x', 'y', ' ', ' ', 0), "
        "('GEN', 9, 'p', 'q', ' ', ' ', 0)");
    Workspace::writeFile(in_, "README", "no extension\r\n");
    MainWindow w(options(in_ + "," + out_));
    w.load();
    waitForRun(w);
    QStringList errorConditions, others;
    for (const loomui::Message& m : sink_.messages) {
      (m.text == "Error condition" ? errorConditions : others) << m.detail;
    }
    QCOMPARE(errorConditions.size(), 2);
    // The skipped file comes in one summary at the end.
    QCOMPARE(others.size(), 1);
    QVERIFY2(others[0].contains("README"), qPrintable(others[0]));
    QCOMPARE(sink_.messages.back().kind, loomui::Message::Kind::Warning);
    QCOMPARE(w.statusLabel()->text(), QString("Finished processing files"));
  }

  // Eighty skipped files: the box keeps its OK button on the screen and
  // the rest behind "Show Details...".
  void longWarningSummaryFitsTheScreen() {
    for (int i = 0; i < 80; ++i) Workspace::writeFile(in_, QString("README%1").arg(i), "x\r\n");
    MainWindow w(options(in_ + "," + out_));
    w.load();
    waitForRun(w);
    QCOMPARE(sink_.messages.size(), std::size_t{1});
    const std::unique_ptr<QMessageBox> box = loomui::makeMessageBox(&w, sink_.messages[0]);
    box->show();
    QVERIFY(box->frameGeometry().height() <= box->screen()->availableGeometry().height() * 3 / 4);
    QVERIFY(box->informativeText().count('\n') <= 11);
    for (int i = 0; i < 80; ++i) {
      QVERIFY(box->detailedText().contains(QString("README%1\"").arg(i)));
    }
  }

  // Long paths break at "/", words and options never.
  void longLinesBreakAtSlashesOnly_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("whole");
    QTest::newRow("path") << "Output directory \"/home/someone/a-long-name/site-2024/pages/\" does "
                             "not exist"
                          << QStringList{"a-long-name", "site-2024"};
    QTest::newRow("option") << "Run loomwise-batch --new-rules rules.mdb for windows-1252 or "
                               "utf-8 text"
                            << QStringList{"--new-rules", "loomwise-batch", "windows-1252"};
  }

  void longLinesBreakAtSlashesOnly() {
    QFETCH(QString, text);
    QFETCH(QStringList, whole);
    const QString wrapped = loomui::wrapFriendly(text);
    for (int width : {60, 90, 120, 160}) {
      QTextLayout layout(wrapped, QApplication::font());
      QTextOption option;
      option.setWrapMode(QTextOption::WordWrap);
      layout.setTextOption(option);
      QStringList lines;
      layout.beginLayout();
      for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lines << wrapped.mid(line.textStart(), line.textLength())
                     .remove(QChar(0x200B))
                     .remove(QChar(0x2060));
      }
      layout.endLayout();
      QCOMPARE(lines.join(QString()), text);
      for (int i = 0; i + 1 < lines.size(); ++i) {
        QVERIFY2(lines[i].endsWith(' ') || lines[i].endsWith('/'), qPrintable(lines.join('|')));
      }
      for (const QString& word : whole) {
        QVERIFY2(std::any_of(lines.begin(), lines.end(),
                             [&word](const QString& l) { return l.contains(word); }),
                 qPrintable(word + " in " + lines.join('|')));
      }
    }
  }

  void watchSessionRunsAgainAfterChanges_data() {
    QTest::addColumn<bool>("prune");
    QTest::addColumn<bool>("stopByClosing");
    QTest::addColumn<QString>("rerun");
    QTest::newRow("stale page kept, stop button")
        << false << false << "0 new, 1 changed, 1 unchanged, 0 removed";
    QTest::newRow("stale page pruned, window closed")
        << true << true << "0 new, 1 changed, 1 unchanged, 1 removed";
  }

  void watchSessionRunsAgainAfterChanges() {
    QFETCH(bool, prune);
    QFETCH(bool, stopByClosing);
    QFETCH(QString, rerun);
    Workspace::writeFile(in_, "README", "no extension\r\n");
    MainWindow w(options());
    w.load();
    const auto startWatch = [this, prune, &w] {
      loomui::testing::whenModalOpens([this, prune](QWidget* modal) {
        auto* dialog = qobject_cast<StartSessionDialog*>(modal);
        QVERIFY(dialog);
        dialog->pathBox(0)->setText(in_);
        dialog->pathBox(1)->setText(out_);
        dialog->keepUpToDateBox()->setChecked(true);
        dialog->pruneBox()->setChecked(prune);
        QTest::mouseClick(dialog->useButton(), Qt::LeftButton);
      });
      QTest::mouseClick(w.sessionButton(), Qt::LeftButton);
    };
    startWatch();
    QTRY_VERIFY_WITH_TIMEOUT(w.statusLabel()->text().contains("3 new, 0 changed, 0 unchanged"),
                             30000);
    // Watching: the window answers, and its session button stops the watch.
    QVERIFY(w.isWatching() && w.isRunning());
    QVERIFY(w.sessionButton()->isEnabled() && !w.setupButton()->isEnabled());
    QVERIFY(QFile::exists(QDir(out_).filePath("lwa.htm")));

    // One rename both changes b.txt and removes a.txt, so one run sees both.
    QVERIFY(std::rename(qPrintable(QDir(in_).filePath("a.txt")),
                        qPrintable(QDir(in_).filePath("b.txt"))) == 0);
    QTRY_VERIFY2_WITH_TIMEOUT(w.statusLabel()->text().contains(rerun),
                              qPrintable(w.statusLabel()->text()), 30000);
    // Each run's warning is counted, not put in a box.
    QVERIFY2(w.statusLabel()->text().endsWith("; 1 warning(s)"),
             qPrintable(w.statusLabel()->text()));
    QVERIFY(w.siteLabel()->toolTip().contains("README"));
    QVERIFY(Workspace::readFile(QDir(out_).filePath("lwb.htm")).contains("Title of a.txt"));
    QCOMPARE(QFile::exists(QDir(out_).filePath("lwa.htm")), !prune);
    // A run the check refuses is reported in the window, without a box, and
    // leaves the site alone.
    const QByteArray index = Workspace::readFile(QDir(out_).filePath("index.html"));
    Workspace::writeFile(in_, "notes.doc", "Notes\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(w.statusLabel()->text().contains("1 problem(s)"), 30000);
    QVERIFY2(w.siteLabel()->text().contains("DOC"), qPrintable(w.siteLabel()->text()));
    QCOMPARE(Workspace::readFile(QDir(out_).filePath("index.html")), index);
    QVERIFY(w.isWatching());

    if (stopByClosing) {
      w.close();  // waits for the worker, which the watcher's wake frees at once
      QVERIFY(!w.isRunning());
    } else {
      QTest::mouseClick(w.sessionButton(), Qt::LeftButton);
      QTRY_VERIFY_WITH_TIMEOUT(!w.isWatching() && !w.isRunning(), 30000);
      QVERIFY(w.sessionButton()->isEnabled() && w.setupButton()->isEnabled());
    }
    for (const QString& name : QDir(out_).entryList(QDir::Files | QDir::Hidden)) {
      QVERIFY2(name.startsWith("lw") || name == "index.html" || name == loom::kManifestName,
               qPrintable(name));  // no temporaries
    }
    QVERIFY(sink_.messages.empty());
    if (stopByClosing) return;

    // A watch whose first run is refused does not begin: the refusal comes
    // as from any session, and the window is idle again.
    startWatch();
    waitForRun(w);
    QCOMPARE(sink_.messages.size(), std::size_t{1});
    QCOMPARE(sink_.messages[0].kind, loomui::Message::Kind::Error);
    QVERIFY(!w.isWatching());
    QVERIFY(w.sessionButton()->isEnabled() && w.setupButton()->isEnabled());
  }

  void closingDuringRunStopsWithoutIndexPage() {
    for (int i = 0; i < 6; ++i) {
      Workspace::writeFile(in_, QString("more%1.txt").arg(i), "More\r\ntext\r\n");
    }
    // After the first page the window is asked to close; that page's worker
    // waits until the close has asked the run to stop, so the stop lands in
    // the middle of the run.
    MainWindow* window = nullptr;
    MainWindowOptions o = options(in_ + "," + out_);
    o.fileSystem = std::make_shared<HookedFileSystem>([&window](int written) {
      if (written != 1) return;
      QMetaObject::invokeMethod(window, "close", Qt::QueuedConnection);
      auto* runner = window->findChild<loomui::BatchRunner*>();
      for (int i = 0; i < 20000 && !runner->stopRequested(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
    MainWindow w(o);
    window = &w;
    w.load();
    QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 30000);
    QVERIFY(!w.isRunning());
    QVERIFY(!QFile::exists(QDir(out_).filePath("index.html")));
    const QStringList pages = QDir(out_).entryList(QDir::Files | QDir::Hidden);
    QVERIFY(!pages.isEmpty());
    for (const QString& page : pages) {
      QVERIFY2(page.startsWith("lw") && page.endsWith(".htm"), qPrintable(page));  // no temporaries
      QVERIFY(Workspace::readFile(QDir(out_).filePath(page)).endsWith("</HTML>\r\n") ||
              Workspace::readFile(QDir(out_).filePath(page)).contains("</BODY>"));
    }
    QVERIFY(sink_.messages.empty());
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
