// SPDX-License-Identifier: MIT
#include "rules/rule_database.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "base/codec.h"
#include "base/error.h"
#include "base/text.h"
#include "rules/global_settings.h"
#include "rules/sql_texts.h"
#include "rules/sqlite.h"

namespace loom {

std::string programDirectory() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  const std::string exe(buf, static_cast<std::size_t>(n));
  const std::size_t slash = exe.rfind('/');
  return slash == std::string::npos ? "." : exe.substr(0, slash == 0 ? 1 : slash);
}

std::string defaultRulesPath() { return programDirectory() + "/loomwise.mdb"; }

std::vector<SettingRow> platformSettings(const SettingOverrides& overrides) {
  std::vector<SettingRow> rows;
  for (const SettingDef& def : settingTable()) {
    std::string value = def.newRules;
    if (const auto given = overrides.find(def.id); given != overrides.end()) {
      const auto choice = choiceOf(def, given->second);
      if (!choice) {
        throw LoomError(ErrorKind::Usage,
                        unknownChoiceText(def, given->second) + ". No rule database was created");
      }
      value = *choice;
    }
    rows.push_back({def.key, std::move(value)});
  }
  // The Header declares to browsers the encoding the pages are written in.
  const auto content = [&rows](SettingId id) -> std::string& {
    return std::find_if(rows.begin(), rows.end(),
                        [id](const SettingRow& r) { return r.id == settingDef(id).key; })
        ->content;
  };
  const std::string placeholder = "{charset}";
  std::string& header = content(SettingId::Header);
  header.replace(header.find(placeholder), placeholder.size(), content(SettingId::Encoding));
  return rows;
}

void createRuleDatabase(const std::string& path, NewDatabaseContents contents,
                        const std::vector<SettingRow>& settings) {
  if (::access(path.c_str(), F_OK) == 0) {
    throw LoomError(ErrorKind::Usage,
                    "\"" + path +
                        "\" already exists; a new rule database is never written over "
                        "an existing file");
  }
  // Build the file under a temporary name and link it into place, so that a
  // failure leaves no half-made database and a file that appeared meanwhile
  // is not overwritten.
  const std::string temp = path + ".creating-" + std::to_string(::getpid());
  struct Cleanup {
    const std::string& name;
    ~Cleanup() {
      ::unlink(name.c_str());
      ::unlink((name + "-journal").c_str());
    }
  } cleanup{temp};
  // The temporary name is ours; a message names the file the user gave.
  try {
    Database db(temp, Database::Mode::Create);
    Transaction transaction(db);
    db.exec(sql::kSchema);
    db.exec(sql::kSettings);
    if (contents == NewDatabaseContents::Bundled) db.exec(sql::kBundled);
    if (contents == NewDatabaseContents::OwnText) db.exec(sql::kOwnText);
    for (const SettingRow& row : settings) writeSettingRow(db, row.id, row.content);
    transaction.commit();
  } catch (const LoomError& e) {
    std::string message = e.what();
    for (std::size_t at; (at = message.find(temp)) != std::string::npos;) {
      message.replace(at, temp.size(), path);
    }
    throw LoomError(e.kind(), message);
  }
  if (::link(temp.c_str(), path.c_str()) != 0) {
    throw LoomError(errno == EEXIST ? ErrorKind::Usage : ErrorKind::Io,
                    "Cannot create the rule database \"" + path + "\": " + std::strerror(errno));
  }
}

}  // namespace loom
