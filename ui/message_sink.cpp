#include "ui/message_sink.h"

#include <QMessageBox>

#include "ui/texts.h"

namespace loomui {

void MessageBoxSink::show(QWidget* parent, const Message& message) {
  QMessageBox box(parent);
  box.setWindowTitle(kProgramTitle);
  box.setText(message.text);
  switch (message.kind) {
    case Message::Kind::Plain:
      box.setIcon(QMessageBox::NoIcon);
      break;
    case Message::Kind::Warning:
      box.setIcon(QMessageBox::Warning);
      break;
    case Message::Kind::Error:
      box.setIcon(QMessageBox::Critical);
      break;
  }
  if (!message.detail.isEmpty()) box.setInformativeText(message.detail);
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
}

}  // namespace loomui
