#include "rules/rule_tables.h"

#include <initializer_list>

#include "base/error.h"

namespace loom {
namespace {

// Builds "SELECT rowid, <columns> FROM <table> ORDER BY rowid" after checking
// that each column is there, so a hand-edited file gets a message naming the
// missing table or column rather than an engine code.
Statement selectAll(Database& db, const char* table, std::initializer_list<const char*> columns) {
  if (!db.hasTable(table)) {
    throw LoomError(ErrorKind::Rules,
                    "Rule database \"" + db.path() + "\" has no table " + table + "");
  }
  db.requireRowOrder(table);
  std::string sql = "SELECT rowid";
  for (const char* column : columns) {
    if (!db.hasColumn(table, column)) {
      throw LoomError(ErrorKind::Rules, "Rule database \"" + db.path() + "\": table " + table +
                                            " has no column \"" + column + "\"");
    }
    sql += ", " + quoteIdentifier(column);
  }
  sql += " FROM " + quoteIdentifier(table) + " ORDER BY rowid";
  return db.prepare(sql);
}

}  // namespace

RuleTables readRuleTables(Database& db) {
  RuleTables tables;
  Transaction snapshot(db, /*immediate=*/false);
  {
    Statement st = selectAll(db, "FileTypes",
                             {"Identifier", "Description", "Title Line", "End of Line",
                              "BeginSection", "EndSection", "GroupID"});
    while (st.step()) {
      FileTypeRecord r;
      r.rowId = st.value(0).integer;
      r.identifier = st.text(1);
      r.description = st.text(2);
      r.titleLine = st.value(3);
      r.endOfLine = st.text(4);
      r.beginSection = st.text(5);
      r.endSection = st.text(6);
      r.groupId = st.text(7);
      tables.fileTypes.push_back(std::move(r));
    }
  }
  {
    Statement st = selectAll(db, "Groups", {"GroupID", "Header", "Footer"});
    while (st.step()) {
      tables.groups.push_back({st.value(0).integer, st.text(1), st.text(2), st.text(3)});
    }
  }
  {
    Statement st = selectAll(db, "Constraints",
                             {"FileType", "Type", "Search String", "Replace String", "RFirst",
                              "RLast", "CaseSensitive"});
    while (st.step()) {
      StoredConstraint r;
      r.rowId = st.value(0).integer;
      r.position = tables.constraints.size() + 1;
      r.fileType = st.text(1);
      r.type = st.value(2);
      r.searchString = st.text(3);
      r.replaceString = st.text(4);
      r.rFirst = st.text(5);
      r.rLast = st.text(6);
      r.caseSensitive = st.value(7);
      tables.constraints.push_back(std::move(r));
    }
  }
  {
    Statement st = selectAll(db, "GlobalDefs", {"ID", "Content"});
    while (st.step()) tables.globalDefs.push_back({st.text(1), st.text(2)});
  }
  snapshot.commit();
  return tables;
}

RuleTables readRuleTables(const std::string& path) {
  Database db(path, Database::Mode::ReadOnly);
  return readRuleTables(db);
}

}  // namespace loom
