#include "support/rule_db.h"

#include "rules/rule_database.h"
#include "rules/sqlite.h"

namespace loom::testing {

RuleDb::RuleDb(std::string path) : path_(std::move(path)) {
  createRuleDatabase(path_, NewDatabaseContents::SettingsOnly);
}

RuleDb& RuleDb::fileType(const Cell& identifier, const Cell& titleLine, const Cell& beginSection,
                         const Cell& endSection, const Cell& groupId) {
  Database db(path_, Database::Mode::ReadWrite);
  db.prepare(
        "INSERT INTO FileTypes (Identifier, Description, \"Title Line\", \"End of Line\", "
        "BeginSection, EndSection, GroupID) VALUES (?1, 'test', ?2, '<P>', ?3, ?4, ?5)")
      .bind(1, identifier)
      .bind(2, titleLine)
      .bind(3, beginSection)
      .bind(4, endSection)
      .bind(5, groupId)
      .run();
  return *this;
}

RuleDb& RuleDb::group(const Cell& groupId, const Cell& header, const Cell& footer) {
  Database db(path_, Database::Mode::ReadWrite);
  db.prepare("INSERT INTO Groups (GroupID, Header, Footer) VALUES (?1, ?2, ?3)")
      .bind(1, groupId)
      .bind(2, header)
      .bind(3, footer)
      .run();
  return *this;
}

RuleDb& RuleDb::constraint(const Cell& fileType, const Cell& type, const Cell& search,
                           const Cell& replace, const Cell& rFirst, const Cell& rLast,
                           const Cell& caseSensitive) {
  Database db(path_, Database::Mode::ReadWrite);
  db.prepare(
        "INSERT INTO Constraints (FileType, Type, \"Search String\", \"Replace String\", RFirst, "
        "RLast, CaseSensitive) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)")
      .bind(1, fileType)
      .bind(2, type)
      .bind(3, search)
      .bind(4, replace)
      .bind(5, rFirst)
      .bind(6, rLast)
      .bind(7, caseSensitive)
      .run();
  return *this;
}

RuleDb& RuleDb::setting(const std::string& id, const Cell& content) {
  Database db(path_, Database::Mode::ReadWrite);
  db.prepare(
        "INSERT INTO GlobalDefs (ID, Content) VALUES (?1, ?2) "
        "ON CONFLICT(ID) DO UPDATE SET Content = excluded.Content")
      .bind(1, id)
      .bind(2, content)
      .run();
  return *this;
}

RuleDb& RuleDb::exec(const std::string& sql) {
  Database db(path_, Database::Mode::ReadWrite);
  db.exec(sql);
  return *this;
}

Cell RuleDb::content(const std::string& id) const {
  Database db(path_, Database::Mode::ReadOnly);
  Statement st = db.prepare("SELECT Content FROM GlobalDefs WHERE ID = ?1 ORDER BY rowid LIMIT 1");
  st.bind(1, id);
  if (!st.step()) return kNull;
  return st.text(0);
}

}  // namespace loom::testing
