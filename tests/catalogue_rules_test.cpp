// Bad-input catalogue: rule rows and settings as a hand-edited rule database
// can hold them. A row the run cannot use is refused before any page is
// written, naming table, row and column; a row the run can use converts to
// the page stated here.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/faulty_site.h"

namespace loom::testing {
namespace {

const std::string kBody = "axb [c] *d* it's Contents";

struct RuleCase {
  const char* name;
  std::function<void(RuleDb&)> setup;
  int exitCode;
  std::vector<std::string> messages;   // each must appear on stderr
  std::vector<std::string> pageLines;  // of lwt.htm, when the run succeeds
};

// The file type of the input file t.doc.
void doc(RuleDb& db, const Cell& titleLine = "1", const Cell& group = "ART") {
  db.fileType("DOC", titleLine, "", "", group);
}

std::vector<std::string> plainPage(const std::string& body = kBody) {
  return {"<TITLE>Title</TITLE><P>", body + "<P>"};
}

std::vector<std::string> untitledPage() { return {"Title<P>", kBody + "<P>"}; }

class RuleCatalogue : public ::testing::TestWithParam<RuleCase> {};

TEST_P(RuleCatalogue, GivesItsMessageOrItsPage) {
  Site site;
  GetParam().setup(site.rules());
  site.input("t.doc", "Title\r\n" + kBody + "\r\n");
  const ToolResult r = site.run();
  EXPECT_EQ(r.exitCode, GetParam().exitCode) << r.err;
  for (const std::string& m : GetParam().messages) {
    EXPECT_NE(r.err.find(m), std::string::npos) << "missing: " << m << "\n" << r.err;
  }
  if (GetParam().exitCode == kExitOk) {
    EXPECT_EQ(site.page("lwt.htm"), sitePage(GetParam().pageLines));
  } else {
    EXPECT_NE(r.err.find("nothing was written"), std::string::npos) << r.err;
    EXPECT_TRUE(site.outputNames().empty());
  }
}

std::string row1(const std::string& fileType) {
  return "Constraints row 1 (FileType \"" + fileType + "\"): ";
}
const std::string kNotPlain =
    " is not a plain file name; the index page must be written inside the output directory";

INSTANTIATE_TEST_SUITE_P(
    Catalogue, RuleCatalogue,
    ::testing::Values(
        // Constraint rows with NULLs.
        RuleCase{"NullSearchString",
                 [](RuleDb& db) {
                   doc(db);
                   db.constraint("GEN", "1", kNull, "y");
                 },
                 kExitRules,
                 {row1("GEN") + "Search String is empty (NULL)"},
                 {}},
        RuleCase{"NullReplaceString",
                 [](RuleDb& db) {
                   doc(db);
                   db.constraint("DOC", "2", "[", kNull);
                 },
                 kExitRules,
                 {row1("DOC") + "Replace String is empty (NULL)"},
                 {}},
        RuleCase{"NullRFirst",
                 [](RuleDb& db) {
                   doc(db);
                   db.constraint("GEN", "3", "*", "*", kNull, "</B>");
                 },
                 kExitRules,
                 {row1("GEN") + "RFirst is empty (NULL)"},
                 {}},
        RuleCase{"NullCaseSensitiveOfSearchReplace",
                 [](RuleDb& db) {
                   doc(db);
                   db.constraint("GEN", "1", "a", "b", " ", " ", kNull);
                 },
                 kExitRules,
                 {row1("GEN") + "CaseSensitive is empty (NULL)"},
                 {}},
        RuleCase{"NullCaseSensitiveOfHeaderLineIsNotRead",
                 [](RuleDb& db) {
                   doc(db);
                   db.constraint("GEN", "4", "Title", "<H1>T</H1>", " ", " ", kNull);
                 },
                 kExitOk,
                 {},
                 {"<TITLE><H1>T</H1></TITLE><P>", kBody + "<P>"}},
        RuleCase{"NullFileTypeNeverApplies",
                 [](RuleDb& db) {
                   doc(db);
                   db.constraint(kNull, "1", "a", kNull);
                 },
                 kExitOk,
                 {},
                 plainPage()},
        RuleCase{"RowOfAnotherTypeIsNotRead",
                 [](RuleDb& db) {
                   doc(db);
                   db.constraint("FAQ", kNull, kNull, kNull);
                 },
                 kExitOk,
                 {},
                 plainPage()},
        // Type outside 1 to 4: "Error condition", the row is ignored.
        RuleCase{"NullType",
                 [](RuleDb& db) {
                   doc(db);
                   db.constraint("GEN", kNull, "a", "b");
                 },
                 kExitOk,
                 {"Error condition: " + row1("GEN") +
                  "Type is empty (NULL) is not 1 to 4; the row is ignored"},
                 plainPage()},
        RuleCase{"TypeZero",
                 [](RuleDb& db) {
                   doc(db);
                   db.constraint("GEN", "0", "a", "b");
                 },
                 kExitOk,
                 {"Error condition: " + row1("GEN") + "Type \"0\" is not 1 to 4"},
                 plainPage()},
        RuleCase{"TypeNine",
                 [](RuleDb& db) {
                   doc(db);
                   db.constraint("DOC", "9", "a", "b");
                 },
                 kExitOk,
                 {"Error condition: " + row1("DOC") + "Type \"9\" is not 1 to 4"},
                 plainPage()},
        RuleCase{"TypeText",
                 [](RuleDb& db) {
                   doc(db);
                   db.constraint("GEN", "two", "a", "b");
                 },
                 kExitOk,
                 {"Error condition: " + row1("GEN") + "Type \"two\" is not 1 to 4"},
                 plainPage()},
        // Empty markers change nothing.
        RuleCase{"EmptyBeginMarker",
                 [](RuleDb& db) {
                   doc(db);
                   db.constraint("GEN", "2", "", "]");
                 },
                 kExitOk,
                 {},
                 plainPage()},
        RuleCase{"EmptyEndMarker",
                 [](RuleDb& db) {
                   doc(db);
                   db.constraint("GEN", "3", "*", "", "<B>", "</B>");
                 },
                 kExitOk,
                 {},
                 plainPage()},
        RuleCase{"SearchStringOfSpacesOnly",
                 [](RuleDb& db) {
                   doc(db);
                   db.constraint("GEN", "1", "   ", "x");
                 },
                 kExitRules,
                 {row1("GEN") + "Search String is empty or only spaces"},
                 {}},
        // Rows that would never finish a line end, resuming after what they inserted.
        RuleCase{"ReplacementHoldsTheSearchText",
                 [](RuleDb& db) {
                   doc(db);
                   db.constraint("GEN", "1", "a", "aa");
                 },
                 kExitOk,
                 {},
                 plainPage("aaxb [c] *d* it's Contents")},
        RuleCase{"ReplacementEqualUpToCase",
                 [](RuleDb& db) {
                   doc(db);
                   db.constraint("GEN", "1", "x", "X", " ", " ", "0");
                 },
                 kExitOk,
                 {},
                 plainPage("aXb [c] *d* it's Contents")},
        RuleCase{"SingleQuoteSearch",
                 [](RuleDb& db) {
                   doc(db);
                   db.constraint("GEN", "1", "'", "z");
                 },
                 kExitOk,
                 {},
                 plainPage()},
        RuleCase{"FormattingThatMakesNewBlocks",
                 [](RuleDb& db) {
                   doc(db);
                   db.constraint("GEN", "3", "[", "]", "[[", "]]");
                 },
                 kExitOk,
                 {},
                 plainPage("axb [[c]] *d* it's Contents")},
        // Title Line.
        RuleCase{
            "TitleLineMinusOne", [](RuleDb& db) { doc(db, "-1"); }, kExitOk, {}, untitledPage()},
        RuleCase{"TitleLineZero", [](RuleDb& db) { doc(db, "0"); }, kExitOk, {}, untitledPage()},
        RuleCase{"TitleLineTwoToThe31",
                 [](RuleDb& db) { doc(db, "2147483648"); },
                 kExitOk,
                 {},
                 untitledPage()},
        RuleCase{"TitleLineText",
                 [](RuleDb& db) { doc(db, "first"); },
                 kExitRules,
                 {"FileTypes row \"DOC\": Title Line \"first\" is not a whole number"},
                 {}},
        RuleCase{"TitleLineNull",
                 [](RuleDb& db) { doc(db, kNull); },
                 kExitRules,
                 {"FileTypes row \"DOC\": Title Line is empty (NULL)"},
                 {}},
        RuleCase{
            "TitleLineBeyondSixtyFourBitsInATextColumn",
            [](RuleDb& db) {
              db.exec(
                  "DROP TABLE FileTypes; CREATE TABLE FileTypes (Identifier TEXT, Description "
                  "TEXT, "
                  "\"Title Line\" TEXT, \"End of Line\" TEXT, BeginSection TEXT, EndSection TEXT, "
                  "GroupID TEXT)");
              doc(db, "9999999999999999999");
            },
            kExitRules,
            {"FileTypes row \"DOC\": Title Line \"9999999999999999999\" is not a whole number"},
            {}},
        // File types and groups.
        RuleCase{"FileTypeMissing",
                 [](RuleDb&) {},
                 kExitRules,
                 {"FileTypes has no row for \"DOC\" (needed by file \"t.doc\")"},
                 {}},
        RuleCase{"NullBeginSection",
                 [](RuleDb& db) { db.fileType("DOC", "1", kNull, "", "ART"); },
                 kExitRules,
                 {"FileTypes row \"DOC\": BeginSection is empty (NULL)"},
                 {}},
        RuleCase{"NullGroupId",
                 [](RuleDb& db) { doc(db, "1", kNull); },
                 kExitRules,
                 {"FileTypes row \"DOC\": GroupID is empty (NULL)"},
                 {}},
        RuleCase{"GroupMissing",
                 [](RuleDb& db) { doc(db, "1", "NWS"); },
                 kExitRules,
                 {"Groups has no row for \"NWS\" (named by FileTypes row \"DOC\")"},
                 {}},
        RuleCase{"NullGroupHeader",
                 [](RuleDb& db) {
                   doc(db, "1", "NWS");
                   db.group("NWS", kNull, "");
                 },
                 kExitRules,
                 {"Groups row \"NWS\": Header is empty (NULL)"},
                 {}},
        // Settings.
        RuleCase{"IndexPageNameEmpty",
                 [](RuleDb& db) {
                   doc(db);
                   db.setting("IndexPageName", "");
                 },
                 kExitRules,
                 {"GlobalDefs row \"IndexPageName\": Content is empty; the index page needs a file "
                  "name"},
                 {}},
        RuleCase{"IndexPageNameUpward",
                 [](RuleDb& db) {
                   doc(db);
                   db.setting("IndexPageName", "../x.html");
                 },
                 kExitRules,
                 {"GlobalDefs row \"IndexPageName\": \"../x.html\"" + kNotPlain},
                 {}},
        RuleCase{"IndexPageNameAbsolute",
                 [](RuleDb& db) {
                   doc(db);
                   db.setting("IndexPageName", "/etc/x");
                 },
                 kExitRules,
                 {"GlobalDefs row \"IndexPageName\": \"/etc/x\"" + kNotPlain},
                 {}},
        RuleCase{"IndexPageNameInASubdirectory",
                 [](RuleDb& db) {
                   doc(db);
                   db.setting("IndexPageName", "a/b.html");
                 },
                 kExitRules,
                 {"GlobalDefs row \"IndexPageName\": \"a/b.html\"" + kNotPlain},
                 {}},
        RuleCase{"IndexPageNameNull",
                 [](RuleDb& db) {
                   doc(db);
                   db.setting("IndexPageName", kNull);
                 },
                 kExitRules,
                 {"GlobalDefs row \"IndexPageName\": Content is empty (NULL)"},
                 {}},
        // Messages say what is wrong, not what the engine tripped over.
        RuleCase{"TitleLineStoredAsBlob",
                 [](RuleDb& db) {
                   doc(db);
                   db.exec("UPDATE FileTypes SET \"Title Line\" = CAST('01' AS BLOB)");
                 },
                 kExitRules,
                 {"Title Line is stored as binary data (a blob), not as a number"},
                 {}},
        RuleCase{"CaseSensitiveFraction",
                 [](RuleDb& db) {
                   doc(db);
                   db.constraint("GEN", "1", "a", "b")
                       .exec("UPDATE Constraints SET CaseSensitive = 1.5");
                 },
                 kExitRules,
                 {row1("GEN") + "CaseSensitive \"1.5\" is not 0 or 1"},
                 {}},
        RuleCase{"TableWithoutRowid",
                 [](RuleDb& db) {
                   doc(db);
                   db.exec(
                       "CREATE TABLE g2 (ID TEXT PRIMARY KEY, Content TEXT) WITHOUT ROWID;"
                       "INSERT INTO g2 SELECT ID, Content FROM GlobalDefs; DROP TABLE GlobalDefs;"
                       "ALTER TABLE g2 RENAME TO GlobalDefs");
                 },
                 kExitRules,
                 {"table GlobalDefs was made WITHOUT ROWID"},
                 {}},
        RuleCase{"HeaderRowMissing",
                 [](RuleDb& db) {
                   doc(db);
                   db.exec("DELETE FROM GlobalDefs WHERE ID = 'Header'");
                 },
                 kExitRules,
                 {"GlobalDefs has no row for \"Header\""},
                 {}},
        RuleCase{"EveryProblemAtOnce",
                 [](RuleDb& db) {
                   doc(db, "first");
                   db.constraint("GEN", "1", kNull, "y").setting("IndexPageName", "../x.html");
                 },
                 kExitRules,
                 {"Title Line \"first\" is not a whole number",
                  row1("GEN") + "Search String is empty (NULL)",
                  "\"../x.html\" is not a plain file name", "3 problem(s); nothing was written"},
                 {}}),
    [](const auto& info) { return std::string(info.param.name); });

// Group identifiers that hold an apostrophe or the entry markers stay whole
// on the index page.
struct GroupCase {
  const char* name;
  std::string groupId;
};

class GroupCatalogue : public ::testing::TestWithParam<GroupCase> {};

TEST_P(GroupCatalogue, GroupKeepsItsHeaderAndLinks) {
  Site site;
  site.rules()
      .fileType("DOC", "1", "", "", GetParam().groupId)
      .group(GetParam().groupId, "<H2>G</H2>", "<HR>");
  site.input("one.doc", "One\r\n");
  site.input("two.doc", "Two\r\n");
  const ToolResult r = site.run({"--quiet"});
  ASSERT_EQ(r.exitCode, kExitOk) << r.err;
  EXPECT_EQ(site.index(),
            "<HTML><BODY>\r\n<H2>G</H2>\r\n<A HREF=\"lwone.htm\">One</a><BR>\r\n"
            "<A HREF=\"lwtwo.htm\">Two</a><BR>\r\n<HR>\r\n</BODY></HTML>\r\n");
}

INSTANTIATE_TEST_SUITE_P(Catalogue, GroupCatalogue,
                         ::testing::Values(GroupCase{"Apostrophe", "O'K"},
                                           GroupCase{"GroupMarker", "A-=-B"},
                                           GroupCase{"TitleMarker", "X-+-Y"},
                                           GroupCase{"BothMarkers", "-+--=-"},
                                           GroupCase{"Quote", "\"Q\""}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace loom::testing
