#include "rules/global_settings.h"

#include <array>
#include <utility>

#include "base/error.h"
#include "base/text.h"

namespace loom {
namespace {

bool sameKey(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto low = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (low(a[i]) != low(b[i])) return false;
  }
  return true;
}

const SettingRecord* findSetting(const RuleTables& tables, const std::string& key) {
  for (const SettingRecord& r : tables.globalDefs) {
    if (r.id && sameKey(*r.id, key)) return &r;
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

std::optional<bool> yesNoByName(std::string_view text) {
  const std::string t(trimSpaces(text));
  if (sameKey(t, "yes")) return true;
  if (sameKey(t, "no")) return false;
  return std::nullopt;
}

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
  s.encoding = settingFrom(tables, kEncodingKey, rulesPath, /*optional=*/true);
  s.lineEnds = settingFrom(tables, kLineEndsKey, rulesPath, /*optional=*/true);
  s.escapeText = settingFrom(tables, kEscapeTextKey, rulesPath, /*optional=*/true);
  return s;
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
  if (settings.encoding) rows.emplace_back(kEncodingKey, &*settings.encoding);
  if (settings.lineEnds) rows.emplace_back(kLineEndsKey, &*settings.lineEnds);
  if (settings.escapeText) rows.emplace_back(kEscapeTextKey, &*settings.escapeText);

  Database db(rulesPath, Database::Mode::ReadWrite);
  if (!db.hasTable("GlobalDefs")) {
    throw LoomError(ErrorKind::Rules,
                    "Rule database \"" + rulesPath + "\" has no table GlobalDefs");
  }
  Transaction transaction(db);
  Statement update = db.prepare(
      "UPDATE GlobalDefs SET Content = ?2 WHERE rowid = "
      "(SELECT rowid FROM GlobalDefs WHERE ID = ?1 COLLATE NOCASE ORDER BY rowid LIMIT 1)");
  Statement insert = db.prepare("INSERT INTO GlobalDefs (ID, Content) VALUES (?1, ?2)");
  for (const auto& [key, value] : rows) {
    const std::string_view trimmed = trimSpaces(*value);
    update.reset();
    update.bind(1, std::string_view(key)).bind(2, trimmed).run();
    if (sqlite3_changes(db.handle()) == 0) {
      insert.reset();
      insert.bind(1, std::string_view(key)).bind(2, trimmed).run();
    }
  }
  transaction.commit();
}

}  // namespace loom
