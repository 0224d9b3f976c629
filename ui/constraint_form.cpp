// SPDX-License-Identifier: MIT
#include "ui/constraint_form.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "app/preview.h"
#include "base/error.h"
#include "ui/centre.h"
#include "ui/message_sink.h"
#include "ui/resources.h"
#include "ui/texts.h"

namespace loomui {

namespace {

// A field row keeps its place while hidden, so changing the kind does not
// shuffle the form.
template <typename W>
W* steady(W* widget) {
  QSizePolicy policy = widget->sizePolicy();
  policy.setRetainSizeWhenHidden(true);
  widget->setSizePolicy(policy);
  return widget;
}

}  // namespace

ConstraintForm::ConstraintForm(const QString& rulesPath, MessageSink& messages, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      rulesPath_(rulesPath),
      messages_(messages) {
  initResources();
  setWindowTitle(kFormCaption);
  setModal(true);

  auto* logo = new QLabel(this);
  logo->setPixmap(QPixmap(QStringLiteral(":/loomwise/logo.png"))
                      .scaled(43, 55, Qt::KeepAspectRatio, Qt::SmoothTransformation));
  logo->setAlignment(Qt::AlignTop);
  help_ = new QLabel(this);
  help_->setWordWrap(true);
  help_->setTextFormat(Qt::PlainText);
  help_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  // The longest help text takes five lines; a fixed height keeps the rows
  // below in place when the kind changes.
  help_->setFixedHeight(help_->fontMetrics().lineSpacing() * 5 + 4);
  auto* top = new QHBoxLayout;
  top->addWidget(logo);
  top->addSpacing(8);
  top->addWidget(help_, 1);

  auto* kindFrame = new QGroupBox(kKindFrame, this);
  auto* kindGrid = new QGridLayout(kindFrame);
  auto* group = new QButtonGroup(this);
  for (int i = 0; i < static_cast<int>(kKindOptions.size()); ++i) {
    options_[i] = new QRadioButton(kKindOptions[i], kindFrame);
    group->addButton(options_[i], i);
    kindGrid->addWidget(options_[i], i % 3, i / 3);  // three rows: every name whole
    connect(options_[i], &QRadioButton::clicked, this, [this, i] { chooseKind(i); });
  }
  save_ = new QPushButton(kSaveConstraintButton, this);
  clear_ = new QPushButton(kClearFieldsButton, this);
  for (QPushButton* b : {save_, clear_}) {
    b->setAutoDefault(false);
    b->setMinimumWidth(150);
  }
  saved_ = new QLabel(this);
  saved_->setWordWrap(true);
  saved_->setTextFormat(Qt::PlainText);
  saved_->setFixedWidth(150);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(save_);
  buttons->addWidget(clear_);
  buttons->addWidget(saved_);
  buttons->addStretch(1);
  auto* middle = new QHBoxLayout;
  middle->addWidget(kindFrame, 1);
  middle->addSpacing(8);
  middle->addLayout(buttons);

  auto* fieldsFrame = new QGroupBox(kFieldsFrame, this);
  auto* fields = new QGridLayout(fieldsFrame);
  fields->setVerticalSpacing(3);
  for (int i = 0; i < 4; ++i) {
    labels_[i] = steady(new QLabel(kInitialFieldCaption, fieldsFrame));
    boxes_[i] = steady(new QLineEdit(fieldsFrame));
    fields->addWidget(labels_[i], i * 2, 0, 1, 2);
    // Each box takes the frame's width, but the one that shares its row
    // with "Apply to end of line".
    fields->addWidget(boxes_[i], i * 2 + 1, 0, 1, i == 1 ? 1 : 2);
  }
  endOfLine_ = steady(new QCheckBox(kApplyToEndOfLine, fieldsFrame));
  fields->addWidget(endOfLine_, 3, 1);
  caseSensitive_ = new QCheckBox(kCaseSensitive, fieldsFrame);
  fileType_ = new QLineEdit(fieldsFrame);
  fileType_->setFixedWidth(fileType_->fontMetrics().horizontalAdvance(QStringLiteral("WWWW")) + 16);
  auto* bottomRow = new QHBoxLayout;
  bottomRow->addWidget(caseSensitive_);
  bottomRow->addStretch(1);
  auto* fileTypeLabel = new QLabel(kFileTypeLabel, fieldsFrame);
  fileTypeLabel->setBuddy(fileType_);
  bottomRow->addWidget(fileTypeLabel);
  bottomRow->addSpacing(8);
  bottomRow->addWidget(fileType_);
  fields->setRowMinimumHeight(8, 8);
  fields->addLayout(bottomRow, 9, 0, 1, 2);
  fields->setColumnStretch(0, 1);

  // Fixed column widths: the captions of a kind must not push the option
  // buttons or the preview sideways.
  auto* formColumn = new QWidget(this);
  formColumn->setFixedWidth(580);
  auto* form = new QVBoxLayout(formColumn);
  form->setContentsMargins(0, 0, 0, 0);
  form->addLayout(top);
  form->addLayout(middle);
  form->addWidget(fieldsFrame);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(formColumn);
  layout->addWidget(makePreview(), 1);

  // The fields and the file type come before Save, so typing a constraint
  // and saving it is one pass of Tab.
  QWidget* order[] = {boxes_[0],      boxes_[1],   endOfLine_,  boxes_[2], boxes_[3],
                      caseSensitive_, fileType_,   save_,       clear_,    options_[0],
                      options_[1],    options_[2], options_[3], sample_};
  for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  connect(endOfLine_, &QCheckBox::clicked, this, &ConstraintForm::endOfLineClicked);
  connect(caseSensitive_, &QCheckBox::clicked, this, &ConstraintForm::endOfLineClicked);
  connect(clear_, &QPushButton::clicked, this, &ConstraintForm::clearFields);
  connect(save_, &QPushButton::clicked, this, &ConstraintForm::saveConstraint);

  // Whatever shapes the row refreshes the preview once the typing pauses.
  previewTimer_ = new QTimer(this);
  previewTimer_->setSingleShot(true);
  previewTimer_->setInterval(250);
  connect(previewTimer_, &QTimer::timeout, this, &ConstraintForm::updatePreview);
  for (QLineEdit* box : boxes_)
    connect(box, &QLineEdit::textChanged, this, &ConstraintForm::schedulePreview);
  connect(fileType_, &QLineEdit::textChanged, this, &ConstraintForm::schedulePreview);
  connect(sample_, &QPlainTextEdit::textChanged, this, &ConstraintForm::schedulePreview);
  for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{
           endOfLine_, caseSensitive_, options_[0], options_[1], options_[2], options_[3]}) {
    connect(b, &QAbstractButton::clicked, this, &ConstraintForm::schedulePreview);
  }
  setSizeGripEnabled(true);
  // The layout keeps the form from getting smaller than its controls.
  resize(1000, sizeHint().height());
}

QWidget* ConstraintForm::makePreview() {
  auto* frame = new QGroupBox(QStringLiteral("Preview"), this);
  auto* layout = new QVBoxLayout(frame);
  auto* sampleLabel = new QLabel(QStringLiteral("Sample &text (typed or pasted here):"), frame);
  sample_ = new QPlainTextEdit(frame);
  sample_->setTabChangesFocus(true);
  sampleLabel->setBuddy(sample_);
  sampleLabel->setWordWrap(true);  // the preview may be narrow in a small window
  auto* resultLabel = new QLabel(
      QStringLiteral("As the saved rows of its file type and GEN, then this constraint, would "
                     "convert it:"),
      frame);
  resultLabel->setWordWrap(true);
  preview_ = new QPlainTextEdit(frame);
  preview_->setReadOnly(true);
  // The fields decide the form's height; the two boxes share what is there.
  for (QPlainTextEdit* box : {sample_, preview_}) {
    box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    box->setMinimumHeight(box->fontMetrics().lineSpacing() * 4);
  }
  note_ = new QLabel(frame);
  note_->setWordWrap(true);
  note_->setTextFormat(Qt::PlainText);
  note_->setStyleSheet(QStringLiteral("color: #8a4b00;"));
  note_->hide();
  layout->addWidget(sampleLabel);
  layout->addWidget(sample_, 1);
  layout->addWidget(resultLabel);
  layout->addWidget(preview_, 1);
  layout->addWidget(note_);
  return frame;
}

loom::ConstraintFormFields ConstraintForm::formFields() const {
  loom::ConstraintFormFields form;
  form.type = kind_;
  for (int i = 0; i < 4; ++i) form.fields[i] = boxes_[i]->text().toStdString();
  form.applyToEndOfLine = endOfLine_->isChecked();
  form.caseSensitive = caseSensitive_->isChecked();
  form.fileType = fileType_->text().toStdString();
  return form;
}

void ConstraintForm::schedulePreview() {
  if (holdPreview_) return;
  saved_->clear();
  previewTimer_->start();
}

void ConstraintForm::updatePreview() {
  previewTimer_->stop();
  const QString sample = sample_->toPlainText();
  if (sample.isEmpty()) {
    preview_->clear();
    note_->hide();
    preview_->show();
  } else {
    const loom::PreviewResult result =
        loom::previewConstraint(rulesPath_.toStdString(), formFields(), sample.toStdString());
    note_->setText(QString::fromStdString(result.note));
    note_->setVisible(!result.note.empty());
    preview_->setVisible(result.ok);
    preview_->setPlainText(result.ok ? QString::fromStdString(result.text) : QString());
  }
  emit previewUpdated();
}

void ConstraintForm::load() {
  for (int i = 0; i < 4; ++i) labels_[i]->setText(kInitialFieldCaption);
  options_[0]->setChecked(true);
  caseSensitive_->setChecked(false);
  fileType_->clear();
  sample_->clear();
  saved_->clear();
  chooseKind(0);
  updatePreview();
  centreOnScreen(this);
  boxes_[0]->setFocus();
}

void ConstraintForm::chooseKind(int index) {
  kind_ = static_cast<loom::ConstraintType>(index + 1);
  help_->setText(labelText(kKindHelp[index]));
  const std::array<const char*, 4>& captions = kFieldCaptions[index];
  switch (kind_) {
    case loom::ConstraintType::SearchReplace:
    case loom::ConstraintType::HeaderLine:
    case loom::ConstraintType::PatternReplace:
      showRows(2, captions, false);
      break;
    case loom::ConstraintType::RemoveBlock:
      showRows(2, captions, true);
      break;
    case loom::ConstraintType::ReplaceFormatting:
      showRows(4, captions, true);
      break;
  }
}

void ConstraintForm::resetFields() {
  for (QLabel* label : labels_) {
    label->setEnabled(false);
    label->hide();
  }
  for (QLineEdit* box : boxes_) {
    box->setEnabled(false);
    box->hide();
    box->clear();
  }
  endOfLine_->setEnabled(false);
  endOfLine_->hide();
  endOfLine_->setChecked(false);
}

void ConstraintForm::showRows(int count, const std::array<const char*, 4>& captions,
                              bool endOfLine) {
  resetFields();
  for (int i = 0; i < count; ++i) {
    if (captions[i]) labels_[i]->setText(captions[i]);
    labels_[i]->setEnabled(true);
    labels_[i]->show();
    boxes_[i]->setEnabled(true);
    boxes_[i]->show();
  }
  if (endOfLine) {
    endOfLine_->show();
    endOfLine_->setEnabled(true);
    endOfLine_->setChecked(false);
  }
}

// Both check boxes share this: it looks only at "Apply to end of line".
void ConstraintForm::endOfLineClicked() {
  if (endOfLine_->isChecked()) {
    boxes_[1]->setEnabled(false);
    boxes_[1]->clear();
  } else {
    boxes_[1]->setEnabled(true);
  }
}

void ConstraintForm::reject() {
  const bool typed =
      std::ranges::any_of(boxes_, [](const QLineEdit* box) { return !box->text().isEmpty(); });
  if (typed) {
    const Message ask{Message::Kind::Warning,
                      QStringLiteral("The constraint in the form has not been saved."),
                      QStringLiteral("Closing the form drops what was typed in its fields."),
                      {QStringLiteral("Discard")},
                      QStringLiteral("Keep editing")};
    if (messages_.show(this, ask) != 0) return;
  }
  QDialog::reject();
}

void ConstraintForm::clearFields() {
  for (QLineEdit* box : boxes_) box->clear();
}

void ConstraintForm::saveConstraint() {
  // Said beside the button, with the cursor in the box to fill.
  if (const auto missing = loom::missingFormField(formFields())) {
    saved_->setText(QString::fromStdString(missing->message));
    QLineEdit* box =
        missing->which == loom::MissingFormField::Which::FileType ? fileType_ : boxes_[0];
    box->setFocus();
    return;
  }
  loom::ConstraintDraft row;
  try {
    row = loom::constraintFromForm(formFields());
  } catch (const loom::LoomError& e) {
    messages_.show(this, {Message::Kind::Warning, QString::fromStdString(e.what()), {}});
    return;
  }
  // The preview shows the row as it is saved, before it is among the
  // saved rows the preview applies first.
  updatePreview();
  std::size_t place = 0;
  try {
    place = loom::SaveConstraint(rulesPath_.toStdString(), row);
  } catch (const loom::LoomError& e) {
    // The form and its texts stay, so the user can try again.
    messages_.show(this,
                   {Message::Kind::Error, QStringLiteral("The constraint could not be saved."),
                    QString::fromStdString(e.what())});
    return;
  }
  holdPreview_ = true;
  clearFields();
  holdPreview_ = false;
  saved_->setText(QStringLiteral("Saved as row %1 of Constraints").arg(place));
}

}  // namespace loomui
