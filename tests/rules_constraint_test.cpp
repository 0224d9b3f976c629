// The row the Constraint Form saves, and how it lands in the table.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/constraint_form_fields.h"
#include "base/error.h"
#include "rules/rule_tables.h"
#include "support/rule_db.h"
#include "support/temp_dir.h"

namespace loom {
namespace {

ConstraintFormFields form(ConstraintType kind, std::vector<std::string> fields, bool toEnd = false,
                          bool caseSensitive = false, std::string fileType = "txt") {
  ConstraintFormFields f;
  f.type = kind;
  for (std::size_t i = 0; i < fields.size(); ++i) f.fields[i] = fields[i];
  f.applyToEndOfLine = toEnd;
  f.caseSensitive = caseSensitive;
  f.fileType = std::move(fileType);
  return f;
}

TEST(ConstraintFromForm, FillsTheFieldsOfEachKind) {
  struct Row {
    ConstraintFormFields form;
    std::string search, replace, rFirst, rLast;
  };
  const std::vector<Row> rows = {
      {form(ConstraintType::SearchReplace, {" a ", " b ", "x", "y"}, true), " a ", " b ", " ", " "},
      {form(ConstraintType::RemoveBlock, {"[", "]", "x", "y"}), "[", "]", " ", " "},
      {form(ConstraintType::RemoveBlock, {"##", "ignored"}, true), "##", "(EOL)", " ", " "},
      {form(ConstraintType::ReplaceFormatting, {"*", "*", "<B>", "</B>"}), "*", "*", "<B>", "</B>"},
      {form(ConstraintType::ReplaceFormatting, {"=> ", "x", "<LI>", "</LI>"}, true), "=> ", "(EOL)",
       "<LI>", "</LI>"},
      {form(ConstraintType::ReplaceFormatting, {"*", "", "", ""}), "*", "", "", ""},
      {form(ConstraintType::HeaderLine, {"Contents", "<H2>C</H2>", "x", "y"}, true), "Contents",
       "<H2>C</H2>", " ", " "},
  };
  for (const Row& r : rows) {
    const ConstraintDraft row = constraintFromForm(r.form);
    const std::string what =
        "kind " + std::to_string(static_cast<int>(r.form.type)) + " search " + r.search;
    EXPECT_EQ(row.type, static_cast<int>(r.form.type)) << what;
    EXPECT_EQ(row.searchString, r.search) << what;
    EXPECT_EQ(row.replaceString, r.replace) << what;
    EXPECT_EQ(row.rFirst, r.rFirst) << what;
    EXPECT_EQ(row.rLast, r.rLast) << what;
    EXPECT_EQ(row.fileType, "TXT") << what;
  }
}

TEST(ConstraintFromForm, UpperCasesTheFileTypeAndKeepsTheCaseFlag) {
  EXPECT_EQ(
      constraintFromForm(form(ConstraintType::SearchReplace, {"a"}, false, true, "gen")).fileType,
      "GEN");
  EXPECT_EQ(
      constraintFromForm(form(ConstraintType::SearchReplace, {"a"}, false, true, "t\xC3\xA9x"))
          .fileType,
      "T\xC3\x89X");
  EXPECT_TRUE(
      constraintFromForm(form(ConstraintType::SearchReplace, {"a"}, false, true)).caseSensitive);
  EXPECT_FALSE(constraintFromForm(form(ConstraintType::SearchReplace, {"a"})).caseSensitive);
}

TEST(ConstraintFromForm, RefusesAnEmptySearchTextOrBeginMarker) {
  for (const ConstraintType kind :
       {ConstraintType::SearchReplace, ConstraintType::RemoveBlock,
        ConstraintType::ReplaceFormatting, ConstraintType::HeaderLine}) {
    for (const std::string first : {"", "   "}) {
      try {
        constraintFromForm(form(kind, {first, "x", "y", "z"}));
        ADD_FAILURE() << "kind " << static_cast<int>(kind) << " saved \"" << first << '"';
      } catch (const LoomError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Usage);
        EXPECT_NE(std::string(e.what()).find("first field"), std::string::npos) << e.what();
      }
    }
  }
}

TEST(SaveConstraint, AddsOneRowAtTheEndWithTheFormsTexts) {
  testing::TempDir dir;
  testing::RuleDb db(dir / "rules.mdb");
  db.constraint("GEN", "1", "first", "x");
  EXPECT_EQ(
      SaveConstraint(db.path(), constraintFromForm(form(ConstraintType::ReplaceFormatting,
                                                        {"*", "", "<B>", "</B>"}, false, true))),
      2u);
  EXPECT_EQ(SaveConstraint(db.path(), constraintFromForm(
                                          form(ConstraintType::SearchReplace, {"it's", "it is"}))),
            3u);
  const RuleTables tables = readRuleTables(db.path());
  ASSERT_EQ(tables.constraints.size(), 3u);
  const StoredConstraint& kind3 = tables.constraints[1];
  EXPECT_EQ(kind3.fileType, "TXT");
  EXPECT_EQ(kind3.type.asInteger(), 3);
  EXPECT_EQ(kind3.searchString, "*");
  EXPECT_EQ(kind3.replaceString, std::optional<std::string>(""));  // empty, not NULL
  EXPECT_EQ(kind3.rFirst, "<B>");
  EXPECT_EQ(kind3.rLast, "</B>");
  EXPECT_EQ(kind3.caseSensitive.asInteger(), 1);
  const StoredConstraint& kind1 = tables.constraints[2];
  EXPECT_EQ(kind1.searchString, "it's");
  EXPECT_EQ(kind1.rFirst, " ");
  EXPECT_EQ(kind1.rLast, " ");
  EXPECT_EQ(kind1.caseSensitive.asInteger(), 0);
}

TEST(SaveConstraint, AFailureAddsNothingAndNamesTheFile) {
  testing::TempDir dir;
  testing::RuleDb db(dir / "rules.mdb");
  db.exec("DROP TABLE Constraints");
  try {
    SaveConstraint(db.path(), constraintFromForm(form(ConstraintType::SearchReplace, {"a", "b"})));
    FAIL() << "no error";
  } catch (const LoomError& e) {
    EXPECT_NE(std::string(e.what()).find("has no table Constraints"), std::string::npos)
        << e.what();
    EXPECT_NE(std::string(e.what()).find(db.path()), std::string::npos) << e.what();
  }
  testing::RuleDb refusing(dir / "b.mdb");
  refusing.exec(
      "CREATE TRIGGER refuse BEFORE INSERT ON Constraints BEGIN SELECT RAISE(ABORT, 'no'); END");
  EXPECT_THROW(SaveConstraint(refusing.path(),
                              constraintFromForm(form(ConstraintType::SearchReplace, {"a", "b"}))),
               LoomError);
  EXPECT_TRUE(readRuleTables(refusing.path()).constraints.empty());
}

}  // namespace
}  // namespace loom
