#include "cli/commands.h"

#include <cstdio>

#include "app/explain.h"
#include "base/error.h"
#include "rules/rule_database.h"
#include "rules/rules_json.h"

namespace loom::cli {

int newRules(const Options& options) {
  createRuleDatabase(options.file, NewDatabaseContents::SettingsOnly,
                     platformSettings(options.encoding, options.lineEnds, options.escapeText));
  if (!options.quiet) std::printf("Created the rule database %s\n", options.file.c_str());
  return 0;
}

int explain(const Options& options, const std::string& rulesPath) {
  const auto fs = makePosixFileSystem();
  const Explanation ex = explainFile({"", rulesPath, options.encoding, options.lineEnds, options.escapeText}, options.file, *fs);
  std::fputs(formatExplanation(ex).c_str(), stdout);
  return 0;
}

int exportRules(const Options& options, const std::string& rulesPath) {
  exportRulesFile(rulesPath, options.file);
  if (!options.quiet) std::printf("Wrote the rules of %s to %s\n", rulesPath.c_str(), options.file.c_str());
  return 0;
}

int importRules(const Options& options, const std::string& rulesPath) {
  importRulesFile(rulesPath, options.file);
  if (!options.quiet) std::printf("Replaced the rules of %s with %s\n", rulesPath.c_str(), options.file.c_str());
  return 0;
}

}  // namespace loom::cli
