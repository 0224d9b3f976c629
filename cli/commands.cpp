// SPDX-License-Identifier: MIT
#include "cli/commands.h"

#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <string_view>
#include <utility>

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

namespace {

// The explanation's marks («, », · and →) for a terminal that shows only
// ASCII, as under LC_ALL=C: "<<", ">>", "~" and "\t".
std::string withMarksFor(std::string text) {
  std::setlocale(LC_CTYPE, "");
  const std::string_view codeset = nl_langinfo(CODESET);
  if (codeset == "UTF-8" || codeset == "utf8") return text;
  const std::pair<std::string_view, std::string_view> marks[] = {
      {"\xC2\xAB", "<<"}, {"\xC2\xBB", ">>"}, {"\xC2\xB7", "~"}, {"\xE2\x86\x92", "\\t"}};
  for (const auto& [mark, ascii] : marks) {
    for (std::size_t at = 0; (at = text.find(mark, at)) != std::string::npos; at += ascii.size())
      text.replace(at, mark.size(), ascii);
  }
  return text;
}

}  // namespace

int explain(const Options& options, const std::string& rulesPath) {
  const auto fs = makePosixFileSystem();
  const Explanation ex = explainFile(
      {.dirs = {}, .rulesPath = rulesPath, .overrides = options.overrides}, options.file, *fs);
  // The file's lines are shown as text, never as commands to the terminal.
  std::fputs(withMarksFor(visibleLines(formatExplanation(ex))).c_str(), stdout);
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
