// SPDX-License-Identifier: MIT
#include "rules/rule_tables.h"

#include <algorithm>

#include "base/error.h"
#include "base/text.h"
#include "rules/schema.h"

namespace loom {
namespace {

// A row's values looked up by column.
struct Row {
  const TableDef& table;
  RowValues values;
  const StoredValue& value(const ColumnDef& column) const {
    return values[table.indexOf(column.name)];
  }
  Text text(const ColumnDef& column) const { return value(column).asText(); }
};

// Builds "SELECT rowid, <columns> FROM <table> ORDER BY rowid". When the
// database cannot run it, the table and its columns are looked at, so that a
// hand-edited file gets a message naming the missing table or column rather
// than an engine code; a file as made needs no look.
Statement selectAll(Database& db, const TableDef& table) {
  std::string sql = "SELECT rowid";
  for (const ColumnDef& column : table.columns) sql += ", " + quoteIdentifier(column.name);
  sql += " FROM " + quoteIdentifier(table.name) + " ORDER BY rowid";
  try {
    return db.prepare(sql);
  } catch (const LoomError&) {
    requireTable(db, table);
    db.requireRowOrder(table.name);
    const std::vector<std::string> stored = db.columnNames(table.name);
    for (const ColumnDef& column : table.columns) {
      // SQLite matches column names without regard to ASCII case.
      const auto same = [&column](const std::string& name) {
        return equalsIgnoringAsciiCase(name, column.name);
      };
      if (std::none_of(stored.begin(), stored.end(), same)) {
        throw LoomError(ErrorKind::Rules, "Rule database \"" + db.path() + "\": table " +
                                              std::string(table.name) + " has no column \"" +
                                              std::string(column.name) + "\"");
      }
    }
    throw;
  }
}

// Calls `each(rowId, values)` for every row of `table` in stored order.
template <class Each>
void readRows(Database& db, const TableDef& table, Each each) {
  Statement st = selectAll(db, table);
  std::vector<StoredValue> values(table.columns.size());
  while (st.step()) {
    for (std::size_t c = 0; c < values.size(); ++c) values[c] = st.value(static_cast<int>(c + 1));
    each(st.value(0).integer, RowValues(values));
  }
}

}  // namespace

FileTypeRecord fileTypeFrom(RowValues values) {
  using namespace schema;
  const Row row{kFileTypes, values};
  FileTypeRecord r;
  r.identifier = row.text(kIdentifier);
  r.description = row.text(kDescription);
  r.titleLine = row.value(kTitleLine);
  r.endOfLine = row.text(kEndOfLine);
  r.beginSection = row.text(kBeginSection);
  r.endSection = row.text(kEndSection);
  r.groupId = row.text(kGroupId);
  return r;
}

GroupRecord groupFrom(RowValues values) {
  using namespace schema;
  const Row row{kGroups, values};
  return {0, row.text(kGroupId), row.text(kHeader), row.text(kFooter)};
}

StoredConstraint constraintFrom(RowValues values, std::size_t position) {
  using namespace schema;
  const Row row{kConstraints, values};
  StoredConstraint r;
  r.position = position;
  r.fileType = row.text(kFileType);
  r.type = row.value(kType);
  r.searchString = row.text(kSearchString);
  r.replaceString = row.text(kReplaceString);
  r.rFirst = row.text(kRFirst);
  r.rLast = row.text(kRLast);
  r.caseSensitive = row.value(kCaseSensitive);
  return r;
}

RuleTables readRuleTables(Database& db) {
  RuleTables tables;
  Transaction snapshot(db, /*immediate=*/false);
  readRows(db, schema::kFileTypes, [&](std::int64_t rowId, RowValues values) {
    tables.fileTypes.push_back(fileTypeFrom(values));
    tables.fileTypes.back().rowId = rowId;
  });
  readRows(db, schema::kGroups, [&](std::int64_t rowId, RowValues values) {
    tables.groups.push_back(groupFrom(values));
    tables.groups.back().rowId = rowId;
  });
  readRows(db, schema::kConstraints, [&](std::int64_t rowId, RowValues values) {
    tables.constraints.push_back(constraintFrom(values, tables.constraints.size() + 1));
    tables.constraints.back().rowId = rowId;
  });
  readRows(db, schema::kGlobalDefs, [&](std::int64_t, RowValues values) {
    const Row row{schema::kGlobalDefs, values};
    tables.globalDefs.push_back({row.text(schema::kId), row.text(schema::kContent)});
  });
  snapshot.commit();
  return tables;
}

RuleTables readRuleTables(const std::string& path) {
  Database db(path, Database::Mode::ReadOnly);
  return readRuleTables(db);
}

}  // namespace loom
