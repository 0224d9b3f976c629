// SPDX-License-Identifier: MIT
#include "support/rule_db.h"

#include <algorithm>
#include <sstream>
#include <vector>

#include "rules/rule_database.h"
#include "rules/sqlite.h"

namespace loom::testing {
namespace {

void insert(const std::string& path, const std::string& sql,
            const std::vector<std::optional<std::string>>& cells) {
  Database db(path, Database::Mode::ReadWrite);
  Statement st = db.prepare(sql);
  for (std::size_t i = 0; i < cells.size(); ++i) st.bind(static_cast<int>(i + 1), cells[i]);
  st.run();
}

}  // namespace

RuleDb::RuleDb(std::string path) : path_(std::move(path)) {
  createRuleDatabase(path_, NewDatabaseContents::SettingsOnly);
}

RuleDb& RuleDb::rows(const std::string& lines) {
  std::istringstream in(lines);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::optional<std::string>> c;
    for (std::size_t at = 2, bar; at <= line.size(); at = bar + 1) {
      bar = std::min(line.find('|', at), line.size());
      const std::string cell = line.substr(at, bar - at);
      c.push_back(cell == "~" ? std::nullopt : std::optional(cell));
    }
    if (line[0] == 'X') exec(line.substr(2));
    if (line[0] == 'S') setting(*c[0], c[1]);
    if (line[0] == 'T')
      insert(path_,
             "INSERT INTO FileTypes (Identifier, Description, \"Title Line\", \"End of Line\", "
             "BeginSection, EndSection, GroupID) VALUES (?1, 'test', ?2, '<P>', ?3, ?4, ?5)",
             c);
    if (line[0] == 'G')
      insert(path_, "INSERT INTO Groups (GroupID, Header, Footer) VALUES (?1, ?2, ?3)", c);
    if (line[0] != 'C') continue;
    const char* const defaults[] = {" ", " ", "1"};
    c.resize(std::max<std::size_t>(c.size(), 4));
    while (c.size() < 7) c.push_back(defaults[c.size() - 4]);
    insert(path_,
           "INSERT INTO Constraints (FileType, Type, \"Search String\", \"Replace String\", "
           "RFirst, RLast, CaseSensitive) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)",
           c);
  }
  return *this;
}

RuleDb& RuleDb::setting(const std::string& id, const std::optional<std::string>& content) {
  insert(path_,
         "INSERT INTO GlobalDefs (ID, Content) VALUES (?1, ?2) "
         "ON CONFLICT(ID) DO UPDATE SET Content = excluded.Content",
         {id, content});
  return *this;
}

RuleDb& RuleDb::exec(const std::string& sql) {
  Database(path_, Database::Mode::ReadWrite).exec(sql);
  return *this;
}

std::string errorOf(const std::function<void()>& action, ErrorKind kind) {
  try {
    action();
  } catch (const LoomError& e) {
    EXPECT_EQ(e.kind(), kind) << e.what();
    return e.what();
  }
  ADD_FAILURE() << "no error";
  return "";
}

std::optional<std::string> RuleDb::content(const std::string& id) const {
  Database db(path_, Database::Mode::ReadOnly);
  Statement st = db.prepare("SELECT Content FROM GlobalDefs WHERE ID = ?1 ORDER BY rowid LIMIT 1");
  st.bind(1, id);
  return st.step() ? st.text(0) : std::nullopt;
}

}  // namespace loom::testing
