// SPDX-License-Identifier: MIT
#include "cli/options.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

#include "app/pair.h"
#include "base/error.h"

namespace loom::cli {

std::string usageText() {
  return "Usage: loomwise-batch [OPTION]... INPUT-DIR OUTPUT-DIR\n"
         "  or:  loomwise-batch [OPTION]... 'INPUT-DIR,OUTPUT-DIR'\n"
         "  or:  loomwise-batch [OPTION]... --explain FILE\n"
         "  or:  loomwise-batch --new-rules FILE | --export-rules FILE | --import-rules FILE\n"
         "Converts every plain file of INPUT-DIR into an HTML page in OUTPUT-DIR and\n"
         "writes an index page that links them all, by the rules of a rule database.\n"
         "\n"
         "Options:\n"
         "  --rules FILE         the rule database (default: see Rule database below)\n"
         "  --check              check the run and list every problem at once; write nothing\n"
         "  -j, --jobs N         convert on N threads (default: one per core); output is the "
         "same\n" +
         settingOptionsHelp() +
         "  --prune              remove the pages that the last run wrote from input files\n"
         "                       that are gone, unless edited since; with --check, list them\n"
         "  --full               convert every file, also those whose page the last run\n"
         "                       left up to date (their sources are not read otherwise)\n"
         "  --watch              run, then run again whenever the input directory or the\n"
         "                       rule database changes, printing one line per run; Ctrl-C\n"
         "                       or SIGTERM ends it (exit 0, or 1 when that stopped a run)\n"
         "  -q, --quiet          print only warnings and errors\n"
         "  --explain FILE       show which rules change which lines of FILE; write nothing\n"
         "  --export-rules FILE  write the whole rule database as a text file (JSON; - for "
         "stdout)\n"
         "  --import-rules FILE  replace all rows of the rule database with FILE's\n"
         "  --new-rules FILE     create a new rule database at FILE (never overwrites) for "
         "text\n"
         "                       of this platform: every file a page named after it, text\n"
         "                       laid out as written, utf-8, line ends any, escape-text yes\n"
         "  -h, --help           show this help\n"
         "  --version            show the version\n"
         "Every long option that takes a value also takes it as --option=VALUE; short\n"
         "options may be bundled (-qj2).\n"
         "\n"
         "Exit status:\n"
         "  0  the index page was written (or the check passed, or the command did its work)\n"
         "  1  the run was stopped (Ctrl-C or SIGTERM)\n"
         "  2  usage error: an unknown option, a missing value, a bad directory pair\n"
         "  3  rule database error: missing, damaged, locked, or rules a run refuses\n"
         "  4  file or directory error: missing, unreadable, not writable, a full disk\n";
}

namespace {

LoomError usage(const std::string& message) { return LoomError(ErrorKind::Usage, message); }

// The arguments with short options spelled out as getopt reads them: "-qj2"
// is "--quiet --jobs 2", "-j1" is "--jobs 1". Nothing after "--" changes.
bool takesValue(std::string_view longOption) {
  for (const char* name :
       {"--rules", "--jobs", "--explain", "--export-rules", "--import-rules", "--new-rules"}) {
    if (longOption == name) return true;
  }
  return longOption.starts_with("--") && settingByOption(longOption.substr(2)) != nullptr;
}

std::vector<std::string> spelledOut(int argc, const char* const argv[]) {
  std::vector<std::string> args;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") options = false;
    const bool isValue = !args.empty() && takesValue(args.back()) && options;
    if (!options || isValue || arg.size() < 2 || arg[0] != '-' || arg[1] == '-') {
      args.emplace_back(arg);
      continue;
    }
    for (std::size_t k = 1; k < arg.size(); ++k) {
      if (arg[k] == 'h') {
        args.emplace_back("--help");
      } else if (arg[k] == 'q') {
        args.emplace_back("--quiet");
      } else if (arg[k] == 'j') {
        args.emplace_back("--jobs");
        if (k + 1 < arg.size()) args.emplace_back(arg.substr(k + 1));
        break;
      } else {
        args.push_back(std::string("-") + arg[k]);  // unknown: said as such below
      }
    }
  }
  return args;
}

}  // namespace

Options parseOptions(int argc, const char* const argv[]) {
  const std::vector<std::string> args = spelledOut(argc, argv);
  Options options;
  // Asking for help is never a mistake, whatever else is on the line.
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (arg == "--help") {
      options.command = Command::Help;
      return options;
    }
  }
  const int count = static_cast<int>(args.size());
  std::vector<std::string> positional;
  bool commandSet = false;
  auto setCommand = [&](Command c, const char* name) {
    if (commandSet && options.command != c) {
      throw usage(std::string("--") + name + " cannot be combined with another command");
    }
    commandSet = true;
    options.command = c;
  };
  for (int i = 0; i < count; ++i) {
    std::string_view arg = args[static_cast<std::size_t>(i)];
    // "--name=value" is "--name value".
    std::optional<std::string> attached;
    if (const std::size_t eq = arg.find('=');
        arg.starts_with("--") && eq != std::string_view::npos) {
      attached = std::string(arg.substr(eq + 1));
      arg = arg.substr(0, eq);
    }
    bool taken = false;
    auto value = [&](const char* name) -> std::string {
      taken = true;
      if (attached) return *attached;
      if (i + 1 >= count) throw usage(std::string("--") + name + " needs a value");
      return args[static_cast<std::size_t>(++i)];
    };
    const SettingDef* setting = arg.starts_with("--") ? settingByOption(arg.substr(2)) : nullptr;
    if (arg == "--") {
      for (++i; i < count; ++i) positional.push_back(args[static_cast<std::size_t>(i)]);
      break;
    } else if (arg == "--version") {
      setCommand(Command::Version, "version");
    } else if (arg == "--check") {
      setCommand(Command::Check, "check");
    } else if (arg == "--prune") {
      options.prune = true;
    } else if (arg == "--full") {
      options.full = true;
    } else if (arg == "--watch") {
      options.watch = true;
    } else if (arg == "--quiet") {
      options.quiet = true;
    } else if (arg == "--rules") {
      options.rulesPath = value("rules");
    } else if (setting != nullptr) {
      options.overrides[setting->id] = value(setting->option);
    } else if (arg == "--jobs") {
      const std::string n = value("jobs");
      if (n.empty() || n.size() > 4 || n.find_first_not_of("0123456789") != std::string::npos ||
          std::stoi(n) < 1) {
        throw usage("--jobs needs a whole number from 1 to 9999, not \"" + n + "\"");
      }
      options.jobs = static_cast<unsigned>(std::stoi(n));
    } else if (arg == "--new-rules") {
      setCommand(Command::NewRules, "new-rules");
      options.file = value("new-rules");
    } else if (arg == "--explain") {
      setCommand(Command::Explain, "explain");
      options.file = value("explain");
    } else if (arg == "--export-rules") {
      setCommand(Command::ExportRules, "export-rules");
      options.file = value("export-rules");
    } else if (arg == "--import-rules") {
      setCommand(Command::ImportRules, "import-rules");
      options.file = value("import-rules");
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw usage("unknown option \"" + std::string(arg) + "\"");
    } else {
      positional.emplace_back(arg);
    }
    if (attached && !taken) {
      throw usage("option \"" + std::string(arg) + "\" takes no value");
    }
  }
  if (options.watch && options.command != Command::Run) {
    throw usage("--watch cannot be combined with another command");
  }
  const bool needsPair = options.command == Command::Run || options.command == Command::Check;
  if (!needsPair) {
    if (!positional.empty()) throw usage("unexpected argument \"" + positional.front() + "\"");
    return options;
  }
  std::optional<DirectoryPair> dirs;
  if (positional.size() == 2) {
    // Two directories, each as typed: a comma in one is part of its name.
    dirs = typedPair(positional[0], positional[1]);
  } else if (positional.size() == 1 ||
             (positional.size() > 2 &&
              std::any_of(positional.begin(), positional.end(),
                          [](const std::string& p) { return p.find(',') != std::string::npos; }))) {
    // One pair text, perhaps split by the shell at blanks inside it.
    std::vector<const char*> words;
    for (const std::string& p : positional) words.push_back(p.c_str());
    dirs = splitPair(joinArguments(static_cast<int>(words.size()), words.data(), 0));
  } else if (!positional.empty()) {
    throw usage("expected INPUT-DIR OUTPUT-DIR, or one 'INPUT-DIR,OUTPUT-DIR', got " +
                std::to_string(positional.size()) + " arguments");
  }
  if (!dirs) throw usage(kBothPathsMessage);
  options.dirs = std::move(*dirs);
  return options;
}

}  // namespace loom::cli
