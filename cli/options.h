// SPDX-License-Identifier: MIT
#pragma once
// The command line of loomwise-batch.

#include <optional>
#include <string>

#include "app/pair.h"
#include "rules/settings_table.h"

namespace loom::cli {

enum class Command { Run, Check, Help, Version, NewRules, Explain, ExportRules, ImportRules };

struct Options {
  Command command = Command::Run;
  DirectoryPair dirs;          // of Run and Check
  std::string rulesPath;       // empty: the one chooseRules() names
  SettingOverrides overrides;  // --encoding, --line-ends, ... over the stored settings
  unsigned jobs = 0;           // 0: one per core
  bool quiet = false;
  bool prune = false;  // remove the pages of deleted sources
  bool full = false;   // convert every file, also those whose page is up to date
  bool watch = false;  // run again whenever the input or the rules change
  std::string file;    // of --new-rules, --explain, --export-rules, --import-rules
};

// Parses the arguments; throws LoomError(Usage) with a message naming the
// option at fault.
Options parseOptions(int argc, const char* const argv[]);

// The whole of --help.
std::string usageText();

}  // namespace loom::cli
