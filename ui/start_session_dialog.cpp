// SPDX-License-Identifier: MIT
#include "ui/start_session_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSettings>
#include <QStorageInfo>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/pair.h"
#include "base/file_system.h"
#include "base/text.h"
#include "ui/centre.h"
#include "ui/resources.h"
#include "ui/texts.h"

namespace loomui {

namespace {

QString trimmed(const QString& text) {
  return QString::fromStdString(std::string(loom::trimSpaces(text.toStdString())));
}

// Where the last pair is kept between sessions.
const QString kLastInput = QStringLiteral("session/input");
const QString kLastOutput = QStringLiteral("session/output");
const QString kLastKeepUpToDate = QStringLiteral("session/keepUpToDate");
const QString kLastPrune = QStringLiteral("session/prune");

// The directory the trees start in.
QString startDirectory() {
  const QString current = QDir::currentPath();
  return current == QDir::rootPath() ? QDir::homePath() : current;
}

}  // namespace

StartSessionDialog::StartSessionDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint) {
  initResources();
  setWindowTitle(kSessionCaption);
  setModal(true);

  // Before the columns, whose boxes hide it once edited.
  problem_ = new QLabel(this);
  problem_->setWordWrap(true);
  problem_->setTextFormat(Qt::PlainText);
  problem_->setStyleSheet(QStringLiteral("color: #a00000;"));
  problem_->hide();

  model_ = new QFileSystemModel(this);
  model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
  model_->setRootPath(QDir::rootPath());

  auto* logo = new QLabel(this);
  logo->setPixmap(QPixmap(QStringLiteral(":/loomwise/logo.png"))
                      .scaled(43, 55, Qt::KeepAspectRatio, Qt::SmoothTransformation));
  logo->setAlignment(Qt::AlignTop);
  auto* intro = new QLabel(kSessionIntro, this);
  intro->setWordWrap(true);
  intro->setAlignment(Qt::AlignTop | Qt::AlignLeft);

  use_ = new QPushButton(kUseDirectoriesButton, this);
  cancel_ = new QPushButton(kCancelSessionButton, this);
  for (QPushButton* b : {use_, cancel_}) {
    // Neither button answers Enter by itself.
    b->setAutoDefault(false);
    b->setDefault(false);
    b->setMinimumWidth(170);
  }
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(use_);
  buttons->addWidget(cancel_);
  buttons->addStretch(1);

  auto* top = new QHBoxLayout;
  top->addWidget(logo);
  top->addWidget(intro, 1);
  top->addLayout(buttons);

  auto* columns = new QHBoxLayout;
  columns->addWidget(makeColumn(0, kInputHeading), 1);
  columns->addSpacing(12);
  columns->addWidget(makeColumn(1, kOutputHeading), 1);

  keepUpToDate_ = new QCheckBox(QStringLiteral("Keep the site up to date"), this);
  keepUpToDate_->setToolTip(
      QStringLiteral("Runs again whenever a text file or the rules change, until stopped"));
  prune_ = new QCheckBox(QStringLiteral("Remove pages whose source is gone"), this);
  prune_->setToolTip(
      QStringLiteral("Removes only pages an earlier run wrote and nobody has changed since"));
  full_ = new QCheckBox(QStringLiteral("Convert every file"), this);
  full_->setToolTip(
      QStringLiteral("Also the files whose pages the last run left up to date (their sources "
                     "are otherwise not read again)"));
  auto* choices = new QHBoxLayout;
  choices->addWidget(keepUpToDate_);
  choices->addSpacing(12);
  choices->addWidget(prune_);
  choices->addSpacing(12);
  choices->addWidget(full_);
  choices->addStretch(1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addSpacing(8);
  layout->addLayout(columns, 1);
  layout->addWidget(problem_);
  layout->addLayout(choices);

  // As the dialog reads: the buttons at the top, each column from top to
  // bottom, then the choices under them.
  QWidget* order[] = {use_,
                      cancel_,
                      columns_[0].volumes,
                      columns_[0].newFolder,
                      columns_[0].tree,
                      columns_[0].path,
                      columns_[1].volumes,
                      columns_[1].newFolder,
                      columns_[1].tree,
                      columns_[1].path,
                      keepUpToDate_,
                      prune_,
                      full_};
  for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  nameFolder_ = [](QWidget* dialog, const QString& parent) {
    return QInputDialog::getText(dialog, QStringLiteral("New Folder"),
                                 QStringLiteral("Name of the new folder in %1:").arg(parent));
  };
  connect(use_, &QPushButton::clicked, this, &StartSessionDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &StartSessionDialog::cancelSession);
  setSizeGripEnabled(true);
  // The layout keeps the dialog from getting smaller than its controls.
  resize(720, 480);
}

QWidget* StartSessionDialog::makeColumn(int column, const char* heading) {
  auto* box = new QWidget(this);
  auto* layout = new QVBoxLayout(box);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* title = new QLabel(heading, box);
  title->setWordWrap(true);
  Column& c = columns_[column];
  c.volumes = new QComboBox(box);
  c.volumes->setToolTip(QStringLiteral("Home directory and mounted volumes"));
  // A long mount point must not widen the dialog past the screen.
  c.volumes->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  c.volumes->setMinimumContentsLength(16);
  c.tree = new QTreeView(box);
  c.tree->setModel(model_);
  for (int i = 1; i < model_->columnCount(); ++i) c.tree->hideColumn(i);
  c.tree->header()->hide();
  c.tree->setExpandsOnDoubleClick(true);
  auto* specified = new QLabel(kYouHaveSpecified, box);
  c.path = new QLineEdit(box);
  c.newFolder = new QPushButton(QStringLiteral("New Folder"), box);
  c.newFolder->setAutoDefault(false);
  c.newFolder->setToolTip(QStringLiteral("Makes a folder in the directory chosen above"));
  auto* pickers = new QHBoxLayout;
  pickers->addWidget(c.volumes, 1);
  pickers->addWidget(c.newFolder);
  layout->addWidget(title);
  layout->addLayout(pickers);
  layout->addWidget(c.tree, 1);
  layout->addWidget(specified);
  layout->addWidget(c.path);

  // The report of a box at fault goes once the user mends it.
  connect(c.path, &QLineEdit::textEdited, problem_, &QLabel::hide);
  connect(c.volumes, &QComboBox::activated, this, [this, column] { volumeChosen(column); });
  connect(c.newFolder, &QPushButton::clicked, this, [this, column] { makeFolder(column); });
  connect(c.tree, &QTreeView::activated, this,
          [this, column](const QModelIndex& index) { directoryOpened(column, index); });
  // A click or an arrow key chooses too, not only a double click or Enter.
  connect(c.tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this, column](const QModelIndex& index) {
            if (!loading_) directoryOpened(column, index);
          });
  return box;
}

void StartSessionDialog::fillVolumes(int column) {
  QComboBox* combo = columns_[column].volumes;
  combo->clear();
  if (startDirectory() != QDir::homePath()) {
    combo->addItem(QStringLiteral("Current (%1)").arg(startDirectory()), startDirectory());
  }
  combo->addItem(QStringLiteral("Home (%1)").arg(QDir::homePath()), QDir::homePath());
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
    if (!volume.isValid() || !volume.isReady()) continue;
    const QString root = volume.rootPath();
    const QString name = volume.displayName();
    combo->addItem(name == root ? root : QStringLiteral("%1 (%2)").arg(root, name), root);
  }
}

void StartSessionDialog::load() {
  // Resetting the trees must not replace the remembered pair.
  const QScopedValueRollback<bool> loading(loading_, true);
  result_.reset();
  const QSettings settings;
  const QString last[2] = {settings.value(kLastInput).toString(),
                           settings.value(kLastOutput).toString()};
  for (int column = 0; column < 2; ++column) {
    Column& c = columns_[column];
    fillVolumes(column);
    c.volumes->setCurrentIndex(0);
    c.tree->setRootIndex(model_->index(startDirectory()));
    c.tree->collapseAll();
    c.tree->clearSelection();
    c.path->setText(last[column]);
  }
  problem_->hide();
  keepUpToDate_->setChecked(settings.value(kLastKeepUpToDate, false).toBool());
  prune_->setChecked(settings.value(kLastPrune, false).toBool());
  centreOnScreen(this);
  columns_[0].path->setFocus();
}

bool StartSessionDialog::keepUpToDate() const { return keepUpToDate_->isChecked(); }

bool StartSessionDialog::prune() const { return prune_->isChecked(); }
bool StartSessionDialog::full() const { return full_->isChecked(); }

void StartSessionDialog::volumeChosen(int column) {
  const QString root = columns_[column].volumes->currentData().toString();
  const QModelIndex index = model_->index(root);
  // A volume that cannot be read leaves the tree and the box as they were.
  if (!index.isValid() || !QDir(root).isReadable()) return;
  columns_[column].tree->setRootIndex(index);
  columns_[column].path->setText(model_->filePath(index));
}

void StartSessionDialog::directoryOpened(int column, const QModelIndex& index) {
  if (!index.isValid()) return;
  columns_[column].path->setText(model_->filePath(index));
}

void StartSessionDialog::makeFolder(int column) {
  Column& c = columns_[column];
  QModelIndex parent = c.tree->currentIndex();
  if (!parent.isValid()) parent = c.tree->rootIndex();
  const QString where = model_->filePath(parent);
  const QString name = nameFolder_(this, where).trimmed();
  if (name.isEmpty()) return;
  const QModelIndex made = model_->mkdir(parent, name);
  if (!made.isValid()) {
    QMessageBox::warning(
        this, kProgramTitle,
        QStringLiteral("The folder \"%1\" could not be made in \"%2\".").arg(name, where));
    return;
  }
  c.tree->setCurrentIndex(made);
  c.path->setText(model_->filePath(made));
}

void StartSessionDialog::accept() {
  const QString input = trimmed(columns_[0].path->text());
  const QString output = trimmed(columns_[1].path->text());
  // Told here, the user mends the box at fault without choosing both again.
  if (const auto problem = loom::checkChosenDirectories(input.toStdString(), output.toStdString(),
                                                        *loom::makePosixFileSystem())) {
    showProblem(*problem);
    return;
  }
  result_ = input + ',' + output;
  chosen_ = loom::typedPair(input.toStdString(), output.toStdString());
  QSettings settings;
  settings.setValue(kLastInput, input);
  settings.setValue(kLastOutput, output);
  settings.setValue(kLastKeepUpToDate, keepUpToDate_->isChecked());
  settings.setValue(kLastPrune, prune_->isChecked());
  QDialog::accept();
}

void StartSessionDialog::showProblem(const loom::ChosenDirectoryProblem& problem) {
  using Kind = loom::ChosenDirectoryProblem::Kind;
  QLineEdit* box = columns_[problem.which].path;
  const QString path = trimmed(box->text());
  const bool input = problem.which == 0;
  switch (problem.kind) {
    case Kind::Empty:
      problem_->setText(
          input ? QStringLiteral("Choose the directory that holds the text files.")
                : QStringLiteral("Choose the directory that the pages are written to."));
      break;
    case Kind::Missing:
      problem_->setText(
          input
              ? QStringLiteral("The directory \"%1\" does not exist; choose another one.").arg(path)
              : QStringLiteral("The directory \"%1\" does not exist; choose another one, or "
                               "make it with New Folder.")
                    .arg(path));
      break;
    case Kind::NotADirectory:
      problem_->setText(QStringLiteral("\"%1\" is not a directory; choose a directory.").arg(path));
      break;
  }
  problem_->show();
  box->setFocus();
  box->selectAll();
}

void StartSessionDialog::cancelSession() {
  result_ = QString();
  chosen_.reset();
  QDialog::reject();
}

void StartSessionDialog::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Enter:
    case Qt::Key_Return:
      event->ignore();  // only the two buttons and the close box end the dialog
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

}  // namespace loomui
