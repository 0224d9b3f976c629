// SPDX-License-Identifier: MIT
#include "ui/main_window.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "app/batch.h"
#include "app/pair.h"
#include "app/rules_repair.h"
#include "app/source_warnings.h"
#include "app/watch.h"
#include "base/error.h"
#include "base/text.h"
#include "rules/global_settings.h"
#include "ui/batch_runner.h"
#include "ui/centre.h"
#include "ui/message_sink.h"
#include "ui/path_label.h"
#include "ui/resources.h"
#include "ui/setup_window.h"
#include "ui/start_session_dialog.h"
#include "ui/texts.h"

namespace loomui {

namespace {

const QString kWatchingText = QStringLiteral("Watching for changes");

// One line of a two-tone etched separator.
QFrame* separatorLine(const QColor& colour, QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setFixedHeight(1);
  line->setAutoFillBackground(true);
  QPalette palette = line->palette();
  palette.setColor(QPalette::Window, colour);
  line->setPalette(palette);
  return line;
}

}  // namespace

MainWindow::MainWindow(MainWindowOptions options, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      options_(std::move(options)) {
  initResources();
  if (!options_.fileSystem) options_.fileSystem = loom::makePosixFileSystem();
  setWindowTitle(kMainCaption);
  setWindowIcon(QIcon(QStringLiteral(":/loomwise/icon.png")));

  auto* logo = new QLabel(this);
  logo->setPixmap(QPixmap(QStringLiteral(":/loomwise/logo.png")));
  logo->setAlignment(Qt::AlignTop | Qt::AlignLeft);

  auto* welcome = new QLabel(kWelcomeText, this);
  welcome->setWordWrap(true);
  QFont font = welcome->font();
  font.setPointSizeF(font.pointSizeF() * 1.25);
  font.setBold(true);
  welcome->setFont(font);

  setupButton_ = new QPushButton(kLoomSetupButton, this);
  sessionButton_ = new QPushButton(kStartSessionButton, this);
  for (QPushButton* b : {setupButton_, sessionButton_}) {
    b->setAutoDefault(false);
    b->setMinimumHeight(34);
  }
  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(10);
  buttons->addWidget(setupButton_, 1);
  buttons->addWidget(sessionButton_, 1);

  status_ = new QLabel(this);
  status_->setTextFormat(Qt::PlainText);
  // A watch's status line names five counts and the warnings; in a narrow
  // window it takes a second line rather than losing its end.
  status_->setWordWrap(true);
  status_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  status_->setMinimumHeight(status_->fontMetrics().lineSpacing() * 2 + 4);
  progress_ = new QProgressBar(this);
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setTextVisible(false);
  // Hiding the bar must not make the window's rows jump.
  QSizePolicy keep = progress_->sizePolicy();
  keep.setRetainSizeWhenHidden(true);
  progress_->setSizePolicy(keep);
  stop_ = new QPushButton(QStringLiteral("S&top"), this);
  stop_->setAutoDefault(false);
  stop_->setToolTip(
      QStringLiteral("Stops after the file in progress; the pages written so far stay complete"));
  stop_->setSizePolicy(keep);
  stop_->hide();

  // What a finished run made: where its index page is, and the way there.
  site_ = new QLabel(this);
  site_->setWordWrap(true);
  site_->setTextFormat(Qt::PlainText);
  site_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  site_->setMinimumHeight(site_->fontMetrics().lineSpacing() * 2 + 4);
  site_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  sitePath_ = new PathLabel(this);
  openSite_ = new QPushButton(QStringLiteral("&Open site"), this);
  openSite_->setAutoDefault(false);
  openSite_->setToolTip(QStringLiteral("Opens the index page in the desktop's web browser"));
  for (QWidget* w : std::initializer_list<QWidget*>{site_, sitePath_, openSite_}) {
    QSizePolicy policy = w->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    w->setSizePolicy(policy);
    w->hide();
  }
  auto* siteText = new QVBoxLayout;
  siteText->setSpacing(2);
  siteText->addWidget(site_);
  siteText->addWidget(sitePath_);
  auto* siteRow = new QHBoxLayout;
  siteRow->addLayout(siteText, 1);
  siteRow->addWidget(openSite_, 0, Qt::AlignTop);

  auto* right = new QVBoxLayout;
  right->addWidget(welcome);
  right->addSpacing(10);
  right->addLayout(buttons);
  right->addSpacing(10);
  right->addWidget(separatorLine(QColor(0x80, 0x80, 0x80), this));
  right->addWidget(separatorLine(Qt::white, this));
  right->setSpacing(0);
  right->addSpacing(10);
  right->addWidget(status_);
  right->addSpacing(6);
  auto* progressRow = new QHBoxLayout;
  progressRow->addWidget(progress_, 1);
  progressRow->addWidget(stop_);
  right->addLayout(progressRow);
  right->addSpacing(6);
  right->addLayout(siteRow);
  right->addStretch(1);
  right->addSpacing(8);

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(logo);
  layout->addSpacing(12);
  layout->addLayout(right, 1);
  layout->setContentsMargins(12, 12, 16, 12);

  setTabOrder(setupButton_, sessionButton_);
  connect(setupButton_, &QPushButton::clicked, this, [this] { openSetup(); });
  connect(sessionButton_, &QPushButton::clicked, this, &MainWindow::startSession);
  connect(openSite_, &QPushButton::clicked, this, &MainWindow::openSite);
  auto* help = new QShortcut(QKeySequence::HelpContents, this);
  connect(help, &QShortcut::activated, this, &MainWindow::openHelp);
  auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
  connect(quit, &QShortcut::activated, this, &QWidget::close);
  connect(stop_, &QPushButton::clicked, this, &MainWindow::stopRun);

  runner_ = new BatchRunner(options_.fileSystem, this);
  connect(runner_, &BatchRunner::runStarted, this, &MainWindow::onRunStarted);
  connect(runner_, &BatchRunner::fileDone, this, &MainWindow::onFileDone);
  connect(runner_, &BatchRunner::indexStarted, this, &MainWindow::onIndexStarted);
  connect(runner_, &BatchRunner::warning, this, &MainWindow::onWarning);
  connect(runner_, &BatchRunner::finished, this, &MainWindow::onFinished);
  connect(runner_, &BatchRunner::runDone, this, &MainWindow::onRunDone);
  connect(runner_, &BatchRunner::failed, this, &MainWindow::onFailed);

  // The layout keeps the window from getting smaller than its controls.
  resize(QSize(600, sizeHint().height()).expandedTo(minimumSizeHint()));
}

// A run still going ends before the window's parts go away.
MainWindow::~MainWindow() { runner_->stopAndWait(); }

void MainWindow::load() {
  centreOnScreen(this);
  sessionDirs_.reset();
  if (!options_.argumentText.isEmpty()) {
    setupButton_->setEnabled(false);
    sessionButton_->setEnabled(false);
    show();
    runBatch();
    return;
  }
  progress_->hide();
  show();
}

bool MainWindow::isRunning() const { return runner_->isRunning(); }

void MainWindow::closeEvent(QCloseEvent* event) {
  // Ends the program, also in the middle of a run or a watch: the file being
  // worked on is finished (pages are written whole or not at all), the index
  // page is not written, and a waiting watch is woken at once.
  runner_->stopAndWait();
  event->accept();
}

void MainWindow::openSetup(const std::vector<loom::Problem>& missingRows) {
  if (isRunning()) return;
  if (!setup_) {
    setup_ = new SetupWindow(options_.rulesPath, *options_.messages, this);
    setup_->setRulesNote(options_.rulesNote);
  }
  try {
    setup_->load();
  } catch (const loom::LoomError& e) {
    if (offerRulesRepair(QString::fromStdString(e.what()))) openSetup(missingRows);
    return;
  }
  for (const loom::Problem& p : missingRows) {
    setup_->addMissingRow(p.missing, QString::fromStdString(p.subject));
  }
  setup_->exec();
}

bool MainWindow::offerRulesRepair(const QString& reason) {
  const Message offer{
      Message::Kind::Error,
      reason,
      QStringLiteral("Setup can put the bundled rules, or those of a rules file exported earlier, "
                     "in place of this rule database; the file there now is kept beside it."),
      {QStringLiteral("Restore bundled rules"), QStringLiteral("Import rules file...")},
      QStringLiteral("Cancel")};
  const int chosen = options_.messages->show(this, offer);
  if (chosen < 0) return false;
  QString file;
  if (chosen == 1) {
    file = options_.chooseRulesFile ? options_.chooseRulesFile(this)
                                    : QFileDialog::getOpenFileName(
                                          this, QStringLiteral("Import rules"), QDir::homePath(),
                                          QStringLiteral("Loomwise rules (*.json);;All files (*)"));
    if (file.isEmpty()) return false;
  }
  try {
    const std::string kept = loom::replaceRules(
        options_.rulesPath.toStdString(),
        chosen == 0 ? loom::RulesReplacement::Bundled : loom::RulesReplacement::File,
        file.toStdString());
    if (!kept.empty()) {
      options_.messages->show(this,
                              {Message::Kind::Plain, QStringLiteral("The rules were replaced."),
                               QStringLiteral("The file that could not be read is kept as \"%1\".")
                                   .arg(QString::fromStdString(kept))});
    }
    return true;
  } catch (const loom::LoomError& e) {
    options_.messages->show(
        this,
        {Message::Kind::Error, QStringLiteral("The rules were not replaced; nothing was changed."),
         QString::fromStdString(e.what())});
    return false;
  }
}

void MainWindow::startSession() {
  if (watching_) {
    // The button reads "Stop watching"; the window goes idle when the
    // worker says the watch has ended.
    sessionButton_->setEnabled(false);
    runner_->requestStop();
    return;
  }
  if (isRunning()) return;
  if (!session_) session_ = new StartSessionDialog(this);
  session_->load();
  session_->exec();
  if (session_->chosenDirs()) sessionDirs_ = session_->chosenDirs();
  keepUpToDate_ = session_->keepUpToDate();
  prune_ = session_->prune();
  full_ = session_->full();
  setupButton_->setEnabled(false);
  sessionButton_->setEnabled(false);
  runBatch();
}

void MainWindow::runBatch() {
  // The dialog's two paths are taken as they are; only the command line's
  // one text is split at its comma.
  const std::optional<loom::DirectoryPair> dirs =
      sessionDirs_ ? sessionDirs_ : loom::splitPair(options_.argumentText.toStdString());
  if (!dirs) {
    // Not a failure: the user can pick the directories again.
    setStatus(loom::kBothPathsMessage);
    options_.messages->show(this, {Message::Kind::Plain, loom::kBothPathsMessage, {}});
    enableButtons();
    progress_->hide();
    emit runEnded();
    return;
  }
  loom::BatchOptions batch;
  runDirs_ = dirs;
  batch.dirs = *dirs;
  batch.rulesPath = options_.rulesPath.toStdString();
  batch.prune = prune_;
  batch.full = full_;
  pendingWarnings_.clear();
  pendingKinds_.clear();
  // The last good result stays until this run has one, or says why not.
  site_->setToolTip({});
  // Only a session from the dialog keeps watching; a command-line pair runs once.
  watching_ = keepUpToDate_ && sessionDirs_.has_value();
  if (watching_) {
    sessionButton_->setText(QStringLiteral("Stop &watching"));
    sessionButton_->setEnabled(true);
  }
  progress_->setValue(0);
  progress_->show();
  // A watch is stopped with the session button.
  stop_->setVisible(!watching_);
  stop_->setEnabled(true);
  runner_->start(batch, watching_);
}

void MainWindow::stopRun() {
  if (!isRunning() || watching_) return;
  stop_->setEnabled(false);
  runner_->requestStop();
  setStatus(QStringLiteral("Stopping after the file in progress..."));
}

void MainWindow::setStatus(const QString& text) {
  status_->setText(text);
  emit statusChanged(text);
}

void MainWindow::enableButtons() {
  setupButton_->setEnabled(true);
  sessionButton_->setEnabled(true);
}

void MainWindow::onRunStarted(int fileCount) {
  progress_->setMaximum(fileCount);
  progress_->setMinimum(0);
  progress_->setValue(0);
  setStatus(QString::fromStdString(loom::statusText(1, static_cast<std::size_t>(fileCount))));
}

void MainWindow::onFileDone(int k, int fileCount) {
  setStatus(QString::fromStdString(
      loom::statusText(static_cast<std::size_t>(k), static_cast<std::size_t>(fileCount))));
  progress_->setValue(k);
}

void MainWindow::onIndexStarted() { setStatus(loom::kCreatingIndexText); }

void MainWindow::onWarning(loom::WarningKind warning, const QString& message) {
  // While watching, a box per warning of every run would bury the window;
  // the status line counts them instead.
  if (warning == loom::WarningKind::ErrorCondition && !watching_) {
    options_.messages->show(this, {Message::Kind::Warning, loom::kErrorConditionText, message});
  } else {
    pendingWarnings_ << message;
    pendingKinds_.push_back(warning);
  }
}

void MainWindow::returnToIdle() {
  if (watching_) {
    watching_ = false;
    sessionButton_->setText(kStartSessionButton);
  }
  enableButtons();
  progress_->setValue(0);
  progress_->hide();
  stop_->hide();
  sessionDirs_.reset();
}

void MainWindow::onFinished(const loom::BatchSummary& summary) {
  if (watching_) {
    // The watch has ended; the site stays as the last complete run left it.
    if (summary.stopped) {
      setStatus(QStringLiteral("Stopped watching during a run; the index page was not updated."));
    }
    if (site_->text().startsWith(kWatchingText)) {
      site_->setText(
          QStringLiteral("No longer watching; the site is as the last complete run left "
                         "it."));
    }
    returnToIdle();
    emit runEnded();
    return;
  }
  if (summary.stopped && !isVisible()) {
    emit runEnded();  // the window was closed; the program is ending
    return;
  }
  if (summary.stopped) {
    setStatus(QStringLiteral("Stopped: %1 page(s) written; the index page was not updated.")
                  .arg(summary.pagesWritten));
    returnToIdle();
    showWarningSummary();
    emit runEnded();
    return;
  }
  setStatus(loom::kFinishedText);
  returnToIdle();
  QString counts = QStringLiteral("Pages: %1 new, %2 changed, %3 unchanged; %4 files skipped")
                       .arg(summary.pagesNew)
                       .arg(summary.pagesChanged)
                       .arg(summary.pagesUnchanged)
                       .arg(summary.skippedFiles);
  if (summary.pagesRemoved > 0) counts += QStringLiteral("; %1 removed").arg(summary.pagesRemoved);
  showSite(counts, QString::fromStdString(summary.indexPath));
  showWarningSummary();
  emit runEnded();
}

void MainWindow::showSite(const QString& counts, const QString& indexPath) {
  indexPath_ = indexPath;
  site_->setText(wrapFriendly(counts));
  site_->show();
  sitePath_->setPath(indexPath_, QStringLiteral("Index page: "));
  sitePath_->setVisible(!indexPath_.isEmpty());
  openSite_->setVisible(!indexPath_.isEmpty());
}

void MainWindow::onRunDone(const loom::WatchRun& run) {
  if (!watching_) return;  // a report that crossed the end of the watch
  const QString time =
      QDateTime::fromSecsSinceEpoch(std::chrono::system_clock::to_time_t(run.started))
          .toString(QStringLiteral("HH:mm:ss"));
  const QStringList warnings = std::exchange(pendingWarnings_, {});
  pendingKinds_.clear();
  site_->setToolTip(warnings.join('\n'));
  progress_->setValue(0);
  if (!run.summary) {
    QStringList problems;
    for (const std::string& p : run.problems)
      problems << QString::fromStdString(loom::visibleName(p));
    // The last good result stays; the first problem says why this run gave none.
    setStatus(run.filesDone == 0
                  ? QStringLiteral("Last run %1: %2 problem(s); the site stays as it was: %3")
                        .arg(time)
                        .arg(problems.size())
                        .arg(problems.value(0))
                  : QStringLiteral("Last run %1: %2 problem(s) after %3 file(s), whose pages were "
                                   "written; the index page was not: %4")
                        .arg(time)
                        .arg(problems.size())
                        .arg(run.filesDone)
                        .arg(problems.value(0)));
    site_->setToolTip(problems.join('\n'));
    return;
  }
  const loom::BatchSummary& s = *run.summary;
  QString line =
      QStringLiteral("Last run %1: %2").arg(time, QString::fromStdString(loom::pageCounts(s)));
  if (!warnings.isEmpty()) {
    line += QStringLiteral("; %1 warning(s)").arg(warnings.size());
  }
  setStatus(line);
  showSite(QStringLiteral("%1; %2 files skipped").arg(kWatchingText).arg(s.skippedFiles),
           QString::fromStdString(s.indexPath));
}

void MainWindow::openSite() {
  if (indexPath_.isEmpty()) return;
  const QUrl url = QUrl::fromLocalFile(indexPath_);
  const bool opened = options_.openUrl ? options_.openUrl(url) : QDesktopServices::openUrl(url);
  if (!opened) {
    const Message message{Message::Kind::Warning,
                          QStringLiteral("No web browser could open the index page."),
                          QStringLiteral("Open \"%1\" in a browser yourself.").arg(indexPath_),
                          {QStringLiteral("Copy path")}};
    // The box's text breaks long paths with invisible marks; the copy has none.
    if (options_.messages->show(this, message) == 0) {
      QGuiApplication::clipboard()->setText(indexPath_);
    }
  }
}

void MainWindow::openHelp() {
  const QUrl manual(QStringLiteral("man:loomwise(1)"));
  const bool opened =
      options_.openUrl ? options_.openUrl(manual) : QDesktopServices::openUrl(manual);
  if (!opened) {
    options_.messages->show(
        this, {Message::Kind::Plain, QStringLiteral("No help viewer could open the manual page."),
               QStringLiteral("Run \"man loomwise\" in a terminal, or read the section \"The "
                              "desktop program\" of the README.")});
  }
}

void MainWindow::showWarningSummary() {
  if (pendingWarnings_.isEmpty()) return;
  const QString text =
      pendingWarnings_.size() == 1
          ? QStringLiteral("The run finished with a warning.")
          : QStringLiteral("The run finished with %1 warnings.").arg(pendingWarnings_.size());
  const QStringList warnings = std::exchange(pendingWarnings_, {});
  const std::vector<loom::WarningKind> kinds = std::exchange(pendingKinds_, {});
  // The settings the warnings name can be switched from here, once each.
  std::vector<loom::SettingFix> offered;
  for (const loom::WarningKind kind : kinds) {
    const std::optional<loom::SettingFix> fix = loom::settingFixFor(kind);
    const bool known = std::any_of(offered.begin(), offered.end(), [&](const loom::SettingFix& f) {
      return fix && f.setting == fix->setting;
    });
    if (fix && !known) offered.push_back(*fix);
  }
  Message message{Message::Kind::Warning, text, warnings.join('\n'), {}, {}};
  for (const loom::SettingFix& f : offered) {
    message.actions << QStringLiteral("Set %1 to %2").arg(loom::settingDef(f.setting).key, f.value);
  }
  const int chosen = options_.messages->show(this, message);
  if (chosen < 0) return;
  switchSetting(offered[static_cast<std::size_t>(chosen)].setting,
                offered[static_cast<std::size_t>(chosen)].value);
}

void MainWindow::switchSetting(loom::SettingId setting, const char* value) {
  const char* key = loom::settingDef(setting).key;
  try {
    // Every other setting is written back as it was read.
    loom::GlobalSettings settings = loom::LoadGlobalSettings(options_.rulesPath.toStdString());
    settings.optional[setting] = value;
    loom::SaveGlobalSettings(options_.rulesPath.toStdString(), settings);
  } catch (const loom::LoomError& e) {
    options_.messages->show(this,
                            {Message::Kind::Error, QStringLiteral("%1 was not changed.").arg(key),
                             QString::fromStdString(e.what())});
  }
}

void MainWindow::onFailed(loom::ErrorKind /*kind*/, const QString& message,
                          const std::vector<loom::Problem>& problems) {
  returnToIdle();
  showWarningSummary();
  // Nothing was run, or pages written stay complete: either way the window
  // stays, with what the user typed, and offers the fix where there is one.
  Message report{Message::Kind::Error, message, {}, {}, {}};
  if (problems.empty()) {
    setStatus(QStringLiteral("The run failed; the index page was not written: %1").arg(message));
    report.detail = QStringLiteral("Pages written before the failure are complete.");
    options_.messages->show(this, report);
    emit runEnded();
    return;
  }
  setStatus(QStringLiteral("The run was refused; nothing was written: %1")
                .arg(QString::fromStdString(problems.front().message)));
  report.text = problems.size() == 1
                    ? QStringLiteral("The run cannot start; nothing was written.")
                    : QStringLiteral("The run cannot start (%1 problems); nothing was written.")
                          .arg(problems.size());
  report.detail = message;
  emit runEnded();
  offerFixes(problems, report);
}

void MainWindow::offerFixes(const std::vector<loom::Problem>& problems, Message message) {
  QString missingDirectory;
  std::vector<loom::Problem> missingRows;
  for (const loom::Problem& p : problems) {
    if (p.missing == loom::Missing::OutputDirectory) {
      missingDirectory = QString::fromStdString(p.subject);
    }
    if (p.missing == loom::Missing::FileTypesRow || p.missing == loom::Missing::GroupsRow) {
      missingRows.push_back(p);
    }
  }
  const QString createIt = QStringLiteral("Create it");
  const QString openSetupText = QStringLiteral("Open Setup");
  if (!missingDirectory.isEmpty()) message.actions << createIt;
  if (!missingRows.empty()) message.actions << openSetupText;
  const int chosen = options_.messages->show(this, message);
  if (chosen < 0) return;
  if (message.actions[chosen] == openSetupText) {
    openSetup(missingRows);
    return;
  }
  try {
    options_.fileSystem->createDirectories(missingDirectory.toStdString());
  } catch (const loom::LoomError& e) {
    options_.messages->show(
        this,
        {Message::Kind::Error,
         QStringLiteral("The output directory \"%1\" could not be created.").arg(missingDirectory),
         QStringLiteral("Choose another one, or create it yourself.\n%1").arg(e.what())});
    return;
  }
  // The session goes on with the same pair.
  sessionDirs_ = runDirs_;
  setupButton_->setEnabled(false);
  sessionButton_->setEnabled(false);
  runBatch();
}

}  // namespace loomui
