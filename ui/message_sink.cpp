// SPDX-License-Identifier: MIT
#include "ui/message_sink.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <vector>

#include "base/text.h"
#include "ui/texts.h"

namespace loomui {

namespace {

// About ten lines of text fit any screen with the box's buttons below.
constexpr int kShownLines = 10;
// A longer line wraps; it counts as the lines it takes at about this width.
constexpr int kLineWidth = 90;

// Marks the buttons of the offered actions with their index.
const char* const kActionIndex = "loomwiseAction";

// Control characters from a file's name or text shown as escapes.
QString visible(const QString& text) {
  return QString::fromStdString(loom::visibleLines(text.toStdString()));
}

int linesTaken(const QString& line) { return 1 + static_cast<int>(line.size()) / kLineWidth; }

// Keeps whole lines of `text` while they fit in `budget` lines; the number
// of lines left out goes to `omitted`.
QString firstLines(const QString& text, int& budget, int& omitted) {
  QStringList kept;
  const QStringList lines = text.split('\n');
  for (const QString& line : lines) {
    if (omitted == 0 && linesTaken(line) <= budget) {
      budget -= linesTaken(line);
      kept << line;
    } else {
      ++omitted;
    }
  }
  return kept.join('\n');
}

}  // namespace

QString wrapFriendly(const QString& text) {
  // A zero-width space after "/" lets a long path break there; a word joiner
  // after "-" keeps "--new-rules" and "windows-1252" whole.
  static const QChar kBreakHere(0x200B);
  static const QChar kNoBreak(0x2060);
  QString result;
  result.reserve(text.size() + text.size() / 8);
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    result += c;
    const bool inWord = i + 1 < text.size() && !text[i + 1].isSpace();
    if (c == '/' && inWord) result += kBreakHere;
    if (c == '-' && inWord) result += kNoBreak;
  }
  return result;
}

std::unique_ptr<QMessageBox> makeMessageBox(QWidget* parent, const Message& message) {
  auto box = std::make_unique<QMessageBox>(parent);
  box->setWindowTitle(kProgramTitle);
  box->setTextFormat(Qt::PlainText);
  switch (message.kind) {
    case Message::Kind::Plain:
      box->setIcon(QMessageBox::NoIcon);
      break;
    case Message::Kind::Warning:
      box->setIcon(QMessageBox::Warning);
      break;
    case Message::Kind::Error:
      box->setIcon(QMessageBox::Critical);
      break;
  }
  int budget = kShownLines;
  int omitted = 0;
  const QString text = firstLines(visible(message.text), budget, omitted);
  budget = std::max(budget, 2);
  QString detail = firstLines(visible(message.detail), budget, omitted);
  if (omitted > 0) {
    if (!detail.isEmpty()) detail += '\n';
    detail += omitted == 1
                  ? QStringLiteral("...and 1 more line under \"Show Details...\".")
                  : QStringLiteral("...and %1 more lines under \"Show Details...\".").arg(omitted);
    QString all = visible(message.text);
    if (!message.detail.isEmpty()) all += '\n' + visible(message.detail);
    box->setDetailedText(all);
  }
  box->setText(wrapFriendly(text));
  if (!detail.isEmpty()) box->setInformativeText(wrapFriendly(detail));
  for (int i = 0; i < message.actions.size(); ++i) {
    box->addButton(message.actions[i], QMessageBox::AcceptRole)->setProperty(kActionIndex, i);
  }
  if (message.dismiss.isEmpty()) {
    box->setDefaultButton(box->addButton(QMessageBox::Ok));
  } else {
    box->setDefaultButton(box->addButton(message.dismiss, QMessageBox::RejectRole));
  }
  box->setEscapeButton(box->defaultButton());
  return box;
}

int MessageBoxSink::show(QWidget* parent, const Message& message) {
  const std::unique_ptr<QMessageBox> box = makeMessageBox(parent, message);
  box->exec();
  const QAbstractButton* clicked = box->clickedButton();
  const QVariant action = clicked ? clicked->property(kActionIndex) : QVariant();
  return action.isValid() ? action.toInt() : -1;
}

}  // namespace loomui
