// SPDX-License-Identifier: MIT
#include "rules/global_settings.h"

#include <array>
#include <utility>

#include "base/error.h"
#include "base/text.h"
#include "rules/schema.h"

namespace loom {
namespace {

const SettingRecord* findSetting(const RuleTables& tables, const std::string& key) {
  for (const SettingRecord& r : tables.globalDefs) {
    if (r.id && equalsIgnoringAsciiCase(*r.id, key)) return &r;
  }
  return nullptr;
}

std::string requiredSetting(const RuleTables& tables, const std::string& key,
                            const std::string& rulesPath) {
  const SettingRecord* r = findSetting(tables, key);
  if (r == nullptr) {
    throw LoomError(ErrorKind::Rules, "GlobalDefs has no row for \"" + key +
                                          "\" (rule database \"" + rulesPath + "\")");
  }
  if (!r->content) {
    throw LoomError(ErrorKind::Rules, "GlobalDefs row \"" + key +
                                          "\": Content is empty (NULL) (rule database \"" +
                                          rulesPath + "\")");
  }
  return *r->content;
}

}  // namespace

std::optional<std::string> settingFrom(const RuleTables& tables, const std::string& key,
                                       const std::string& rulesPath, bool optional) {
  if (optional && findSetting(tables, key) == nullptr) return std::nullopt;
  return requiredSetting(tables, key, rulesPath);
}

GlobalSettings globalSettingsFrom(const RuleTables& tables, const std::string& rulesPath) {
  GlobalSettings s;
  s.endOfLineTag = requiredSetting(tables, kEndOfLineKey, rulesPath);
  s.header = requiredSetting(tables, kHeaderKey, rulesPath);
  s.footer = requiredSetting(tables, kFooterKey, rulesPath);
  s.indexPageName = requiredSetting(tables, kIndexPageNameKey, rulesPath);
  for (const SettingDef& def : settingTable()) {
    if (isRequired(def)) continue;
    if (auto value = settingFrom(tables, def.key, rulesPath, /*optional=*/true)) {
      s.optional[def.id] = std::move(*value);
    }
  }
  return s;
}

void writeSettingRow(Database& db, std::string_view id, std::string_view content) {
  db.prepare(
        "UPDATE GlobalDefs SET Content = ?2 WHERE rowid = "
        "(SELECT rowid FROM GlobalDefs WHERE ID = ?1 COLLATE NOCASE ORDER BY rowid LIMIT 1)")
      .bind(1, id)
      .bind(2, content)
      .run();
  if (db.changes() == 0) {
    db.prepare("INSERT INTO GlobalDefs (ID, Content) VALUES (?1, ?2)")
        .bind(1, id)
        .bind(2, content)
        .run();
  }
}

GlobalSettings LoadGlobalSettings(const std::string& rulesPath) {
  return globalSettingsFrom(readRuleTables(rulesPath), rulesPath);
}

void SaveGlobalSettings(const std::string& rulesPath, const GlobalSettings& settings) {
  std::vector<std::pair<const char*, const std::string*>> rows = {
      {kEndOfLineKey, &settings.endOfLineTag},
      {kHeaderKey, &settings.header},
      {kFooterKey, &settings.footer},
      {kIndexPageNameKey, &settings.indexPageName}};
  for (const auto& [id, value] : settings.optional) rows.emplace_back(settingDef(id).key, &value);

  Database db(rulesPath, Database::Mode::ReadWrite);
  requireTable(db, schema::kGlobalDefs);
  Transaction transaction(db);
  for (const auto& [key, value] : rows) writeSettingRow(db, key, trimSpaces(*value));
  for (const SettingDef& def : settingTable()) {
    if (isRequired(def) || settings.optional.contains(def.id)) continue;
    db.prepare("DELETE FROM GlobalDefs WHERE ID = ?1 COLLATE NOCASE").bind(1, def.key).run();
  }
  transaction.commit();
}

}  // namespace loom
