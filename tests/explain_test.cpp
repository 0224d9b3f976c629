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

using testing::contains;
using Explain = testing::OneFileTypeRules;

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
  std::string steps;
  for (const auto& step : line.steps)
    steps += std::to_string(step.row->position) + ":" + step.after + " ";
  EXPECT_EQ(steps, "1:bb x 2:cc x ");
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

TEST_F(Explain, PreviewAppliesSavedRowsFirstAndNotesRowsWithoutAResult) {
  rules.constraint("GEN", "1", "a", "b")
      .constraint("TXT", "1", "x", "y")
      .constraint("LST", "1", "b", "q");
  using K = ConstraintType;
  const auto preview = [&](K kind, const std::vector<std::string>& fields,
                           const std::string& text) {
    ConstraintFormFields form;
    form.type = kind;
    form.fileType = "txt";
    for (std::size_t i = 0; i < fields.size(); ++i) form.fields[i] = fields[i];
    const PreviewResult r = previewConstraint(rules.path(), form, text);
    return r.ok ? r.text : "!" + r.note;
  };
  EXPECT_EQ(preview(K::SearchReplace, {"b", "c"}, "ab x\nzz"), "cc y\nzz");
  EXPECT_TRUE(contains(preview(K::SearchReplace, {"b", "bb"}, "ab"),
                       "!This constraint would never finish"));
  EXPECT_TRUE(preview(K::SearchReplace, {"   ", "c"}, "ab").starts_with("!"));
  EXPECT_EQ(preview(K::ReplaceFormatting, {"*", "*", "<B>", "</B>"}, "a *b* c"), "b <B>b</B> c");
}

}  // namespace
}  // namespace loom
