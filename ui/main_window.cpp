#include "ui/main_window.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/batch.h"
#include "app/pair.h"
#include "base/error.h"
#include "ui/batch_runner.h"
#include "ui/centre.h"
#include "ui/message_sink.h"
#include "ui/setup_window.h"
#include "ui/start_session_dialog.h"
#include "ui/resources.h"
#include "ui/texts.h"

namespace loomui {

namespace {


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
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
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
  status_->setMinimumHeight(status_->fontMetrics().height() + 4);
  progress_ = new QProgressBar(this);
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setTextVisible(false);
  // Hiding the bar must not make the fixed-size window jump.
  QSizePolicy keep = progress_->sizePolicy();
  keep.setRetainSizeWhenHidden(true);
  progress_->setSizePolicy(keep);

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
  right->addWidget(progress_);
  right->addStretch(1);
  right->addSpacing(8);

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(logo);
  layout->addSpacing(12);
  layout->addLayout(right, 1);
  layout->setContentsMargins(12, 12, 16, 12);

  setTabOrder(setupButton_, sessionButton_);
  connect(setupButton_, &QPushButton::clicked, this, &MainWindow::openSetup);
  connect(sessionButton_, &QPushButton::clicked, this, &MainWindow::startSession);

  runner_ = new BatchRunner(options_.fileSystem, this);
  connect(runner_, &BatchRunner::runStarted, this, &MainWindow::onRunStarted);
  connect(runner_, &BatchRunner::fileDone, this, &MainWindow::onFileDone);
  connect(runner_, &BatchRunner::indexStarted, this, &MainWindow::onIndexStarted);
  connect(runner_, &BatchRunner::warning, this, &MainWindow::onWarning);
  connect(runner_, &BatchRunner::finished, this, &MainWindow::onFinished);
  connect(runner_, &BatchRunner::failed, this, &MainWindow::onFailed);

  setFixedSize(QSize(520, sizeHint().height()).expandedTo(sizeHint()));
}

// A run still going ends before the window's parts go away.
MainWindow::~MainWindow() { runner_->stopAndWait(); }

void MainWindow::load() {
  centreOnScreen(this);
  sessionPaths_.clear();
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
  // Ends the program, also in the middle of a run: the file being worked on
  // is finished (pages are written whole or not at all), the index page is
  // not written.
  runner_->stopAndWait();
  event->accept();
}

void MainWindow::openSetup() {
  if (isRunning()) return;
  if (!setup_) {
    setup_ = new SetupWindow(options_.rulesPath, *options_.messages, this);
    setup_->setRulesNote(options_.rulesNote);
  }
  try {
    setup_->load();
  } catch (const loom::LoomError& e) {
    fail(QString::fromStdString(e.what()), {});
    return;
  }
  setup_->exec();
}

void MainWindow::startSession() {
  if (isRunning()) return;
  if (!session_) session_ = new StartSessionDialog(this);
  session_->load();
  session_->exec();
  if (const std::optional<QString> chosen = session_->sessionPaths()) sessionPaths_ = *chosen;
  setupButton_->setEnabled(false);
  sessionButton_->setEnabled(false);
  runBatch();
}

void MainWindow::runBatch() {
  const QString pair = sessionPaths_.isEmpty() ? options_.argumentText : sessionPaths_;
  const std::optional<loom::DirectoryPair> dirs = loom::SplitPair(pair.toStdString());
  if (!dirs) {
    // Not a failure: the user can pick the directories again.
    options_.messages->show(this, {Message::Kind::Plain, loom::kBothPathsMessage, {}});
    enableButtons();
    progress_->hide();
    emit runEnded();
    return;
  }
  loom::BatchOptions batch;
  batch.dirs = *dirs;
  batch.rulesPath = options_.rulesPath.toStdString();
  batch.jobs = 0;  // the pages and the order of the reports do not depend on it
  pendingWarnings_.clear();
  runner_->start(batch);
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

void MainWindow::onWarning(int kind, const QString& message) {
  if (static_cast<loom::WarningKind>(kind) == loom::WarningKind::ErrorCondition) {
    options_.messages->show(this, {Message::Kind::Warning, loom::kErrorConditionText, message});
  } else {
    pendingWarnings_ << message;
  }
}

void MainWindow::onFinished(bool stopped) {
  if (stopped) {
    emit runEnded();
    return;
  }
  setStatus(loom::kFinishedText);
  progress_->setValue(0);
  enableButtons();
  progress_->hide();
  sessionPaths_.clear();
  showWarningSummary();
  emit runEnded();
}

void MainWindow::showWarningSummary() {
  if (pendingWarnings_.isEmpty()) return;
  const QString text = pendingWarnings_.size() == 1
                           ? QStringLiteral("The run finished with a warning.")
                           : QStringLiteral("The run finished with %1 warnings.")
                                 .arg(pendingWarnings_.size());
  const QStringList warnings = std::exchange(pendingWarnings_, {});
  options_.messages->show(this, {Message::Kind::Warning, text, warnings.join('\n')});
}

void MainWindow::onFailed(int kind, const QString& message, const QStringList& problems) {
  showWarningSummary();
  const QString detail = problems.isEmpty() ? QString()
                                            : QStringLiteral("Nothing was written.");
  const int code = loom::exitCodeFor(static_cast<loom::ErrorKind>(kind));
  options_.messages->show(this, {Message::Kind::Error, message, detail});
  emit runEnded();
  if (options_.endProgram) options_.endProgram(code);
}

void MainWindow::fail(const QString& text, const QString& detail) {
  options_.messages->show(this, {Message::Kind::Error, text, detail});
  if (options_.endProgram) options_.endProgram(loom::exitCodeFor(loom::ErrorKind::Rules));
}

}  // namespace loomui
