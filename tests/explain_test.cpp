// SPDX-License-Identifier: MIT
// The trace of one file's conversion, and the live preview of a constraint being defined.

#include "app/explain.h"

#include <gtest/gtest.h>

#include "app/preview.h"
#include "support/rule_db.h"
#include "support/temp_dir.h"

namespace loom {
namespace {

using testing::contains;
using Explain = testing::OneFileTypeRules;

TEST_F(Explain, TraceShowsRowsInStoredOrderRowsThatNeverFiredAndIgnoredRows) {
  // Row 2 sees row 1's result, row 3 never fires, row 4 has an unknown
  // Type, row 5 is of another file type and not listed.
  rules.rows("C|GEN|1|a|b\nC|TXT|1|b|c\nC|TXT|4|Nothing|<H1>\nC|GEN|9|x|y\nC|LST|1|a|z");
  testing::writeFile(dir / "notes.txt", "aa x\r\n\r\nnone\r\n");
  const auto fs = makePosixFileSystem();
  const Explanation ex =
      explainFile({.dirs = {}, .rulesPath = rules.path(), .overrides = {}}, dir / "notes.txt", *fs);
  std::string steps;  // line: row:result ..., then the rows that never fired
  for (const LineTrace& line : ex.changedLines) {
    steps += std::to_string(line.lineNumber) + ": ";
    for (const auto& step : line.steps)
      steps += std::to_string(step.row->position) + ":" + step.after + " ";
  }
  for (const auto* row : ex.neverFired) steps += "never " + std::to_string(row->position);
  EXPECT_EQ(steps, "1: 1:bb x 2:cc x never 3");
  ASSERT_EQ(ex.ignoredRows.size(), 1u);
  EXPECT_TRUE(contains(ex.ignoredRows[0], "Constraints row 4")) << ex.ignoredRows[0];
  EXPECT_EQ(ex.title + " " + ex.pageName.value_or("?"), "cc x lwnotes.htm");
  const std::string text = formatExplanation(ex);
  EXPECT_TRUE(contains(text, "before: «aa·x»") && contains(text, "Never fired")) << text;
  EXPECT_TRUE(contains(text, "Line ends: crlf (CR LF or CR; an LF stays in the line)")) << text;
  EXPECT_FALSE(contains(text, "row 5")) << text;

  testing::writeFile(dir / "notes.lst", "x");
  testing::writeFile(dir / "memo.txt", "x");  // a page of its own
  rules.setting("LineEnds", "any");
  const std::string shared = formatExplanation(explainFile(
      {.dirs = {}, .rulesPath = rules.path(), .overrides = {}}, dir / "notes.txt", *fs));
  EXPECT_TRUE(contains(shared, "Page lwnotes.htm is also the page of \"notes.lst\" in the same"))
      << shared;
  EXPECT_FALSE(contains(shared, "memo.txt")) << shared;
  EXPECT_TRUE(contains(shared, "Line ends: any (CR LF, CR or LF)")) << shared;

  // Without a type of their own, files take GEN's, when the rules have one.
  testing::writeFile(dir / "README", "x");
  testing::writeFile(dir / "notes.md", "x");
  const auto explained = [&](const char* name) {
    return formatExplanation(
        explainFile({.dirs = {}, .rulesPath = rules.path(), .overrides = {}}, dir / name, *fs));
  };
  EXPECT_TRUE(contains(explained("README"), "no file type GEN, so it has no file type"));
  rules.rows("T|GEN|0|||G\nS|PageNames|full");
  for (const auto& [name, says] :
       {std::pair{"README", "row «GEN» (its name has no \".\")"},
        std::pair{"notes.md", "row «GEN» (FileTypes has no row for «MD»)"},
        std::pair{"notes.md", "Page name: notes.md.html"},
        std::pair{"notes.txt", "File type: FileTypes row «TXT»: Title Line 1"}}) {
    EXPECT_TRUE(contains(explained(name), says)) << explained(name);
  }
}

TEST_F(Explain, PreviewAppliesSavedRowsFirstAndNotesRowsWithoutAResult) {
  rules.rows("C|GEN|1|a|b\nC|TXT|1|x|y\nC|LST|1|b|q");
  using K = ConstraintType;
  const auto preview = [&](K kind, const std::vector<std::string>& fields, const std::string& in) {
    ConstraintFormFields form;
    form.type = kind;
    form.fileType = "txt";
    for (std::size_t i = 0; i < fields.size(); ++i) form.fields[i] = fields[i];
    const PreviewResult r = previewConstraint(rules.path(), form, in);
    return r.ok ? r.text : "!" + r.note;
  };
  EXPECT_EQ(preview(K::SearchReplace, {"b", "c"}, "ab x\nzz"), "cc y\nzz");
  EXPECT_TRUE(contains(preview(K::SearchReplace, {"b", "bb"}, "ab"),
                       "!This constraint would never finish"));
  EXPECT_TRUE(contains(preview(K::ReplaceFormatting, {"*", "*", "<*", "*>"}, "a *b*"),
                       "!This constraint would never finish"));
  EXPECT_TRUE(preview(K::SearchReplace, {"   ", "c"}, "ab").starts_with("!"));
  EXPECT_EQ(preview(K::ReplaceFormatting, {"*", "*", "<B>", "</B>"}, "a *b* c"), "b <B>b</B> c");
  // A block that runs to the line's end has no end marker to be found again.
  EXPECT_EQ(preview(K::ReplaceFormatting, {"#", "(EOL)", "<H2>", "</H2>"}, "a #t"), "b <H2>t</H2>");
}

}  // namespace
}  // namespace loom
