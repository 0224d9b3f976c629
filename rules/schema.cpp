// SPDX-License-Identifier: MIT
#include "rules/schema.h"

#include <string>

#include "base/error.h"
#include "rules/sqlite.h"

namespace loom {

std::string insertSql(const TableDef& table) {
  std::string sql = "INSERT INTO " + quoteIdentifier(table.name) + " (";
  std::string values;
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    sql += (i ? ", " : "") + quoteIdentifier(table.columns[i].name);
    values += (i ? ", ?" : "?") + std::to_string(i + 1);
  }
  return sql + ") VALUES (" + values + ")";
}

void requireTable(Database& db, const TableDef& table) {
  if (!db.hasTable(table.name)) {
    throw LoomError(ErrorKind::Rules,
                    "Rule database \"" + db.path() + "\" has no table " + std::string(table.name));
  }
}

}  // namespace loom
