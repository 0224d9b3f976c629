// The main window as a user meets it: the two run modes, a session started
// from the dialog, the messages, and closing in the middle of a run.

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>
#include <atomic>
#include <thread>

#include "app/batch_observer.h"
#include "app/pair.h"
#include "ui/batch_runner.h"
#include "ui/main_window.h"
#include "ui/start_session_dialog.h"
#include "ui/tests/test_support.h"
#include "ui/texts.h"

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

// Passes everything to the real file system; after the first page it asks
// the window to close and holds that page's worker until the close has
// asked the run to stop, so the stop lands in the middle of the run.
class ClosingFileSystem : public loom::FileSystem {
 public:
  explicit ClosingFileSystem(MainWindow*& window) : window_(window), real_(loom::makePosixFileSystem()) {}
  loom::PathKind kind(const std::string& p) const override { return real_->kind(p); }
  std::optional<loom::FileIdentity> identity(const std::string& p) const override {
    return real_->identity(p);
  }
  bool isWritableDirectory(const std::string& p) const override { return real_->isWritableDirectory(p); }
  std::vector<std::string> listPlainFiles(const std::string& d) const override {
    return real_->listPlainFiles(d);
  }
  std::string readFile(const std::string& p) const override { return real_->readFile(p); }
  std::optional<std::string> tryReadFile(const std::string& p) const override {
    return real_->tryReadFile(p);
  }
  void writeFileAtomically(const std::string& path, const std::string& bytes) override {
    real_->writeFileAtomically(path, bytes);
    if (first_.exchange(false)) {
      QMetaObject::invokeMethod(window_, "close", Qt::QueuedConnection);
      auto* runner = window_->findChild<loomui::BatchRunner*>();
      for (int i = 0; i < 20000 && !runner->stopRequested(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
  }

 private:
  MainWindow*& window_;
  std::unique_ptr<loom::FileSystem> real_;
  std::atomic<bool> first_{true};
};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  RecordingSink sink_;
  std::unique_ptr<Workspace> ws_;
  int endedWith_ = -1;
  QString in_, out_;

  MainWindowOptions options(const QString& arguments = {}) {
    MainWindowOptions o;
    o.rulesPath = ws_->rulesPath();
    o.argumentText = arguments;
    o.messages = &sink_;
    o.endProgram = [this](int status) { endedWith_ = status; };
    return o;
  }

  static void waitForRun(MainWindow& w) {
    if (!w.isRunning()) return;
    QSignalSpy ended(&w, &MainWindow::runEnded);
    QVERIFY(ended.wait(30000));
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
  void init() {
    ws_ = std::make_unique<Workspace>();
    sink_.messages.clear();
    endedWith_ = -1;
    in_ = ws_->makeDir("in");
    out_ = ws_->makeDir("out");
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
      Workspace::writeFile(in_, name, QByteArray("Title of ") + name + "\r\nSome text\r\n");
    }
  }

  void interactiveStartIsIdle() {
    MainWindow w(options());
    w.load();
    QCOMPARE(w.windowTitle(), QString("Loomwise 1.0"));
    QVERIFY(w.isVisible());
    QVERIFY(w.setupButton()->isEnabled());
    QVERIFY(w.sessionButton()->isEnabled());
    QCOMPARE(w.setupButton()->text(), QString("Loom Setup"));
    QCOMPARE(w.sessionButton()->text(), QString("Start a Session!"));
    QVERIFY(!w.progressBar()->isVisible());
    QVERIFY(w.statusLabel()->text().isEmpty());
    QVERIFY(loomui::testing::labelTexts(&w).contains(
        "Welcome to Loomwise; the \"almost automatic\" WWW site generator!"));
    QCOMPARE(w.minimumSize(), w.maximumSize());  // fixed frame
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
    QCOMPARE(endedWith_, -1);  // the program goes on
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
    QCOMPARE(endedWith_, -1);
  }

  void failedRunReportsAndEndsTheProgram() {
    const QString missing = QDir(in_).filePath("no such directory");
    MainWindow w(options(missing + "," + out_));
    w.load();
    waitForRun(w);
    QCOMPARE(sink_.messages.size(), std::size_t{1});
    QCOMPARE(sink_.messages[0].kind, loomui::Message::Kind::Error);
    QVERIFY2(sink_.messages[0].text.contains(missing), qPrintable(sink_.messages[0].text));
    QVERIFY(endedWith_ > 0);
    QVERIFY(QDir(out_).isEmpty());
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
    QCOMPARE(endedWith_, -1);
  }

  void closingDuringRunStopsWithoutIndexPage() {
    for (int i = 0; i < 6; ++i) {
      Workspace::writeFile(in_, QString("more%1.txt").arg(i), "More\r\ntext\r\n");
    }
    MainWindow* window = nullptr;
    MainWindowOptions o = options(in_ + "," + out_);
    o.fileSystem = std::make_shared<ClosingFileSystem>(window);
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
