// SPDX-License-Identifier: MIT
#pragma once
// The Start Session dialog: pick the input and the output directory of one
// batch run, each in its own column (index 0 input, 1 output).

#include <QDialog>
#include <QString>
#include <array>
#include <functional>
#include <optional>

#include "app/pair.h"

class QCheckBox;
class QComboBox;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QModelIndex;
class QPushButton;
class QTreeView;

namespace loom {
struct ChosenDirectoryProblem;
}

namespace loomui {

class StartSessionDialog : public QDialog {
  Q_OBJECT

 public:
  explicit StartSessionDialog(QWidget* parent = nullptr);

  // Asks for the name of a new folder below `parent`; empty: none.
  using FolderNamer = std::function<QString(QWidget* dialog, const QString& parent)>;

  // Loads the dialog afresh: the boxes hold the pair last used (QSettings),
  // each tree starts in the current directory (the home directory when that
  // is "/"), centred on the screen.
  void load();
  // What the dialog leaves for the session pair once it has closed: the
  // trimmed pair ("input,output") after "&Use these directories", "" after
  // "&Cancel Session", nothing (keep the pair as it was) after the close
  // box. "&Use these directories" closes the dialog only when both boxes
  // name existing directories; else the dialog says why, with the focus on
  // the box at fault.
  const std::optional<QString>& sessionPaths() const { return result_; }
  // The pair chosen, as two paths: a comma in a directory's name stays in it.
  const std::optional<loom::DirectoryPair>& chosenDirs() const { return chosen_; }
  // What the session does besides one run: go on running after each change
  // of the input or the rules, and remove the pages of sources that are gone.
  // Remembered with the pair.
  bool keepUpToDate() const;
  bool prune() const;
  // Whether every file is to be converted, also those whose page is up to date.
  bool full() const;

  QLineEdit* pathBox(int column) const { return columns_[column].path; }
  QTreeView* tree(int column) const { return columns_[column].tree; }
  QComboBox* volumes(int column) const { return columns_[column].volumes; }
  QPushButton* useButton() const { return use_; }
  QPushButton* cancelButton() const { return cancel_; }
  QPushButton* newFolderButton(int column) const { return columns_[column].newFolder; }
  QCheckBox* keepUpToDateBox() const { return keepUpToDate_; }
  QCheckBox* pruneBox() const { return prune_; }
  QCheckBox* fullBox() const { return full_; }
  // Why the directories were not taken; hidden while there is nothing to say.
  QLabel* problemLabel() const { return problem_; }
  void setFolderNamer(FolderNamer namer) { nameFolder_ = std::move(namer); }

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  struct Column {
    QComboBox* volumes = nullptr;
    QTreeView* tree = nullptr;
    QLineEdit* path = nullptr;
    QPushButton* newFolder = nullptr;
  };
  QWidget* makeColumn(int column, const char* heading);
  void fillVolumes(int column);
  void volumeChosen(int column);
  void directoryOpened(int column, const QModelIndex& index);
  void makeFolder(int column);
  void accept() override;
  void cancelSession();
  void showProblem(const loom::ChosenDirectoryProblem& problem);

  QFileSystemModel* model_ = nullptr;
  std::array<Column, 2> columns_;
  QPushButton* use_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QCheckBox* keepUpToDate_ = nullptr;
  QCheckBox* prune_ = nullptr;
  QCheckBox* full_ = nullptr;  // this session only: never remembered
  QLabel* problem_ = nullptr;
  std::optional<QString> result_;
  std::optional<loom::DirectoryPair> chosen_;
  bool loading_ = false;
  FolderNamer nameFolder_;
};

}  // namespace loomui
