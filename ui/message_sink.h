// SPDX-License-Identifier: MIT
#pragma once
// How the windows show the program's messages: a box titled "Loomwise" with
// one OK button, and the buttons of the actions it offers. Behind an
// interface so that tests record the messages (and pick an action) instead
// of blocking on a modal box.

#include <QString>
#include <QStringList>
#include <memory>

class QMessageBox;
class QWidget;

namespace loomui {

struct Message {
  enum class Kind { Plain, Warning, Error };
  Kind kind = Kind::Plain;
  QString text = {};
  QString detail = {};  // shown under the text when not empty (file, table, key, column)
  // Buttons offered beside the one that closes the box, e.g. "Create it".
  QStringList actions = {};
  QString dismiss = {};  // the closing button's caption; empty: "OK"
};

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // Returns when the user has answered: the index of the chosen action in
  // `message.actions`, or -1 when the box was closed without one.
  virtual int show(QWidget* parent, const Message& message) = 0;
};

// The production sink: a modal QMessageBox.
class MessageBoxSink : public MessageSink {
 public:
  int show(QWidget* parent, const Message& message) override;
};

// The box the production sink shows. However many lines `message.detail`
// holds, the box shows about ten of them and keeps the rest behind "Show
// Details...", so it never grows taller than the screen.
std::unique_ptr<QMessageBox> makeMessageBox(QWidget* parent, const Message& message);

// `text` with line break chances after each "/" of a path and none inside a
// word such as "--new-rules", for word-wrapped labels.
QString wrapFriendly(const QString& text);

}  // namespace loomui
