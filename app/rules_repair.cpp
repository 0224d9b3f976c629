// SPDX-License-Identifier: MIT
#include "app/rules_repair.h"

#include <filesystem>
#include <system_error>

#include "base/error.h"
#include "rules/rule_database.h"
#include "rules/rules_json.h"

namespace loom {

namespace {

namespace fs = std::filesystem;

std::string freeName(const std::string& base) {
  std::string name = base;
  for (int n = 2; fs::exists(fs::symlink_status(name)); ++n) name = base + "-" + std::to_string(n);
  return name;
}

void renameOrThrow(const std::string& from, const std::string& to) {
  std::error_code error;
  fs::rename(from, to, error);
  if (error) {
    throw LoomError(ErrorKind::Io,
                    "Cannot rename \"" + from + "\" to \"" + to + "\": " + error.message());
  }
}

}  // namespace

std::string replaceRules(const std::string& rulesPath, RulesReplacement from,
                         const std::string& rulesFile) {
  const std::string scratch = freeName(rulesPath + ".new");
  try {
    createRuleDatabase(scratch, from == RulesReplacement::Bundled
                                    ? NewDatabaseContents::Bundled
                                    : NewDatabaseContents::SettingsOnly);
    if (from == RulesReplacement::File) importRulesFile(scratch, rulesFile);
  } catch (...) {
    std::error_code ignored;
    fs::remove(scratch, ignored);
    throw;
  }
  std::string kept;
  if (fs::exists(fs::symlink_status(rulesPath))) {
    kept = freeName(rulesPath + ".damaged");
    renameOrThrow(rulesPath, kept);
  }
  renameOrThrow(scratch, rulesPath);
  return kept;
}

}  // namespace loom
