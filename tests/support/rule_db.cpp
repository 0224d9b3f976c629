#include "support/rule_db.h"

#include <algorithm>
#include <sstream>

#include "rules/rule_database.h"
#include "rules/sqlite.h"

namespace loom::testing {

RuleDb::RuleDb(std::string path) : path_(std::move(path)) {
  createRuleDatabase(path_, NewDatabaseContents::SettingsOnly);
}

RuleDb& RuleDb::insert(const std::string& sql, const std::vector<Cell>& cells) {
  Database db(path_, Database::Mode::ReadWrite);
  Statement st = db.prepare(sql);
  for (std::size_t i = 0; i < cells.size(); ++i) st.bind(static_cast<int>(i + 1), cells[i]);
  st.run();
  return *this;
}

RuleDb& RuleDb::fileType(const Cell& identifier, const Cell& titleLine, const Cell& beginSection,
                         const Cell& endSection, const Cell& groupId) {
  return insert(
      "INSERT INTO FileTypes (Identifier, Description, \"Title Line\", \"End of Line\", "
      "BeginSection, EndSection, GroupID) VALUES (?1, 'test', ?2, '<P>', ?3, ?4, ?5)",
      {identifier, titleLine, beginSection, endSection, groupId});
}

RuleDb& RuleDb::group(const Cell& groupId, const Cell& header, const Cell& footer) {
  return insert("INSERT INTO Groups (GroupID, Header, Footer) VALUES (?1, ?2, ?3)",
                {groupId, header, footer});
}

RuleDb& RuleDb::constraint(const Cell& fileType, const Cell& type, const Cell& search,
                           const Cell& replace, const Cell& rFirst, const Cell& rLast,
                           const Cell& caseSensitive) {
  return insert(
      "INSERT INTO Constraints (FileType, Type, \"Search String\", \"Replace String\", RFirst, "
      "RLast, CaseSensitive) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)",
      {fileType, type, search, replace, rFirst, rLast, caseSensitive});
}

RuleDb& RuleDb::setting(const std::string& id, const Cell& content) {
  return insert(
      "INSERT INTO GlobalDefs (ID, Content) VALUES (?1, ?2) "
      "ON CONFLICT(ID) DO UPDATE SET Content = excluded.Content",
      {id, content});
}

RuleDb& RuleDb::rows(const std::string& lines) {
  std::istringstream in(lines);
  for (std::string line; std::getline(in, line);) {
    std::vector<Cell> c;
    for (std::size_t at = 2, bar; at <= line.size(); at = bar + 1) {
      bar = std::min(line.find('|', at), line.size());
      const std::string cell = line.substr(at, bar - at);
      c.push_back(cell == "~" ? kNull : Cell(cell));
    }
    const std::size_t n = c.size();
    c.resize(7, kNull);
    switch (line[0]) {
      case 'T':
        fileType(c[0], c[1], c[2], c[3], c[4]);
        break;
      case 'G':
        group(c[0], c[1], c[2]);
        break;
      case 'C':
        constraint(c[0], c[1], c[2], c[3], n > 4 ? c[4] : " ", n > 5 ? c[5] : " ",
                   n > 6 ? c[6] : "1");
        break;
      case 'S':
        setting(*c[0], c[1]);
        break;
      case 'X':
        exec(line.substr(2));
        break;
    }
  }
  return *this;
}

RuleDb& RuleDb::exec(const std::string& sql) {
  Database(path_, Database::Mode::ReadWrite).exec(sql);
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
