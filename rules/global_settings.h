// SPDX-License-Identifier: MIT
#pragma once
// The global settings: four rows of GlobalDefs every database needs, and
// the optional ones of the settings table. Texts here are UTF-8 as stored.

#include <array>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "rules/rule_tables.h"
#include "rules/settings_table.h"

namespace loom {

inline constexpr const char* kEndOfLineKey = "EndofLine";
inline constexpr const char* kHeaderKey = "Header";
inline constexpr const char* kFooterKey = "Footer";
inline constexpr const char* kIndexPageNameKey = "IndexPageName";
// The rows every rule database needs.
inline constexpr std::array<const char*, 4> kRequiredSettingKeys = {kEndOfLineKey, kHeaderKey,
                                                                    kFooterKey, kIndexPageNameKey};

struct GlobalSettings {
  std::string endOfLineTag = "<P>";
  std::string header = "<HTML><BODY>";
  std::string footer = "</BODY></HTML>";
  std::string indexPageName = "index.html";
  // The optional rows the database holds, as stored. A setting without a row
  // means what the settings table says, which keeps the behaviour stored
  // databases were written for (Windows-1252, lines end at CR LF or CR,
  // source text copied as it is, short page names, lines trimmed).
  std::map<SettingId, std::string> optional;

  std::optional<std::string> value(SettingId id) const {
    const auto it = optional.find(id);
    if (it == optional.end()) return std::nullopt;
    return it->second;
  }
};

// Reads the settings rows, keys compared without regard to case. A missing
// row or a NULL Content is a LoomError (Rules) such as
//   GlobalDefs has no row for "Header"
//   GlobalDefs row "Header": Content is empty (NULL)
GlobalSettings LoadGlobalSettings(const std::string& rulesPath);
GlobalSettings globalSettingsFrom(const RuleTables& tables, const std::string& rulesPath);
// One setting's Content; throws as above. `optional` settings give nothing
// when their row is missing.
std::optional<std::string> settingFrom(const RuleTables& tables, const std::string& key,
                                       const std::string& rulesPath, bool optional = false);

// Sets the Content of the GlobalDefs row `id` (the first, ID compared
// without regard to case), adding the row when there is none. Part of the
// caller's transaction.
void writeSettingRow(Database& db, std::string_view id, std::string_view content);

// Writes the settings back as the Setup window does on closing: each value
// with leading and trailing spaces removed (tabs and line breaks stay), all
// rows in one transaction, so a failure writes nothing and is thrown to the
// caller. A missing row is created. An optional setting without a value
// in `optional` loses its rows, so the run takes its default; no other row
// is ever touched.
void SaveGlobalSettings(const std::string& rulesPath, const GlobalSettings& settings);

}  // namespace loom
