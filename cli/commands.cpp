#include "cli/commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "app/explain.h"
#include "base/codec.h"
#include "base/error.h"
#include "base/text.h"
#include "rules/rule_database.h"
#include "rules/rules_json.h"

namespace loom::cli {

int newRules(const Options& options) {
  createRuleDatabase(options.file, NewDatabaseContents::OwnText,
                     platformSettings(options.overrides));
  if (!options.quiet)
    std::printf("Created the rule database %s\n", visibleName(options.file).c_str());
  return 0;
}

int explain(const Options& options, const std::string& rulesPath) {
  const auto fs = makePosixFileSystem();
  const Explanation ex = explainFile(
      {.dirs = {}, .rulesPath = rulesPath, .overrides = options.overrides}, options.file, *fs);
  // The file's lines are shown as text, never as commands to the terminal.
  std::fputs(visibleLines(formatExplanation(ex)).c_str(), stdout);
  return 0;
}

namespace {

// "-", or a name of what standard output already is (/dev/stdout, the file
// it was redirected to): written through stdout, with no other line on it.
bool isStandardOutput(const std::string& path) {
  if (path == "-") return true;
  struct stat out {
  }, named{};
  return ::fstat(STDOUT_FILENO, &out) == 0 && ::stat(path.c_str(), &named) == 0 &&
         out.st_dev == named.st_dev && out.st_ino == named.st_ino;
}

}  // namespace

int exportRules(const Options& options, const std::string& rulesPath) {
  if (isStandardOutput(options.file)) {
    const std::string text = exportRulesText(rulesPath);
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
        std::fflush(stdout) != 0) {
      throw LoomError(ErrorKind::Io, "Cannot write the rules to standard output");
    }
    return 0;
  }
  exportRulesFile(rulesPath, options.file);
  if (!options.quiet)
    std::printf("Wrote the rules of %s to %s\n", visibleName(rulesPath).c_str(),
                visibleName(options.file).c_str());
  return 0;
}

int importRules(const Options& options, const std::string& rulesPath) {
  importRulesFile(rulesPath, options.file);
  if (!options.quiet)
    std::printf("Replaced the rules of %s with %s\n", visibleName(rulesPath).c_str(),
                visibleName(options.file).c_str());
  return 0;
}

}  // namespace loom::cli
