// The tools around the rules: the trace of one file's conversion, the live
// preview of a constraint being defined, and the rules as a text file.

#include <gtest/gtest.h>

#include "app/explain.h"
#include "app/preview.h"
#include "base/error.h"
#include "rules/rule_tables.h"
#include "rules/rules_json.h"
#include "support/rule_db.h"
#include "support/temp_dir.h"

namespace loom {
namespace {

using testing::RuleDb;
using testing::TempDir;

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class RulesTools : public ::testing::Test {
 protected:
  TempDir dir;
  RuleDb rules{dir / "rules.mdb"};
  void SetUp() override { rules.fileType("TXT", "1", "", "", "G").group("G", "<H2>", ""); }
};

TEST_F(RulesTools, TraceShowsRowsInStoredOrderRowsThatNeverFiredAndIgnoredRows) {
  rules
      .constraint("GEN", "1", "a", "b")           // row 1: runs first
      .constraint("TXT", "1", "b", "c")           // row 2: sees row 1's result
      .constraint("TXT", "4", "Nothing", "<H1>")  // row 3: never fires
      .constraint("GEN", "9", "x", "y")           // row 4: unknown Type
      .constraint("LST", "1", "a", "z");          // row 5: other type, not listed
  testing::writeFile(dir / "notes.txt", "aa x\r\n\r\nnone\r\n");
  const auto fs = makePosixFileSystem();
  const Explanation ex = explainFile({{}, rules.path(), {}, {}, {}}, dir / "notes.txt", *fs);
  ASSERT_EQ(ex.changedLines.size(), 1u);
  const LineTrace& line = ex.changedLines[0];
  EXPECT_EQ(line.lineNumber, 1u);
  ASSERT_EQ(line.steps.size(), 2u);
  EXPECT_EQ(line.steps[0].row->position, 1u);
  EXPECT_EQ(line.steps[0].after, "bb x");
  EXPECT_EQ(line.steps[1].row->position, 2u);
  EXPECT_EQ(line.steps[1].after, "cc x");
  ASSERT_EQ(ex.neverFired.size(), 1u);
  EXPECT_EQ(ex.neverFired[0]->position, 3u);
  ASSERT_EQ(ex.ignoredRows.size(), 1u);
  EXPECT_TRUE(contains(ex.ignoredRows[0], "Constraints row 4")) << ex.ignoredRows[0];
  EXPECT_EQ(ex.title, "cc x");
  EXPECT_EQ(ex.pageName, "lwnotes.htm");
  const std::string text = formatExplanation(ex);
  EXPECT_TRUE(contains(text,
                       "before: \xC2\xAB"
                       "aa\xC2\xB7x\xC2\xBB"))
      << text;
  EXPECT_TRUE(contains(text, "Never fired")) << text;
  EXPECT_FALSE(contains(text, "row 5")) << text;

  // A file whose page another file of the directory also gives is told so.
  testing::writeFile(dir / "notes.lst", "x");
  const std::string shared =
      formatExplanation(explainFile({{}, rules.path(), {}, {}, {}}, dir / "notes.txt", *fs));
  EXPECT_TRUE(contains(shared, "Page lwnotes.htm is also the page of \"notes.lst\"")) << shared;
}

TEST_F(RulesTools, PreviewAppliesSavedRowsFirstAndNotesRowsWithoutAResult) {
  rules.constraint("GEN", "1", "a", "b")
      .constraint("TXT", "1", "x", "y")
      .constraint("LST", "1", "b", "q");
  ConstraintFormFields form;
  form.type = ConstraintType::SearchReplace;
  form.fields[0] = "b";
  form.fields[1] = "c";
  form.fileType = "txt";
  PreviewResult result = previewConstraint(rules.path(), form, "ab x\nzz");
  EXPECT_TRUE(result.ok) << result.note;
  EXPECT_EQ(result.text, "cc y\nzz");

  form.fields[1] = "bb";  // inserts its own search text
  result = previewConstraint(rules.path(), form, "ab");
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(contains(result.note, "never finish")) << result.note;

  form.fields[0] = "   ";
  result = previewConstraint(rules.path(), form, "ab");
  EXPECT_FALSE(result.ok);
  EXPECT_FALSE(result.note.empty());

  form.type = ConstraintType::ReplaceFormatting;
  form.fields[0] = "*";
  form.fields[1] = "*";
  form.fields[2] = "<B>";
  form.fields[3] = "</B>";
  result = previewConstraint(rules.path(), form, "a *b* c");
  EXPECT_TRUE(result.ok) << result.note;
  EXPECT_EQ(result.text, "b <B>b</B> c");
}

TEST_F(RulesTools, ExportImportRoundTripKeepsNullsEmptyTextsLineBreaksAndStoredOrder) {
  rules.group("N", std::nullopt, "")
      .setting("Header", "<HTML>\r\n<BODY>\r\n")
      .constraint("GEN", "1", "first", "1")
      .constraint("GEN", "1", "second", "2")
      .constraint("GEN", "1", "third", "3", std::nullopt, "", std::nullopt)
      .exec("DELETE FROM Constraints WHERE \"Search String\" = 'second'")
      .constraint("GEN", "2", "fourth", "(EOL)");
  const std::string text = exportRulesText(rules.path());
  EXPECT_TRUE(contains(text, "{\"GroupID\":\"N\",\"Header\":null,\"Footer\":\"\"}\n")) << text;
  EXPECT_TRUE(contains(text, "\"Content\":\"<HTML>\\r\\n<BODY>\\r\\n\"")) << text;
  EXPECT_LT(text.find("third"), text.find("fourth"));
  EXPECT_EQ(text.find("second"), std::string::npos);

  // What the run accepts, the export writes (a blob of text); what JSON
  // cannot hold it refuses rather than write null.
  RuleDb odd(dir / "odd.mdb");
  odd.exec("UPDATE GlobalDefs SET Content = CAST('<HTML>' AS BLOB) WHERE ID = 'Header'");
  EXPECT_TRUE(contains(exportRulesText(odd.path()), "{\"ID\":\"Header\",\"Content\":\"<HTML>\"}"));
  odd.fileType("TXT", "1", "", "", "G").exec("UPDATE FileTypes SET \"Title Line\" = 9e999");
  EXPECT_THROW(exportRulesText(odd.path()), LoomError);

  RuleDb fresh(dir / "fresh.mdb");
  importRulesText(fresh.path(), text, "rules.json");
  EXPECT_EQ(exportRulesText(fresh.path()), text);
  const RuleTables tables = readRuleTables(fresh.path());
  ASSERT_EQ(tables.constraints.size(), 3u);
  EXPECT_EQ(tables.constraints[1].rFirst, std::nullopt);
  EXPECT_EQ(tables.constraints[1].rLast, "");
  EXPECT_TRUE(tables.constraints[1].caseSensitive.isNull());
}

TEST_F(RulesTools, MalformedOrIncompleteFileChangesNothingAndNamesTheLine) {
  const std::string good = exportRulesText(rules.path());
  RuleDb target(dir / "target.mdb");
  target.constraint("GEN", "1", "keep", "me");
  const std::string before = exportRulesText(target.path());

  struct Case {
    std::string text;
    std::string expected;
  };
  std::string missingColumn = good;
  missingColumn.replace(missingColumn.find(",\"GroupID\":\"G\""), 14, "");
  std::string broken = good;
  broken.replace(broken.find("\"Groups\""), 8, "\"Groups\" oops");
  auto with = [&](const std::string& from, const std::string& to) {
    std::string text = good;
    return text.replace(text.find(from), from.size(), to);
  };
  const std::string titleLine = "\"Title Line\":1";
  const std::string lastSetting = "{\"ID\":\"IndexPageName\"";
  const Case cases[] = {
      {missingColumn, "line 4: FileTypes record 1 has no column \"GroupID\""},
      {with(titleLine, "\"Title Line\":18446744073709551615"),
       "line 4: FileTypes record 1, column "
       "\"Title Line\": the number 18446744073709551615 is out of range"},
      {with(titleLine, "\"Title Line\":1e400"), "line 4: the number 1e400 is out of range"},
      {with(titleLine, "\"Title Line\":1.5"),
       "line 4: FileTypes record 1, column \"Title Line\": "
       "needs a whole number, not 1.5"},
      {with(lastSetting, "{\"ID\":\"header\",\"Content\":\"\"},\n" + lastSetting),
       "the ID \"header\" occurs already in GlobalDefs record 2"},
      {broken, "line 6: not valid JSON"},
      {"{\"format\": \"loomwise-rules 1\"}", "the table \"FileTypes\" is missing"},
      {"[]", "line 1: not a Loomwise rules file"},
  };
  for (const Case& c : cases) {
    try {
      importRulesText(target.path(), c.text, "rules.json");
      ADD_FAILURE() << "no error for " << c.text;
    } catch (const LoomError& e) {
      EXPECT_TRUE(contains(e.what(), c.expected)) << e.what();
      EXPECT_TRUE(contains(e.what(), "\"rules.json\"")) << e.what();
    }
    EXPECT_EQ(exportRulesText(target.path()), before);
  }
}

}  // namespace
}  // namespace loom
