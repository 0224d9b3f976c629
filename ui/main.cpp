// loomwise: the desktop program. Without arguments it waits for the user;
// with the directory pair "input,output" (separate arguments are joined with
// one blank) it converts at once and then stays open.

#include <QApplication>
#include <QIcon>

#include "app/pair.h"
#include "rules/rule_database.h"
#include "ui/main_window.h"
#include "ui/message_sink.h"
#include "ui/resources.h"

int main(int argc, char** argv) {
  // The arguments are taken before Qt removes the ones it knows.
  const std::string argumentText = loom::joinArguments(argc, argv, 1);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Loomwise"));
  QApplication::setApplicationVersion(QStringLiteral(LOOMWISE_VERSION));
  loomui::initResources();
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/loomwise/icon.png")));

  loomui::MessageBoxSink messages;
  loomui::MainWindowOptions options;
  options.rulesPath = QString::fromStdString(loom::defaultRulesPath());
  options.argumentText = QString::fromStdString(argumentText);
  options.messages = &messages;
  loomui::MainWindow window(std::move(options));
  window.load();
  return QApplication::exec();
}
