#pragma once
// The main window: the two entry points, the status of a batch run, and the
// program's start (the run modes) and end.

#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>

#include "base/file_system.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace loomui {

class BatchRunner;
class MessageSink;
class SetupWindow;
class StartSessionDialog;

struct MainWindowOptions {
  QString rulesPath;     // the rule database
  QString rulesNote;     // which one it is and why, for the About page
  QString argumentText;  // the command-line arguments joined; empty: interactive
  MessageSink* messages = nullptr;  // required
  // Ends the program after a failure has been reported (exit status).
  std::function<void(int)> endProgram;
  std::shared_ptr<loom::FileSystem> fileSystem;  // null: the real one
};

class MainWindow : public QWidget {
  Q_OBJECT

 public:
  explicit MainWindow(MainWindowOptions options, QWidget* parent = nullptr);
  ~MainWindow() override;

  // The start-up sequence: centre, forget the session pair, then either run
  // the command-line pair at once or wait for the user.
  void load();
  bool isRunning() const;
  const QString& sessionPaths() const { return sessionPaths_; }

  QPushButton* setupButton() const { return setupButton_; }
  QPushButton* sessionButton() const { return sessionButton_; }
  QLabel* statusLabel() const { return status_; }
  QProgressBar* progressBar() const { return progress_; }
  // Created on first use; null before.
  StartSessionDialog* startSessionDialog() const { return session_; }
  SetupWindow* setupWindow() const { return setup_; }

 signals:
  void statusChanged(const QString& text);
  void runEnded();  // after a run ended, whichever way

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void openSetup();
  void startSession();
  void runBatch();
  void setStatus(const QString& text);
  void enableButtons();
  void onRunStarted(int fileCount);
  void onFileDone(int k, int fileCount);
  void onIndexStarted();
  void onWarning(int kind, const QString& message);
  void onFinished(bool stopped);
  void onFailed(int kind, const QString& message, const QStringList& problems);
  void showWarningSummary();
  void fail(const QString& text, const QString& detail);

  MainWindowOptions options_;
  QString sessionPaths_;
  QStringList pendingWarnings_;  // shown together when the run ends
  QPushButton* setupButton_ = nullptr;
  QPushButton* sessionButton_ = nullptr;
  QLabel* status_ = nullptr;
  QProgressBar* progress_ = nullptr;
  BatchRunner* runner_ = nullptr;
  StartSessionDialog* session_ = nullptr;
  SetupWindow* setup_ = nullptr;
};

}  // namespace loomui
