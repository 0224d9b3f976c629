// A rule database that is missing, cut short or not a database:
// loomwise-batch names the file, says what is wrong, exits with the rules
// code, and writes nothing. (A locked one says so the same way; see
// rules_database_test.)

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/faulty_tool.h"
#include "support/rule_db.h"
#include "support/temp_dir.h"

namespace loom::testing {
namespace {

constexpr int kExitRules = 3;

class RulesFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(dir / "in");
    std::filesystem::create_directory(dir / "out");
    writeFile(dir / "in/a.txt", "Title\r\n");
    RuleDb good(dir / "good.mdb");
    good.fileType("TXT", "1", "", "", "ART").group("ART", "<H2>A</H2>", "");
    // Enough rows that the tables reach past the first half of the file.
    good.exec(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 200) "
        "INSERT INTO Constraints (FileType, Type, \"Search String\", \"Replace String\", RFirst, "
        "RLast, CaseSensitive) SELECT 'GEN', 1, 'x' || i, 'y', ' ', ' ', 1 FROM n");
  }

  ToolResult run(const std::string& rules) {
    return runBatchTool({"--quiet", "--rules", rules, dir / "in", dir / "out"});
  }

  void expectRefused(const ToolResult& r, const std::string& rules, const std::string& what) {
    EXPECT_EQ(r.exitCode, kExitRules) << r.err;
    EXPECT_NE(r.err.find("Rule database \"" + rules + "\""), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(what), std::string::npos) << r.err;
    EXPECT_TRUE(directoryNames(dir / "out").empty());
  }

  TempDir dir;
};

TEST_F(RulesFaultTest, MissingDatabaseIsNamedWithAWayOut) {
  expectRefused(run(dir / "none.mdb"), dir / "none.mdb",
                "cannot be opened: No such file or directory");
}

TEST_F(RulesFaultTest, DatabaseCutInHalfIsDamaged) {
  const std::string whole = readFile(dir / "good.mdb");
  writeFile(dir / "half.mdb", whole.substr(0, whole.size() / 2));
  expectRefused(run(dir / "half.mdb"), dir / "half.mdb", "damaged");
}

TEST_F(RulesFaultTest, TextFileIsNotARuleDatabase) {
  writeFile(dir / "text.mdb", "Identifier,Title Line\nTXT,1\n");
  expectRefused(run(dir / "text.mdb"), dir / "text.mdb", "is not a Loomwise rule database");
}

TEST_F(RulesFaultTest, AccessDatabaseIsRecognised) {
  writeFile(dir / "jet.mdb",
            std::string("\0\x01\0\0Standard Jet DB\0\0\0\0", 23) + std::string(2000, '\0'));
  expectRefused(run(dir / "jet.mdb"), dir / "jet.mdb", "Microsoft Access (Jet) database");
}

TEST_F(RulesFaultTest, EmptyFileHoldsNoRules) {
  writeFile(dir / "empty.mdb", "");
  expectRefused(run(dir / "empty.mdb"), dir / "empty.mdb", "is empty");
}

TEST_F(RulesFaultTest, DirectoryIsNotADatabaseFile) {
  std::filesystem::create_directory(dir / "dir.mdb");
  expectRefused(run(dir / "dir.mdb"), dir / "dir.mdb", "is a directory");
}

}  // namespace
}  // namespace loom::testing
