#pragma once
// How the windows show the program's messages: a box titled "Loomwise" with
// one OK button. Behind an interface so that tests record the messages
// instead of blocking on a modal box.

#include <QString>

class QWidget;

namespace loomui {

struct Message {
  enum class Kind { Plain, Warning, Error };
  Kind kind = Kind::Plain;
  QString text;
  QString detail;  // shown under the text when not empty (file, table, key, column)
};

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // Returns when the user has acknowledged the message.
  virtual void show(QWidget* parent, const Message& message) = 0;
};

// The production sink: a modal QMessageBox.
class MessageBoxSink : public MessageSink {
 public:
  void show(QWidget* parent, const Message& message) override;
};

}  // namespace loomui
