// The rule database file: where it lives, what opening a wrong file says,
// names and keys without regard to case, stored order, NULL apart from the
// empty text, and several handles at once.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/error.h"
#include "rules/global_settings.h"
#include "rules/rule_database.h"
#include "rules/rule_tables.h"
#include "rules/rules_location.h"
#include "rules/schema.h"
#include "rules/sqlite.h"
#include "support/memory_file_system.h"
#include "support/rule_db.h"
#include "support/temp_dir.h"

namespace loom {
namespace {

using testing::RuleDb;
using testing::TempDir;

std::string errorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const LoomError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::Rules) << e.what();
    return e.what();
  }
  ADD_FAILURE() << "no error";
  return "";
}

TEST(RuleDatabaseFile, LivesBesideTheRunningProgram) {
  const std::string exe = std::filesystem::canonical("/proc/self/exe").string();
  EXPECT_EQ(programDirectory(), exe.substr(0, exe.rfind('/')));
  EXPECT_EQ(defaultRulesPath(), programDirectory() + "/loomwise.mdb");
}

// Which database a front end uses: beside a program the user can write,
// otherwise the user's own copy of the bundled rules; --rules always wins.
TEST(RuleDatabaseFile, BesideAWritableProgramElseTheUsersOwnCopy) {
  constexpr bool writable = true, readOnly = false;
  const std::string mine = "/home/u/.local/share/loomwise/loomwise.mdb";
  const std::string shared = "/usr/share/loomwise/loomwise.mdb";
  struct Row {
    std::string what;
    bool binWritable;
    std::vector<std::string> files;
    RulesPlaces places;
    std::optional<std::string> option;
    RulesChoice want;  // createFrom is checked for UserData only
  } rows[] = {
      {"build tree",
       writable,
       {"/usr/bin/loomwise.mdb"},
       {"/usr/bin", "", "/home/u"},
       {},
       {"/usr/bin/loomwise.mdb", RulesSource::BesideProgram, false, ""}},
      {"--rules wins",
       writable,
       {"/usr/bin/loomwise.mdb"},
       {"/usr/bin", "", "/home/u"},
       "r.mdb",
       {"r.mdb", RulesSource::Option, false, ""}},
      {"package, first start",
       readOnly,
       {shared},
       {"/usr/bin", "", "/home/u"},
       {},
       {mine, RulesSource::UserData, true, shared}},
      {"package, later start",
       readOnly,
       {shared, mine},
       {"/usr/bin", "", "/home/u"},
       {},
       {mine, RulesSource::UserData, false, shared}},
      {"package run by root: nothing is made in /usr/bin",
       writable,
       {shared},
       {"/usr/bin", "", "/home/u"},
       {},
       {mine, RulesSource::UserData, true, shared}},
      {"read-only install with rules beside",
       readOnly,
       {"/usr/bin/loomwise.mdb", shared},
       {"/usr/bin", "", "/home/u"},
       {},
       {mine, RulesSource::UserData, true, "/usr/bin/loomwise.mdb"}},
      {"no bundled file: the built-in rules",
       readOnly,
       {},
       {"/usr/bin", "", "/home/u"},
       {},
       {mine, RulesSource::UserData, true, ""}},
      {"XDG_DATA_HOME",
       readOnly,
       {shared},
       {"/usr/bin", "/data/", "/home/u"},
       {},
       {"/data/loomwise/loomwise.mdb", RulesSource::UserData, true, shared}},
      {"relative XDG_DATA_HOME is ignored",
       readOnly,
       {shared},
       {"/usr/bin", "data", "/home/u"},
       {},
       {mine, RulesSource::UserData, true, shared}},
  };
  for (const Row& r : rows) {
    testing::MemoryFileSystem fs;
    fs.addDirectory("/usr/bin", r.binWritable);
    for (const char* dir : {"/usr/share/loomwise", "/home/u/.local/share/loomwise"}) {
      fs.addDirectory(dir, false);
    }
    for (const std::string& file : r.files) fs.addFile(file, "rules");
    const RulesChoice got = chooseRules(r.option, r.places, fs);
    EXPECT_EQ(got.path, r.want.path) << r.what;
    EXPECT_EQ(got.source, r.want.source) << r.what;
    EXPECT_EQ(got.toCreate, r.want.toCreate) << r.what;
    if (r.want.source == RulesSource::UserData) {
      EXPECT_EQ(got.createFrom, r.want.createFrom) << r.what;
    }
    EXPECT_NE(describeRules(got).find(got.path), std::string::npos) << r.what;
  }
  testing::MemoryFileSystem fs;
  const std::string noHome = errorOf([&] { chooseRules({}, {"/usr/bin", "", ""}, fs); });
  EXPECT_NE(noHome.find("--rules FILE"), std::string::npos) << noHome;
}

TEST(RuleDatabaseFile, TheUsersCopyIsMadeOnceAndNeverOverwritten) {
  TempDir dir;
  const std::string bundled = dir / "bundled.mdb";
  createRuleDatabase(bundled, NewDatabaseContents::Bundled);
  const std::string bundledBytes = testing::readFile(bundled);
  struct Row {
    std::string what, path, from, before, after;  // before "": no file yet
  } rows[] = {
      {"copied into new directories", dir / "a/b/loomwise/loomwise.mdb", bundled, "", bundledBytes},
      {"an existing copy stays", dir / "c.mdb", bundled, "my rules", "my rules"},
  };
  for (const Row& r : rows) {
    if (!r.before.empty()) testing::writeFile(r.path, r.before);
    prepareRules({r.path, RulesSource::UserData, r.before.empty(), r.from});
    EXPECT_EQ(testing::readFile(r.path), r.after) << r.what;
    prepareRules({r.path, RulesSource::UserData, true, r.from});  // a second start
    EXPECT_EQ(testing::readFile(r.path), r.after) << r.what;
  }
  EXPECT_EQ(std::filesystem::status(dir / "a/b").permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_all);
  // Without a bundled file the copy holds the rules built into the program.
  const std::string builtIn = dir / "d/loomwise.mdb";
  prepareRules({builtIn, RulesSource::UserData, true, ""});
  EXPECT_FALSE(readRuleTables(builtIn).fileTypes.empty());
  // A missing bundled file is said with both names, and leaves nothing behind.
  const std::string lost = dir / "e/loomwise.mdb";
  const std::string message = errorOf([&] {
    prepareRules({lost, RulesSource::UserData, true, dir / "gone.mdb"});
  });
  EXPECT_NE(message.find(lost), std::string::npos) << message;
  EXPECT_NE(message.find(dir / "gone.mdb"), std::string::npos) << message;
  EXPECT_TRUE(std::filesystem::is_empty(dir / "e"));
}

TEST(RuleDatabaseFile, CreatingNeverOverwrites) {
  TempDir dir;
  const std::string path = dir / "rules.mdb";
  testing::writeFile(path, "precious");
  try {
    createRuleDatabase(path, NewDatabaseContents::Bundled);
    FAIL() << "no error";
  } catch (const LoomError& e) {
    EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
  }
  EXPECT_EQ(testing::readFile(path), "precious");

  const std::string fresh = dir / "fresh.mdb";
  createRuleDatabase(fresh, NewDatabaseContents::SettingsOnly);
  const GlobalSettings s = LoadGlobalSettings(fresh);
  EXPECT_EQ(s.endOfLineTag, "<P>");
  EXPECT_EQ(s.header, "<HTML><BODY>");
  EXPECT_EQ(s.footer, "</BODY></HTML>");
  EXPECT_EQ(s.indexPageName, "index.html");
  EXPECT_FALSE(s.encoding.has_value());
  EXPECT_THROW(createRuleDatabase(fresh, NewDatabaseContents::SettingsOnly), LoomError);
}

TEST(RuleDatabaseFile, WrongFilesSayWhatTheyAre) {
  TempDir dir;
  struct Row {
    std::string name, bytes, says;
  };
  std::string access(2048, '\0');
  access.replace(0, 19, std::string("\0\x01\0\0Standard Jet DB", 19));
  std::string damaged = std::string("SQLite format 3\0", 16) + std::string(4000, '\x7F');
  const std::vector<Row> rows = {
      {"text.mdb", "just some text, not a database\n", "not an SQLite 3 file"},
      {"access.mdb", access, "Microsoft Access (Jet) database"},
      {"empty.mdb", "", "is empty"},
      {"damaged.mdb", damaged, "damaged or is not a rule database"},
  };
  for (const Row& r : rows) {
    const std::string path = dir / r.name;
    testing::writeFile(path, r.bytes);
    const std::string message = errorOf([&] { readRuleTables(path); });
    EXPECT_NE(message.find(r.says), std::string::npos) << message;
    EXPECT_NE(message.find(path), std::string::npos) << message;
  }
  const std::string missing = errorOf([&] { readRuleTables(dir / "missing.mdb"); });
  EXPECT_NE(missing.find(dir / "missing.mdb"), std::string::npos) << missing;
  EXPECT_NE(missing.find("cannot be opened"), std::string::npos) << missing;
  const std::string directory = errorOf([&] { readRuleTables(dir.path()); });
  EXPECT_NE(directory.find("is a directory"), std::string::npos) << directory;
}

TEST(RuleTables, NamesOfTablesAndColumnsIgnoreCase) {
  TempDir dir;
  RuleDb db(dir / "rules.mdb");
  Database handle(db.path(), Database::Mode::ReadWrite);
  EXPECT_TRUE(handle.hasTable("Filetypes"));
  EXPECT_TRUE(handle.hasTable("CONSTRAINTS"));
  EXPECT_TRUE(handle.hasColumn("Constraints", "Rfirst"));
  EXPECT_TRUE(handle.hasColumn("constraints", "Filetype"));
  EXPECT_TRUE(handle.hasColumn("FileTypes", "title line"));
  EXPECT_FALSE(handle.hasColumn("FileTypes", "TitleLine"));

  // A file whose tables and columns were made with other letter cases reads the same.
  TempDir other;
  const std::string path = other / "lower.mdb";
  {
    Database made(path, Database::Mode::Create);
    made.exec(
        "CREATE TABLE filetypes (identifier TEXT, description TEXT, \"TITLE LINE\" INTEGER, "
        "\"end of line\" TEXT, beginsection TEXT, endsection TEXT, groupid TEXT);"
        "CREATE TABLE GROUPS (groupid TEXT, header TEXT, footer TEXT);"
        "CREATE TABLE constraints (filetype TEXT, type INTEGER, \"search string\" TEXT, "
        "\"replace string\" TEXT, rfirst TEXT, rlast TEXT, casesensitive INTEGER);"
        "CREATE TABLE globaldefs (id TEXT, content TEXT);"
        "INSERT INTO filetypes VALUES ('txt', '', 1, '', 'B', 'E', 'doc');"
        "INSERT INTO constraints VALUES ('TXT', 3, '*', '*', '<B>', '</B>', 1);");
  }
  const RuleTables tables = readRuleTables(path);
  ASSERT_EQ(tables.fileTypes.size(), 1u);
  EXPECT_EQ(tables.fileTypes[0].identifier, "txt");
  EXPECT_EQ(tables.fileTypes[0].titleLine.asInteger(), 1);
  ASSERT_EQ(tables.constraints.size(), 1u);
  EXPECT_EQ(tables.constraints[0].rFirst, "<B>");
  EXPECT_EQ(tables.constraints[0].rLast, "</B>");
}

// What data/schema.sql makes is the layout rules/schema.h describes: the
// same tables in the same order, each column with its type and key.
TEST(RuleTables, ANewDatabaseHasTheDescribedLayout) {
  TempDir dir;
  RuleDb db(dir / "rules.mdb");
  Database handle(db.path(), Database::Mode::ReadOnly);
  std::vector<std::string> made;
  Statement tables = handle.prepare(
      "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite%' "
      "ORDER BY rowid");
  while (tables.step()) {
    Statement columns = handle.prepare("SELECT name, type, pk FROM pragma_table_info(?1)");
    columns.bind(1, *tables.text(0));
    while (columns.step()) {
      made.push_back(*tables.text(0) + "." + *columns.text(0) + " " + *columns.text(1) +
                     (columns.value(2).integer ? " key" : ""));
    }
  }
  std::vector<std::string> described;
  for (const TableDef& table : schema::kTables) {
    const std::string name(table.name), key(table.key);
    if (!table.keyIsRuleColumn()) described.push_back(name + "." + key + " INTEGER key");
    for (const ColumnDef& c : table.columns) {
      described.push_back(name + "." + std::string(c.name) +
                          (c.kind == ColumnKind::Text ? " TEXT" : " INTEGER") +
                          (c.name == table.key ? " key" : ""));
    }
  }
  EXPECT_EQ(made, described);
}

TEST(RuleTables, ConstraintsComeInStoredOrderAfterInsertsAndDeletes) {
  TempDir dir;
  RuleDb db(dir / "rules.mdb");
  for (const char* search : {"one", "two", "three", "four"}) db.constraint("GEN", "1", search, "x");
  db.exec("DELETE FROM Constraints WHERE \"Search String\" IN ('two', 'four')");
  db.constraint("GEN", "1", "five", "x").constraint("GEN", "1", "six", "x");
  db.exec("UPDATE Constraints SET \"Search String\" = 'ONE' WHERE \"Search String\" = 'one'");
  const RuleTables tables = readRuleTables(db.path());
  std::vector<std::string> order;
  for (const StoredConstraint& r : tables.constraints)
    order.push_back(r.searchString.value_or("?"));
  EXPECT_EQ(order, (std::vector<std::string>{"ONE", "three", "five", "six"}));
  for (std::size_t i = 0; i < tables.constraints.size(); ++i) {
    EXPECT_EQ(tables.constraints[i].position, i + 1);
  }
}

TEST(RuleTables, NullStaysApartFromTheEmptyText) {
  TempDir dir;
  RuleDb db(dir / "rules.mdb");
  db.fileType("TXT", "1", "", testing::kNull, "");
  db.constraint("GEN", testing::kNull, "", testing::kNull, "", testing::kNull, testing::kNull);
  const RuleTables tables = readRuleTables(db.path());
  ASSERT_EQ(tables.fileTypes.size(), 1u);
  EXPECT_EQ(tables.fileTypes[0].beginSection, std::optional<std::string>(""));
  EXPECT_EQ(tables.fileTypes[0].endSection, std::nullopt);
  ASSERT_EQ(tables.constraints.size(), 1u);
  const StoredConstraint& c = tables.constraints[0];
  EXPECT_TRUE(c.type.isNull());
  EXPECT_EQ(c.searchString, std::optional<std::string>(""));
  EXPECT_EQ(c.replaceString, std::nullopt);
  EXPECT_EQ(c.rFirst, std::optional<std::string>(""));
  EXPECT_EQ(c.rLast, std::nullopt);
  EXPECT_TRUE(c.caseSensitive.isNull());
}

TEST(RuleTables, MissingTableOrColumnNamesIt) {
  TempDir dir;
  RuleDb noGroups(dir / "a.mdb");
  noGroups.exec("DROP TABLE Groups");
  std::string message = errorOf([&] { readRuleTables(noGroups.path()); });
  EXPECT_NE(message.find("has no table Groups"), std::string::npos) << message;

  RuleDb noColumn(dir / "b.mdb");
  noColumn.exec("ALTER TABLE FileTypes DROP COLUMN GroupID");
  message = errorOf([&] { readRuleTables(noColumn.path()); });
  EXPECT_NE(message.find("table FileTypes has no column \"GroupID\""), std::string::npos)
      << message;
  EXPECT_NE(message.find(noColumn.path()), std::string::npos) << message;
}

TEST(GlobalSettingsLoad, MissingRowOrNullContentNamesTableKeyAndColumn) {
  TempDir dir;
  RuleDb missing(dir / "a.mdb");
  missing.exec("DELETE FROM GlobalDefs WHERE ID = 'Header'");
  std::string message = errorOf([&] { LoadGlobalSettings(missing.path()); });
  EXPECT_NE(message.find("GlobalDefs has no row for \"Header\""), std::string::npos) << message;

  RuleDb null(dir / "b.mdb");
  null.setting("Header", testing::kNull);
  message = errorOf([&] { LoadGlobalSettings(null.path()); });
  EXPECT_NE(message.find("GlobalDefs row \"Header\": Content is empty (NULL)"), std::string::npos)
      << message;

  // Keys are found whatever their letter case; the empty text is a value.
  RuleDb cased(dir / "c.mdb");
  cased.exec(
      "UPDATE GlobalDefs SET ID = 'ENDOFLINE', Content = '' WHERE ID = 'EndofLine';"
      "UPDATE GlobalDefs SET ID = 'indexpagename' WHERE ID = 'IndexPageName'");
  const GlobalSettings s = LoadGlobalSettings(cased.path());
  EXPECT_EQ(s.endOfLineTag, "");
  EXPECT_EQ(s.indexPageName, "index.html");
}

TEST(RuleDatabaseHandles, AReaderSeesCommittedRowsWhileAWriterHoldsItsTransaction) {
  TempDir dir;
  RuleDb db(dir / "rules.mdb");
  db.constraint("GEN", "1", "first", "x");
  Database writer(db.path(), Database::Mode::ReadWrite);
  {
    Transaction pending(writer);
    writer.exec(
        "INSERT INTO Constraints (FileType, Type, \"Search String\") VALUES ('GEN', 1, 'b')");
    // The other handle reads the committed rows and does not wait for the writer.
    const RuleTables during = readRuleTables(db.path());
    EXPECT_EQ(during.constraints.size(), 1u);
    pending.commit();
  }
  EXPECT_EQ(readRuleTables(db.path()).constraints.size(), 2u);
}

TEST(RuleDatabaseHandles, ASecondHandleWaitsForALockThenSaysItIsLocked) {
  TempDir dir;
  RuleDb db(dir / "rules.mdb");
  Database holder(db.path(), Database::Mode::ReadWrite);
  holder.exec("BEGIN EXCLUSIVE");
  std::thread release([&holder] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    holder.exec("COMMIT");
  });
  // Both a read and a write from other handles go through once the lock is gone.
  EXPECT_NO_THROW(readRuleTables(db.path()));
  EXPECT_NO_THROW(db.constraint("GEN", "1", "after", "x"));
  release.join();
  EXPECT_EQ(readRuleTables(db.path()).constraints.size(), 1u);

  // A lock held past the wait is refused, naming the file.
  const testing::ShortBusyTimeout shortWait;
  holder.exec("BEGIN EXCLUSIVE");
  const std::string message = errorOf([&] { readRuleTables(db.path()); });
  EXPECT_NE(message.find("locked by another program"), std::string::npos) << message;
  EXPECT_NE(message.find(db.path()), std::string::npos) << message;
  holder.exec("COMMIT");
}

}  // namespace
}  // namespace loom
