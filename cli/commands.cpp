#include "cli/commands.h"

#include <cstdio>

#include "base/error.h"
#include "rules/rule_database.h"

namespace loom::cli {

int newRules(const Options& options) {
  createRuleDatabase(options.file, NewDatabaseContents::SettingsOnly,
                     options.encoding.value_or("utf-8"));
  if (!options.quiet) std::printf("Created the rule database %s\n", options.file.c_str());
  return 0;
}

int explain(const Options&, const std::string&) {
  throw LoomError(ErrorKind::Usage, "--explain is not available yet");
}

int exportRules(const Options&, const std::string&) {
  throw LoomError(ErrorKind::Usage, "--export-rules is not available yet");
}

int importRules(const Options&, const std::string&) {
  throw LoomError(ErrorKind::Usage, "--import-rules is not available yet");
}

}  // namespace loom::cli
