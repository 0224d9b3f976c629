// SPDX-License-Identifier: MIT
// The rule database file: where it lives, how rows are read, and what the front ends write back.

#include "rules/rule_database.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "app/constraint_form_fields.h"
#include "base/error.h"
#include "convert/constraint_kind.h"
#include "rules/constraint_draft.h"
#include "rules/global_settings.h"
#include "rules/rule_tables.h"
#include "rules/rules_location.h"
#include "rules/schema.h"
#include "rules/sqlite.h"
#include "support/memory_file_system.h"
#include "support/rule_db.h"
#include "support/temp_dir.h"

namespace loom {
namespace {

using testing::contains;
using testing::errorOf;
using testing::RuleDb;
using testing::TempDir;

TEST(RuleDatabaseFile, BesideAWritableProgramElseTheUsersOwnCopy) {
  EXPECT_EQ(defaultRulesPath(), programDirectory() + "/loomwise.mdb");
  const std::string tail = "loomwise/loomwise.mdb", mine = "/home/u/.local/share/" + tail;
  const std::string shared = "/usr/share/loomwise/loomwise.mdb", bin = "/usr/bin/loomwise.mdb";
  const struct {
    bool binWritable;
    std::vector<std::string> files;
    std::string dataHome;
    std::optional<std::string> option;
    RulesChoice want;  // createFrom is checked for UserData only
  } rows[] = {
      {true, {bin}, "", {}, {bin, RulesSource::BesideProgram, false, ""}},     // a build tree
      {false, {shared}, "", {}, {mine, RulesSource::UserData, true, shared}},  // a package
      {false, {shared, mine}, "", {}, {mine, RulesSource::UserData, false, shared}},
      {true, {shared}, "", {}, {mine, RulesSource::UserData, true, shared}},  // run by root
      {false, {bin, shared}, "", {}, {mine, RulesSource::UserData, true, bin}},
      {false, {}, "", {}, {mine, RulesSource::UserData, true, ""}},  // the built-in rules
      {false, {shared}, "/data/", {}, {"/data/" + tail, RulesSource::UserData, true, shared}},
  };
  for (const auto& r : rows) {
    testing::MemoryFileSystem fs;
    fs.addDirectory("/usr/bin", r.binWritable);
    for (const char* dir : {"/usr/share/loomwise", "/home/u/.local/share/loomwise"})
      fs.addDirectory(dir, false);
    for (const std::string& file : r.files) fs.addFile(file, "rules");
    const RulesChoice got = chooseRules(r.option, {"/usr/bin", r.dataHome, "/home/u"}, fs);
    EXPECT_EQ(std::tie(got.path, got.source, got.toCreate),
              std::tie(r.want.path, r.want.source, r.want.toCreate));
    EXPECT_TRUE(r.want.source != RulesSource::UserData || got.createFrom == r.want.createFrom)
        << got.createFrom;
  }
  EXPECT_EQ(describeRules({"/r.mdb", RulesSource::Option, false, ""}),
            "Rule database: /r.mdb (given with --rules)");
  EXPECT_TRUE(contains(describeRules({mine, RulesSource::UserData, true, ""}),
                       "your own copy, made for text of this platform as --new-rules does"));
  EXPECT_TRUE(contains(describeRules({mine, RulesSource::UserData, true, shared}),
                       "made from the bundled rules " + shared));
  testing::MemoryFileSystem fs;
  const std::string noHome = errorOf([&] { chooseRules({}, {"/usr/bin", "", ""}, fs); });
  EXPECT_TRUE(contains(noHome, "--rules FILE")) << noHome;
}

TEST(RuleDatabaseFile, TheUsersCopyIsMadeOnceAndNeverOverwrittenWrongFilesSayWhatTheyAre) {
  TempDir dir;
  const std::string bundled = dir / "bundled.mdb";
  createRuleDatabase(bundled, NewDatabaseContents::Bundled);
  const std::string bundledBytes = testing::readFile(bundled);
  for (const auto& [path, before] : {std::pair{dir / "a/b/loomwise/loomwise.mdb", std::string()},
                                     std::pair{dir / "c.mdb", std::string("my rules")}}) {
    if (!before.empty()) testing::writeFile(path, before);
    for (int start = 0; start < 2; ++start) {
      prepareRules({path, RulesSource::UserData, before.empty(), bundled});
      EXPECT_EQ(testing::readFile(path), before.empty() ? bundledBytes : before) << path;
    }
  }
  EXPECT_EQ(std::filesystem::status(dir / "a/b").permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_all);
  // Without a bundled file the copy is made as --new-rules makes one.
  prepareRules({dir / "d/loomwise.mdb", RulesSource::UserData, true, ""});
  const RuleTables made = readRuleTables(dir / "d/loomwise.mdb");
  ASSERT_EQ(made.fileTypes.size(), 1u);
  EXPECT_EQ(made.fileTypes[0].identifier, "GEN");
  EXPECT_EQ(made.globalDefs.size(), settingTable().size());
  const std::string lost = dir / "e/loomwise.mdb";
  const std::string message = errorOf([&] {
    prepareRules({lost, RulesSource::UserData, true, dir / "gone.mdb"});
  });
  EXPECT_TRUE(contains(message, lost) && contains(message, dir / "gone.mdb")) << message;
  EXPECT_TRUE(std::filesystem::is_empty(dir / "e"));
  std::string access(2048, '\0');
  access.replace(0, 19, std::string("\0\x01\0\0Standard Jet DB", 19));
  const auto file = [&](const std::string& bytes) {
    const std::string path = dir / ("f" + std::to_string(bytes.size()) + ".mdb");
    testing::writeFile(path, bytes);
    return path;
  };
  const std::pair<std::string, std::string> rows[] = {
      {file("just some text\n"), "is not a Loomwise rule database (not an SQLite 3 file"},
      {file(access), "Microsoft Access (Jet) database"},
      {file(""), "is empty"},
      {file(std::string("SQLite format 3\0", 16) + std::string(4000, '\x7F')),
       "damaged or is not a rule database"},
      {dir.path(), "\": is a directory"},
      {RuleDb(dir / "a.mdb").exec("DROP TABLE Groups").path(), "\" has no table Groups"},
      {RuleDb(dir / "b.mdb").exec("ALTER TABLE FileTypes DROP COLUMN GroupID").path(),
       "\": table FileTypes has no column \"GroupID\""},
  };
  for (const auto& [path, says] : rows) {
    const std::string message = errorOf([&] { readRuleTables(path); });
    EXPECT_TRUE(contains(message, says) && contains(message, "Rule database \"" + path + "\""))
        << message;
  }
}

// What data/schema.sql makes is the layout rules/schema.h describes, in order, types and keys.
TEST(RuleTables, ANewDatabaseHasTheDescribedLayout) {
  TempDir dir;
  RuleDb db(dir / "rules.mdb");
  Database handle(db.path(), Database::Mode::ReadOnly);
  std::vector<std::string> made, described;
  Statement tables = handle.prepare(
      "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite%' "
      "ORDER BY rowid");
  while (tables.step()) {
    Statement columns = handle.prepare("SELECT name, type, pk FROM pragma_table_info(?1)");
    columns.bind(1, *tables.text(0));
    while (columns.step())
      made.push_back(*tables.text(0) + "." + *columns.text(0) + " " + *columns.text(1) +
                     (columns.value(2).integer ? " key" : ""));
  }
  for (const TableDef& table : schema::kTables) {
    const std::string name(table.name), key(table.key);
    if (!table.keyIsRuleColumn()) described.push_back(name + "." + key + " INTEGER key");
    for (const ColumnDef& c : table.columns)
      described.push_back(name + "." + std::string(c.name) +
                          (c.kind == ColumnKind::Text ? " TEXT" : " INTEGER") +
                          (c.name == table.key ? " key" : ""));
  }
  EXPECT_EQ(made, described);
}

TEST(RuleTables, NamesIgnoreCaseStoredOrderStaysAndNullIsNotTheEmptyText) {
  TempDir dir;
  Database(dir / "lower.mdb", Database::Mode::Create)
      .exec(
          "CREATE TABLE filetypes (identifier TEXT, description TEXT, \"TITLE LINE\" INTEGER, "
          "\"end of line\" TEXT, beginsection TEXT, endsection TEXT, groupid TEXT);"
          "CREATE TABLE GROUPS (groupid TEXT, header TEXT, footer TEXT);"
          "CREATE TABLE constraints (filetype TEXT, type INTEGER, \"search string\" TEXT, "
          "\"replace string\" TEXT, rfirst TEXT, rlast TEXT, casesensitive INTEGER);"
          "CREATE TABLE globaldefs (id TEXT, content TEXT);"
          "INSERT INTO filetypes VALUES ('txt', '', 1, '', 'B', 'E', 'doc');"
          "INSERT INTO constraints VALUES ('TXT', 3, '*', '*', '<B>', '</B>', 1);");
  const RuleTables lower = readRuleTables(dir / "lower.mdb");
  ASSERT_EQ(lower.fileTypes.size() + lower.constraints.size(), 2u);
  EXPECT_EQ(*lower.fileTypes[0].identifier + *lower.fileTypes[0].endSection, "txtE");
  EXPECT_EQ(lower.fileTypes[0].titleLine.asInteger(), 1);
  EXPECT_EQ(*lower.constraints[0].rFirst + *lower.constraints[0].rLast, "<B></B>");
  RuleDb db(dir / "rules.mdb");
  db.rows("C|GEN|1|one|x\nC|GEN|1|two|x\nC|GEN|1|three|x\nC|GEN|1|four|x");
  db.exec("DELETE FROM Constraints WHERE \"Search String\" IN ('two', 'four')");
  db.rows("C|GEN|1|five|x\nC|GEN|1|six|x\nC|GEN|~||~||~|~\nT|TXT|1||~|");
  db.exec("UPDATE Constraints SET \"Search String\" = 'ONE' WHERE \"Search String\" = 'one'");
  const RuleTables tables = readRuleTables(db.path());
  std::string order;
  for (const StoredConstraint& r : tables.constraints)
    order += r.searchString.value_or("?") + std::to_string(r.position) + " ";
  EXPECT_EQ(order, "ONE1 three2 five3 six4 5 ");
  const auto cell = [](const Text& t) { return t.value_or("~") + "|"; };
  const FileTypeRecord& t = tables.fileTypes.at(0);
  const StoredConstraint& c = tables.constraints.back();
  EXPECT_EQ(cell(t.beginSection) + cell(t.endSection), "|~|");
  EXPECT_TRUE(c.type.isNull() && c.caseSensitive.isNull());
  EXPECT_EQ(cell(c.searchString) + cell(c.replaceString) + cell(c.rFirst) + cell(c.rLast),
            "|~||~|");
  for (const auto& [rows, says] :
       {std::pair{"X|DELETE FROM GlobalDefs WHERE ID = 'Header'", "has no row for \"Header\""},
        {"S|Header|~", "GlobalDefs row \"Header\": Content is empty (NULL)"}}) {
    const std::string g = RuleDb(dir / (std::string(says).substr(0, 3) + ".mdb")).rows(rows).path();
    EXPECT_TRUE(contains(errorOf([&] { LoadGlobalSettings(g); }), says));
  }
  // Keys are found whatever their letter case; the empty text is a value.
  RuleDb cased(dir / "c.mdb");
  cased.exec(
      "UPDATE GlobalDefs SET ID = 'ENDOFLINE', Content = '' WHERE ID = 'EndofLine';"
      "UPDATE GlobalDefs SET ID = 'indexpagename' WHERE ID = 'IndexPageName'");
  const GlobalSettings s = LoadGlobalSettings(cased.path());
  EXPECT_EQ(s.endOfLineTag, "");
  EXPECT_EQ(s.indexPageName, "index.html");
}

std::string stored(const RuleDb& db) {
  std::string all;
  for (const char* id : {"EndofLine", "Header", "Footer", "IndexPageName", "Other"})
    all += db.content(id).value_or("~") + "|";
  return all;
}

TEST(SaveGlobalSettings, TrimsOnlySpacesAndWritesAllOrNothingAndHandlesWaitForALock) {
  TempDir dir;
  RuleDb db(dir / "rules.mdb");
  SaveGlobalSettings(db.path(), {" <BR> ", "\t<HTML>\r\n<BODY>\r\n ", "  ", " site.html", {}});
  EXPECT_EQ(stored(db), "<BR>|\t<HTML>\r\n<BODY>\r\n||site.html|~|");
  // A missing row is created and no other row touched.
  const GlobalSettings mine{"<BR>", "<H>", "<F>", "x.html", {}};
  RuleDb partial(dir / "partial.mdb");
  partial.rows("X|DELETE FROM GlobalDefs WHERE ID = 'Header'\nS|Other|unrelated");
  SaveGlobalSettings(partial.path(), mine);
  EXPECT_EQ(stored(partial), "<BR>|<H>|<F>|x.html|unrelated|");
  EXPECT_EQ(readRuleTables(partial.path()).globalDefs.size(), 5u);
  // A failure half-way (the third row refuses) or a lock held too long writes nothing.
  const std::string defaults = "<P>|<HTML><BODY>|</BODY></HTML>|index.html|~|";
  RuleDb refusing(dir / "refusing.mdb");
  refusing.exec(
      "CREATE TRIGGER refuse BEFORE UPDATE ON GlobalDefs WHEN NEW.ID = 'Footer' "
      "BEGIN SELECT RAISE(ABORT, 'refused'); END");
  EXPECT_THROW(SaveGlobalSettings(refusing.path(), mine), LoomError);
  EXPECT_EQ(stored(refusing), defaults);
  {  // a transaction left without a commit undoes its writes at once, not when the file closes
    Database same(refusing.path(), Database::Mode::ReadWrite);
    {
      Transaction left(same);
      same.exec("DELETE FROM GlobalDefs");
    }
    Statement count = same.prepare("SELECT COUNT(*) FROM GlobalDefs");
    ASSERT_TRUE(count.step());
    EXPECT_EQ(count.value(0).integer, 4);  // the four rows of `defaults`
  }
  RuleDb locked(dir / "locked.mdb");
  {
    Database other(locked.path(), Database::Mode::ReadWrite);
    Transaction holding(other);
    setBusyTimeout(std::chrono::milliseconds(100));  // not the five seconds people get
    const std::string message = errorOf([&] { SaveGlobalSettings(locked.path(), mine); });
    setBusyTimeout(kDefaultBusyTimeout);
    EXPECT_TRUE(contains(message, "locked") && contains(message, locked.path())) << message;
  }
  EXPECT_EQ(stored(locked), defaults);
  // A handle that meets a lock waits for it instead of failing.
  RuleDb waited(dir / "waited.mdb");
  Database writer(waited.path(), Database::Mode::ReadWrite);
  writer.exec(
      "BEGIN EXCLUSIVE; INSERT INTO Constraints (FileType, Type, \"Search String\") VALUES "
      "('GEN', 1, 'b')");
  std::thread release([&writer] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    writer.exec("COMMIT");
  });
  EXPECT_EQ(readRuleTables(waited.path()).constraints.size(), 1u);
  EXPECT_NO_THROW(waited.rows("C|GEN|1|after|x"));
  release.join();
  EXPECT_EQ(readRuleTables(waited.path()).constraints.size(), 2u);
}

// The corners; the Constraint Form's own tests save the common rows.
TEST(SaveConstraint, AddsTheFormsRowAtTheEndOrNothing) {
  using K = ConstraintType;
  TempDir dir;
  const RuleDb db = RuleDb(dir / "rules.mdb").rows("C|GEN|1|first|x");
  const ConstraintFormFields forms[] = {
      {K::SearchReplace, {" a ", " b ", "x", "y"}, true, false, "txt"},
      {K::RemoveBlock, {"[", "]", "x", "y"}, false, true, "gen"},
      {K::ReplaceFormatting, {"*", "", "", ""}, false, false, "txt"},
      {K::HeaderLine, {"Contents", "<H2>C</H2>", "x", "y"}, true, false, "txt"},
      {K::SearchReplace, {"a", "", "", ""}, false, false, "t\xC3\xA9x"},
  };
  for (std::size_t i = 0; i < std::size(forms); ++i)
    EXPECT_EQ(SaveConstraint(db.path(), constraintFromForm(forms[i])), i + 2);
  std::string rows;  // an empty Replace String stays empty, not NULL
  for (const StoredConstraint& r : readRuleTables(db.path()).constraints)
    rows += *r.fileType + "|" + std::to_string(*r.type.asInteger()) + "|" + *r.searchString + "|" +
            r.replaceString.value_or("~") + "|" + *r.rFirst + "|" + *r.rLast + "|" +
            std::to_string(*r.caseSensitive.asInteger()) + "\n";
  EXPECT_EQ(rows,
            "GEN|1|first|x| | |1\nTXT|1| a | b | | |0\nGEN|2|[|]| | |1\nTXT|3|*||||0\n"
            "TXT|4|Contents|<H2>C</H2>| | |0\nT\xC3\x89X|1|a|| | |0\n");
  for (const K kind : {K::SearchReplace, K::RemoveBlock, K::ReplaceFormatting, K::HeaderLine}) {
    const ConstraintFormFields f{
        kind, {kind == K::HeaderLine ? "" : "   ", "x", "", ""}, false, false, "txt"};
    EXPECT_TRUE(contains(errorOf([&] { constraintFromForm(f); }, ErrorKind::Usage), "first field"));
  }
  RuleDb refusing(dir / "b.mdb");
  refusing.exec(
      "CREATE TRIGGER refuse BEFORE INSERT ON Constraints BEGIN SELECT RAISE(ABORT, 'no'); END");
  EXPECT_THROW(SaveConstraint(refusing.path(), constraintFromForm(forms[0])), LoomError);
  EXPECT_TRUE(readRuleTables(refusing.path()).constraints.empty());
}

}  // namespace
}  // namespace loom
