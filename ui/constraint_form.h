// SPDX-License-Identifier: MIT
#pragma once
// The Constraint Form: one constraint at a time through a guided form that
// shows only the fields the chosen kind needs.

#include <QDialog>
#include <QString>
#include <array>

#include "app/constraint_form_fields.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace loomui {

class MessageSink;

class ConstraintForm : public QDialog {
  Q_OBJECT

 public:
  ConstraintForm(const QString& rulesPath, MessageSink& messages, QWidget* parent = nullptr);

  // Loads the form afresh: first kind, empty boxes, centred. The caller
  // shows the welcome message before showing the form.
  void load();
  // Escape and the close box ask before typed fields are dropped.
  void reject() override;

  QLabel* helpLabel() const { return help_; }
  QRadioButton* kindOption(int i) const { return options_[i]; }
  QLabel* fieldLabel(int i) const { return labels_[i]; }
  QLineEdit* fieldBox(int i) const { return boxes_[i]; }
  QCheckBox* endOfLineBox() const { return endOfLine_; }
  QCheckBox* caseSensitiveBox() const { return caseSensitive_; }
  QLineEdit* fileTypeBox() const { return fileType_; }
  QPushButton* saveButton() const { return save_; }
  QPlainTextEdit* sampleBox() const { return sample_; }
  QPlainTextEdit* previewBox() const { return preview_; }
  // Says where the last saved row went.
  QLabel* savedLabel() const { return saved_; }

 signals:
  void previewUpdated();

 private:
  void chooseKind(int index);
  void resetFields();
  void showRows(int count, const std::array<const char*, 4>& captions, bool endOfLine);
  void endOfLineClicked();
  void clearFields();
  void saveConstraint();
  loom::ConstraintFormFields formFields() const;
  QWidget* makePreview();
  void schedulePreview();
  void updatePreview();

  QString rulesPath_;
  MessageSink& messages_;
  loom::ConstraintType kind_ = loom::ConstraintType::SearchReplace;
  QLabel* help_ = nullptr;
  std::array<QRadioButton*, 5> options_{};
  std::array<QLabel*, 4> labels_{};
  std::array<QLineEdit*, 4> boxes_{};
  QCheckBox* endOfLine_ = nullptr;
  QCheckBox* caseSensitive_ = nullptr;
  QLineEdit* fileType_ = nullptr;
  QPushButton* save_ = nullptr;
  QPushButton* clear_ = nullptr;
  QPlainTextEdit* sample_ = nullptr;
  QPlainTextEdit* preview_ = nullptr;
  QLabel* note_ = nullptr;
  QLabel* saved_ = nullptr;
  QTimer* previewTimer_ = nullptr;
  bool holdPreview_ = false;  // the saved row's preview stays while the boxes empty
};

}  // namespace loomui
