#pragma once
// The Start Session dialog: pick the input and the output directory of one
// batch run, each in its own column (index 0 input, 1 output).

#include <QDialog>
#include <QString>
#include <array>
#include <optional>

class QComboBox;
class QFileSystemModel;
class QLineEdit;
class QModelIndex;
class QPushButton;
class QTreeView;

namespace loomui {

class StartSessionDialog : public QDialog {
  Q_OBJECT

 public:
  explicit StartSessionDialog(QWidget* parent = nullptr);

  // Loads the dialog afresh: empty boxes, each tree at the user's home,
  // centred on the screen.
  void load();
  // What the dialog leaves for the session pair once it has closed: the
  // trimmed pair ("input,output") after "&Use these directories" with both
  // boxes filled, "" after "&Cancel Session", nothing (keep the pair as it
  // was) after the close box or with a box left empty.
  const std::optional<QString>& sessionPaths() const { return result_; }

  QLineEdit* pathBox(int column) const { return columns_[column].path; }
  QTreeView* tree(int column) const { return columns_[column].tree; }
  QComboBox* volumes(int column) const { return columns_[column].volumes; }
  QPushButton* useButton() const { return use_; }
  QPushButton* cancelButton() const { return cancel_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  struct Column {
    QComboBox* volumes = nullptr;
    QTreeView* tree = nullptr;
    QLineEdit* path = nullptr;
  };
  QWidget* makeColumn(int column, const char* heading);
  void fillVolumes(int column);
  void volumeChosen(int column);
  void directoryOpened(int column, const QModelIndex& index);
  void accept() override;
  void cancelSession();

  QFileSystemModel* model_ = nullptr;
  std::array<Column, 2> columns_;
  QPushButton* use_ = nullptr;
  QPushButton* cancel_ = nullptr;
  std::optional<QString> result_;
};

}  // namespace loomui
