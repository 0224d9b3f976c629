// SPDX-License-Identifier: MIT
// loomwise: the desktop program. Without arguments it waits for the user;
// with the directory pair "input,output" (separate arguments are joined with
// one blank) it converts at once and then stays open.

#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <string_view>

#include "app/pair.h"
#include "base/error.h"
#include "base/file_system.h"
#include "rules/rule_database.h"
#include "rules/rules_location.h"
#include "ui/main_window.h"
#include "ui/message_sink.h"
#include "ui/resources.h"

namespace {

constexpr const char* kUsage =
    "Usage: loomwise [INPUT-DIR,OUTPUT-DIR]\n"
    "The desktop program of Loomwise. Without arguments it shows the main window,\n"
    "from which a session converts a directory of plain text files into a web site\n"
    "and the Setup window edits the rules. With a directory pair (blanks in the\n"
    "names may stay unquoted) it converts INPUT-DIR into OUTPUT-DIR at once and\n"
    "stays open.\n"
    "\n"
    "Options:\n"
    "  -h, --help  show this help\n"
    "  --version   show the version\n"
    "  --          what follows is the directory pair, even if it begins with \"-\"\n";

// Whether this output reached its reader (a full disk or a closed pipe is a
// failure, not a success).
int flushed() {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return 0;
  std::fputs("loomwise: cannot write to standard output\n", stderr);
  return 4;
}

}  // namespace

int main(int argc, char** argv) {
  // Options are answered without a display, for scripts and manual pages;
  // they never open the window.
  int first = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") {
      first = i + 1;
      break;
    }
    if (arg == "--help" || arg == "-h") {
      std::printf("%s\n%s\n", kUsage, loom::rulesInUseLine(std::nullopt).c_str());
      return flushed();
    }
  }
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") break;
    if (arg == "--version") {
      std::printf(
          "loomwise %s\n"
          "Copyright 2026 the Loomwise developers.\n"
          "License: MIT <https://opensource.org/license/mit>. This is free software: you are\n"
          "free to change and redistribute it. There is NO WARRANTY.\n",
          LOOMWISE_VERSION);
      return flushed();
    }
    if (arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "loomwise: unknown option \"%s\"\nTry 'loomwise --help'.\n",
                   std::string(arg).c_str());
      return 2;
    }
  }
  // The arguments are taken before Qt removes the ones it knows.
  const std::string argumentText = loom::joinArguments(argc, argv, first);
  QApplication app(argc, argv);
  // Settings land in ~/.config/loomwise/loomwise.conf.
  QApplication::setOrganizationName(QStringLiteral("loomwise"));
  QApplication::setApplicationName(QStringLiteral("loomwise"));
  QApplication::setApplicationDisplayName(QStringLiteral("Loomwise"));
  QApplication::setApplicationVersion(QStringLiteral(LOOMWISE_VERSION));
  loomui::initResources();
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/loomwise/icon.png")));

  loomui::MessageBoxSink messages;
  loomui::MainWindowOptions options;
  try {
    const loom::RulesChoice rules = loom::chooseRules(
        std::nullopt, loom::rulesPlacesOfThisProcess(), *loom::makePosixFileSystem());
    options.rulesPath = QString::fromStdString(rules.path);
    options.rulesNote = QString::fromStdString(loom::describeRules(rules));
    loom::prepareRules(rules);
  } catch (const loom::LoomError& e) {
    // Said once here; the windows name the file again when they cannot open it.
    if (options.rulesPath.isEmpty()) {
      options.rulesPath = QString::fromStdString(loom::defaultRulesPath());
    }
    messages.show(nullptr, {loomui::Message::Kind::Error, QString::fromStdString(e.what()), {}});
  }
  options.argumentText = QString::fromStdString(argumentText);
  options.messages = &messages;
  loomui::MainWindow window(std::move(options));
  window.load();
  return QApplication::exec();
}
