// The tools around the rules: the trace of one file's conversion, and the
// live preview of a constraint being defined.

#include "app/explain.h"

#include <gtest/gtest.h>

#include "app/preview.h"
#include "support/rule_db.h"
#include "support/temp_dir.h"

namespace loom {
namespace {

using testing::RuleDb;
using testing::TempDir;

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class Explain : public ::testing::Test {
 protected:
  TempDir dir;
  RuleDb rules{dir / "rules.mdb"};
  void SetUp() override { rules.fileType("TXT", "1", "", "", "G").group("G", "<H2>", ""); }
};

TEST_F(Explain, TraceShowsRowsInStoredOrderRowsThatNeverFiredAndIgnoredRows) {
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
  EXPECT_EQ(explainFile({{}, rules.path(), {}, {}, {}}, dir / "notes.txt", *fs).samePage,
            std::vector<std::string>{"notes.lst"});
}

TEST_F(Explain, PreviewAppliesSavedRowsFirstAndNotesRowsWithoutAResult) {
  rules.constraint("GEN", "1", "a", "b")
      .constraint("TXT", "1", "x", "y")
      .constraint("LST", "1", "b", "q");
  ConstraintFormFields form;
  form.kind = ConstraintType::SearchReplace;
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

  form.kind = ConstraintType::ReplaceFormatting;
  form.fields[0] = "*";
  form.fields[1] = "*";
  form.fields[2] = "<B>";
  form.fields[3] = "</B>";
  result = previewConstraint(rules.path(), form, "a *b* c");
  EXPECT_TRUE(result.ok) << result.note;
  EXPECT_EQ(result.text, "b <B>b</B> c");
}

}  // namespace
}  // namespace loom
