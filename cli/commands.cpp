#include "cli/commands.h"

#include <cstdio>

#include "app/explain.h"
#include "base/error.h"
#include "rules/rule_database.h"

namespace loom::cli {

int newRules(const Options& options) {
  createRuleDatabase(options.file, NewDatabaseContents::SettingsOnly,
                     options.encoding.value_or("utf-8"));
  if (!options.quiet) std::printf("Created the rule database %s\n", options.file.c_str());
  return 0;
}

int explain(const Options& options, const std::string& rulesPath) {
  const auto fs = makePosixFileSystem();
  const Explanation ex = explainFile({"", rulesPath, options.encoding}, options.file, *fs);
  std::fputs(formatExplanation(ex).c_str(), stdout);
  return 0;
}

int exportRules(const Options&, const std::string&) {
  throw LoomError(ErrorKind::Usage, "--export-rules is not available yet");
}

int importRules(const Options&, const std::string&) {
  throw LoomError(ErrorKind::Usage, "--import-rules is not available yet");
}

}  // namespace loom::cli
