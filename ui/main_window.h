// SPDX-License-Identifier: MIT
#pragma once
// The main window: the two entry points, the status of a batch run, and the
// program's start (the run modes) and end.

#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/batch_observer.h"
#include "app/pair.h"
#include "base/error.h"
#include "base/file_system.h"
#include "rules/settings_table.h"

namespace loom {
struct WatchRun;
}

class QLabel;
class QUrl;
class QProgressBar;
class QPushButton;

namespace loomui {

class BatchRunner;
class MessageSink;
class PathLabel;
struct Message;
class SetupWindow;
class StartSessionDialog;

struct MainWindowOptions {
  QString rulesPath;                // the rule database
  QString rulesNote;                // which one it is and why, for the About page
  QString argumentText;             // the command-line arguments joined; empty: interactive
  MessageSink* messages = nullptr;  // required
  std::shared_ptr<loom::FileSystem> fileSystem;  // null: the real one
  // Opens the finished site's index page; null: the desktop's browser.
  std::function<bool(const QUrl&)> openUrl;
  // Asks for a rules file to put in place of a damaged rule database; empty:
  // none chosen. Null: the desktop's file dialog.
  std::function<QString(QWidget*)> chooseRulesFile;
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
  // Whether the session keeps the site up to date (until stopped).
  bool isWatching() const { return watching_; }

  QPushButton* setupButton() const { return setupButton_; }
  QPushButton* sessionButton() const { return sessionButton_; }
  QLabel* statusLabel() const { return status_; }
  QProgressBar* progressBar() const { return progress_; }
  // Shown during a run that is not a watch; ends it after the file in progress.
  QPushButton* stopButton() const { return stop_; }
  // The finished run's index page and counts, and the button that opens it;
  // hidden until a run has finished.
  QLabel* siteLabel() const { return site_; }
  // The index page's path, shortened in the middle to fit; whole in its tooltip.
  PathLabel* sitePathLabel() const { return sitePath_; }
  QPushButton* openSiteButton() const { return openSite_; }
  // Created on first use; null before.
  StartSessionDialog* startSessionDialog() const { return session_; }
  SetupWindow* setupWindow() const { return setup_; }

 signals:
  void statusChanged(const QString& text);
  void runEnded();  // after a run ended, whichever way

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // Opens the Setup window, with a new row for each missing one.
  void openSetup(const std::vector<loom::Problem>& missingRows = {});
  // Offers usable rules in place of a database Setup cannot read; true when
  // they are in place.
  bool offerRulesRepair(const QString& reason);
  void startSession();
  void runBatch();
  void stopRun();
  void returnToIdle();
  void offerFixes(const std::vector<loom::Problem>& problems, Message message);
  void switchSetting(loom::SettingId setting, const char* value);
  void openSite();
  // F1: the manual page, in the desktop's help viewer.
  void openHelp();
  void setStatus(const QString& text);
  void enableButtons();
  void onRunStarted(int fileCount);
  void onFileDone(int k, int fileCount);
  void onIndexStarted();
  void onWarning(loom::WarningKind warning, const QString& message);
  void onFinished(const loom::BatchSummary& summary);
  void onRunDone(const loom::WatchRun& run);
  void showSite(const QString& counts, const QString& indexPath);
  void onFailed(loom::ErrorKind kind, const QString& message,
                const std::vector<loom::Problem>& problems);
  void showWarningSummary();

  MainWindowOptions options_;
  // The pair of the session the dialog chose, as two paths; nothing for the
  // command line's pair text.
  std::optional<loom::DirectoryPair> sessionDirs_;
  std::optional<loom::DirectoryPair> runDirs_;  // of the last run, for running it again
  // The choices of the session's dialog, for running it again.
  bool keepUpToDate_ = false;
  bool prune_ = false;
  bool full_ = false;
  bool watching_ = false;        // a session that keeps the site up to date is going
  QString indexPath_;            // the last finished run's index page
  QStringList pendingWarnings_;  // shown together when the run ends
  std::vector<loom::WarningKind> pendingKinds_;
  QPushButton* setupButton_ = nullptr;
  QPushButton* sessionButton_ = nullptr;
  QLabel* status_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPushButton* stop_ = nullptr;
  QLabel* site_ = nullptr;
  PathLabel* sitePath_ = nullptr;
  QPushButton* openSite_ = nullptr;
  BatchRunner* runner_ = nullptr;
  StartSessionDialog* session_ = nullptr;
  SetupWindow* setup_ = nullptr;
};

}  // namespace loomui
