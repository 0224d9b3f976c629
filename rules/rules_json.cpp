// SPDX-License-Identifier: MIT
#include "rules/rules_json.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <vector>

#include "base/error.h"
#include "base/file_system.h"
#include "base/text.h"
#include "base/utf8.h"
#include "rules/global_settings.h"
#include "rules/schema.h"
#include "rules/sqlite.h"

namespace loom {
namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kFormat = "loomwise-rules 1";

std::string selectSql(const TableDef& t) {
  std::string sql = "SELECT ";
  for (std::size_t i = 0; i < t.columns.size(); ++i) {
    sql += (i ? ", " : "") + quoteIdentifier(t.columns[i].name);
  }
  return sql + " FROM " + quoteIdentifier(t.name) + " ORDER BY rowid";
}

// Line (1-based) of each record of each table in `text`, found by a scan
// that knows JSON strings and nesting, so messages can name the line.
std::map<std::string, std::vector<std::size_t>> recordLines(std::string_view text) {
  std::map<std::string, std::vector<std::size_t>> lines;
  std::size_t line = 1;
  int depth = 0;
  bool inString = false;
  std::string lastString, currentTable;
  std::string current;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\n') ++line;
    if (inString) {
      if (c == '\\' && i + 1 < text.size()) {
        current += text[++i];
      } else if (c == '"') {
        inString = false;
        lastString = current;
      } else {
        current += c;
      }
      continue;
    }
    if (c == '"') {
      inString = true;
      current.clear();
    } else if (c == ':' && depth == 1) {
      currentTable = lastString;
    } else if (c == '{' || c == '[') {
      if (c == '{' && depth == 2) lines[currentTable].push_back(line);
      ++depth;
    } else if (c == '}' || c == ']') {
      --depth;
    }
  }
  return lines;
}

// Why a number cannot be stored as it is written, or "" when it can.
std::string numberProblem(const Json& value, ColumnKind kind) {
  if (value.is_number_unsigned() &&
      value.get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX)) {
    return "the number " + value.dump() + " is out of range (at most 9223372036854775807)";
  }
  if (value.is_number_float()) {
    const double d = value.get<double>();
    if (!std::isfinite(d)) return "the number is not finite";
    if (kind != ColumnKind::Text && (d != std::floor(d) || d < -9.2e18 || d > 9.2e18)) {
      return "needs a whole number, not " + value.dump();
    }
  }
  return "";
}

LoomError importError(const std::string& source, std::size_t line, const std::string& what) {
  return LoomError(ErrorKind::Usage, "\"" + source + "\", line " + std::to_string(line) + ": " +
                                         what + "; the rule database was not changed");
}

}  // namespace

std::string exportRulesText(const std::string& rulesPath) {
  Database db(rulesPath, Database::Mode::ReadOnly);
  Transaction snapshot(db, /*immediate=*/false);
  std::string out = "{\n\"format\": \"" + std::string(kFormat) + "\",\n";
  for (const TableDef& table : schema::kTables) {
    const std::string name(table.name);
    requireTable(db, table);
    db.requireRowOrder(table.name);
    Statement st = db.prepare(selectSql(table));
    out += "\"" + name + "\": [";
    std::size_t row = 0;
    while (st.step()) {
      ++row;
      Json record = Json::object();
      for (std::size_t c = 0; c < table.columns.size(); ++c) {
        const StoredValue v = st.value(static_cast<int>(c));
        const std::string column(table.columns[c].name);
        const std::string where =
            name + " row " + std::to_string(row) + ", column \"" + column + "\"";
        switch (v.type) {
          case ValueType::Null:
            record[column] = nullptr;
            break;
          case ValueType::Integer:
            record[column] = v.integer;
            break;
          case ValueType::Real:
            if (!std::isfinite(v.real)) {
              throw LoomError(ErrorKind::Rules, where +
                                                    ": holds a number that is not finite, which "
                                                    "a rules file cannot hold; store a finite one");
            }
            record[column] = v.real;
            break;
          case ValueType::Text:
            record[column] = v.text;
            break;
          case ValueType::Blob:
            // The run reads a blob of UTF-8 as its text; so does the export.
            if (firstInvalidUtf8(v.text) != std::string::npos) {
              throw LoomError(ErrorKind::Rules,
                              where +
                                  ": holds binary data that is not UTF-8 text, which has no "
                                  "text form");
            }
            record[column] = v.text;
        }
      }
      try {
        out += (row == 1 ? "\n" : ",\n") + record.dump();
      } catch (const Json::exception&) {
        throw LoomError(ErrorKind::Rules, name + " row " + std::to_string(row) +
                                              ": holds text that is not valid UTF-8");
      }
    }
    out += row ? "\n]" : "]";
    out += &table != &schema::kTables.back() ? ",\n" : "\n";
  }
  snapshot.commit();
  return out + "}\n";
}

void importRulesText(const std::string& rulesPath, std::string_view text,
                     const std::string& source) {
  Json doc;
  try {
    doc = Json::parse(text.begin(), text.end());
  } catch (const Json::parse_error& e) {
    std::size_t line = 1;
    for (std::size_t i = 0; i < e.byte && i < text.size(); ++i) line += text[i] == '\n';
    throw importError(source, line, "not valid JSON (" + std::string(e.what()) + ")");
  } catch (const Json::out_of_range& e) {
    // A number too large for any column ("1e400"); the library names it.
    const std::string what = e.what();
    const std::size_t open = what.find('\'');
    const std::size_t close = what.rfind('\'');
    const std::string number =
        open < close ? what.substr(open + 1, close - open - 1) : std::string("a number");
    const std::size_t at = text.find(number);
    const std::size_t line =
        at == std::string_view::npos
            ? 1
            : 1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + at, '\n'));
    throw importError(source, line, "the number " + number + " is out of range");
  }
  if (!doc.is_object() || !doc.contains("format") || doc["format"] != kFormat) {
    throw importError(
        source, 1,
        "not a Loomwise rules file (\"format\": \"" + std::string(kFormat) + "\" is missing)");
  }
  const auto lines = recordLines(text);
  auto lineOf = [&](const std::string& table, std::size_t index) -> std::size_t {
    const auto it = lines.find(table);
    return it != lines.end() && index < it->second.size() ? it->second[index] : 1;
  };
  // Check everything before touching the database.
  std::array<bool, kRequiredSettingKeys.size()> settings = {};
  for (const TableDef& table : schema::kTables) {
    const std::string name(table.name);
    if (!doc.contains(name) || !doc[name].is_array()) {
      throw importError(source, 1, "the table \"" + name + "\" is missing");
    }
    const Json& rows = doc[name];
    std::map<std::string, std::size_t> keys;  // key, letters folded as it compares -> record
    for (std::size_t r = 0; r < rows.size(); ++r) {
      const Json& record = rows[r];
      const std::size_t line = lineOf(name, r);
      const std::string what = name + " record " + std::to_string(r + 1);
      if (!record.is_object()) throw importError(source, line, what + " is not an object");
      for (const auto& [key, value] : record.items()) {
        const std::size_t column = table.indexOf(key);
        if (column == table.columns.size())
          throw importError(source, line, what + " has an unknown column \"" + key + "\"");
        if (!(value.is_null() || value.is_string() || value.is_number())) {
          throw importError(
              source, line,
              what + ", column \"" + key + "\": only text, numbers and null are allowed");
        }
        if (const std::string problem = numberProblem(value, table.columns[column].kind);
            !problem.empty()) {
          throw importError(source, line, what + ", column \"" + key + "\": " + problem);
        }
      }
      for (const ColumnDef& column : table.columns) {
        if (!record.contains(std::string(column.name))) {
          throw importError(source, line,
                            what + " has no column \"" + std::string(column.name) + "\"");
        }
      }
      const std::string key(table.key);
      if (table.keyIsRuleColumn() && record[key].is_string()) {
        // A key that occurs twice would make the import fail half-way.
        const auto [it, first] = keys.emplace(asciiLower(record[key].get<std::string>()), r + 1);
        if (!first) {
          throw importError(source, line,
                            what + ": the " + key + " \"" + record[key].get<std::string>() +
                                "\" occurs already in " + name + " record " +
                                std::to_string(it->second));
        }
      }
      if (table.name == schema::kGlobalDefs.name) {
        for (std::size_t k = 0; k < settings.size(); ++k) {
          settings[k] = settings[k] || record[key] == kRequiredSettingKeys[k];
        }
      }
    }
  }
  for (std::size_t k = 0; k < settings.size(); ++k) {
    if (!settings[k]) {
      throw importError(
          source, 1, std::string("GlobalDefs has no row for \"") + kRequiredSettingKeys[k] + "\"");
    }
  }

  Database db(rulesPath, Database::Mode::ReadWrite);
  Transaction transaction(db);
  for (const TableDef& table : schema::kTables) {
    requireTable(db, table);
    db.exec("DELETE FROM " + quoteIdentifier(table.name));
    Statement insert = db.prepare(insertSql(table));
    for (const Json& record : doc[std::string(table.name)]) {
      insert.reset();
      for (std::size_t c = 0; c < table.columns.size(); ++c) {
        const Json& v = record[std::string(table.columns[c].name)];
        const int index = static_cast<int>(c + 1);
        if (v.is_null()) {
          insert.bindNull(index);
        } else if (v.is_string()) {
          insert.bind(index, v.get_ref<const std::string&>());
        } else if (v.is_number_integer()) {
          insert.bind(index, v.get<std::int64_t>());
        } else {
          insert.bindReal(index, v.get<double>());
        }
      }
      insert.run();
    }
  }
  transaction.commit();
}

void exportRulesFile(const std::string& rulesPath, const std::string& file) {
  refuseTheRuleDatabase(rulesPath, file);
  writeNamedFile(file, exportRulesText(rulesPath));
}

void refuseTheRuleDatabase(const std::string& rulesPath, const std::string& file) {
  if (sameFile(rulesPath, file)) {
    throw LoomError(ErrorKind::Usage, "\"" + file + "\" is the rule database \"" + rulesPath +
                                          "\" itself; it is left as it is");
  }
  // SQLite keeps the changes it is making in these files beside the
  // database (its real file, links followed), and reads them back at the
  // next open: text written there would leave the database unreadable. They
  // may not exist yet.
  const auto split = [](const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return std::pair<std::string, std::string>(".", path);
    return std::pair(path.substr(0, slash + 1), path.substr(slash + 1));
  };
  std::error_code error;
  const std::string real = std::filesystem::canonical(rulesPath, error).string();
  const auto [dir, name] = split(file);
  for (const std::string& database : {rulesPath, error ? rulesPath : real}) {
    const auto [rulesDir, rulesName] = split(database);
    for (const std::string suffix : {"-journal", "-wal", "-shm"}) {
      if (sameFile(database + suffix, file) ||
          (name == rulesName + suffix && sameFile(dir, rulesDir))) {
        throw LoomError(ErrorKind::Usage, "\"" + file + "\" is the " + suffix.substr(1) +
                                              " file of the rule database \"" + rulesPath +
                                              "\", which SQLite reads back; choose another name");
      }
    }
  }
}

void importRulesFile(const std::string& rulesPath, const std::string& file) {
  const std::string text = readNamedFile(file);
  importRulesText(rulesPath, text, file);
}

}  // namespace loom
