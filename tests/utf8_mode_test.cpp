// UTF-8 text: operations, page names and whole runs in the encoding most
// users on this platform have, and Windows-1252 staying byte for byte.

#include <gtest/gtest.h>

#include "app/batch.h"
#include "app/pair.h"
#include "convert/constraint_ops.h"
#include "convert/convert_file.h"
#include "support/memory_file_system.h"
#include "support/rule_db.h"
#include "support/temp_dir.h"

namespace loom {
namespace {

using testing::MemoryFileSystem;
using testing::RuleDb;
using testing::TempDir;

const TextCodec& u8 = utf8Codec();

TEST(Utf8Operations, WorkedExamplesWithMultiByteLetters) {
  EXPECT_EQ(ApplySearchReplace("äxbxc", "x", "ÿÿ", true, u8), "äÿÿbÿÿc");
  EXPECT_EQ(ApplySearchReplace("ÄbÄb", "ä", "ç", false, u8), "çbçb");
  EXPECT_EQ(ApplySearchReplace("ÄbÄb", "ä", "ç", true, u8), "ÄbÄb");
  EXPECT_EQ(ApplySearchReplace("ääää", "ää", "ä", true, u8), "ä");
  EXPECT_EQ(ApplyRemoveBlock("a«b»c«d»e", "«", "»", true, u8), "ace");
  EXPECT_EQ(ApplyRemoveBlock("a«b«c»d»e", "«", "»", true, u8), "ad»e");
  // The end marker is searched from the character after the begin marker's
  // first character, which is two bytes long here.
  EXPECT_EQ(ApplyRemoveBlock("xéééy", "éé", "é", true, u8), "xéy");
  EXPECT_EQ(ApplyReplaceFormatting("a·b·c·d·e", "·", "·", true, "[", "]", u8), "a[b]c[d]e");
  EXPECT_EQ(ApplyReplaceFormattingToEndOfLine("ж:aж:b", "ж:", true, "[", "]", u8), "[aж:b]");
  std::string cut = "  ab ßßcd";
  ApplyRemoveToEndOfLine(cut, "SS", false, u8);
  EXPECT_EQ(cut, "ab ßßcd");  // ß has no simple fold to ss
}

TEST(Utf8Operations, CaseFoldingBeyondLatin) {
  EXPECT_EQ(ApplySearchReplace("ΣΊΣΥΦΟΣ и Сизиф", "σίσυφος", "Sisyphus", false, u8),
            "Sisyphus и Сизиф");
  EXPECT_EQ(ApplySearchReplace("ПРИВЕТ, привет", "Привет", "hi", false, u8), "hi, hi");
  EXPECT_EQ(ApplySearchReplace("ПРИВЕТ", "привет", "hi", true, u8), "ПРИВЕТ");
  // Final sigma folds with sigma, so a case-insensitive match finds it.
  EXPECT_TRUE(u8.find("λόγος", "ΛΌΓΟΣ", 0, false).found());
  // A replacement equal to the search text up to case would never end;
  // the row resumes after what it inserted instead.
  EXPECT_EQ(ApplySearchReplace("ωω", "Ω", "ω", false, u8), "ωω");
}

// The odd classes of Unicode's simple case folding: signs that fold with a
// letter, letters with three forms, partners of different byte lengths or
// outside the BMP, and letters that fold with nothing else.
TEST(Utf8Operations, OddCaseClassesMatchExactlyTheirPartners) {
  constexpr std::size_t none = Match::npos;
  struct Row {
    std::string hay, needle;
    std::size_t pos, length;
  } rows[] = {
      {"x \u212Aelvin", "kelvin", 2, 8},  // Kelvin sign
      {"KELVIN", "\u212Aelvin", 0, 6},
      {"10 \u212B", "\u00E5", 3, 3},  // Angstrom sign, a ring
      {"\u00C5", "\u212B", 0, 2},
      {"Me\u017Fs", "MESS", 0, 5},  // long s
      {"less", "\u017F\u017F", 2, 2},
      {"\u03BB\u03CC\u03B3\u03BF\u03C2", "\u039B\u038C\u0393\u039F\u03A3", 0, 10},  // final sigma
      {"\u03C2", "\u03C3", 0, 2},
      {"x\u01C4", "\u01C5", 1, 2},  // DZ caron: capital, title case, small
      {"\u01C6", "\u01C5", 0, 2},
      {"a\U00010400", "\U00010428", 1, 4},  // Deseret
      {"\U00010428", "\U00010400", 0, 4},
      {"x\u2C65y", "\u023A", 1, 3},  // A with stroke: 2 bytes, small 3 bytes
      {"x\u023Ay", "\u2C65", 1, 2},
      {"Stra\u00DFe", "STRA\u1E9EE", 0, 7},  // sharp s, capital sharp s
      {"\u1E9E", "\u00DF", 0, 3},
      {"ss", "\u00DF", none, 0},
      {"\u0131n", "in", none, 0},  // dotless i, dotted I: only themselves
      {"in", "\u0131n", none, 0},
      {"I", "\u0131", none, 0},
      {"\u0130stanbul", "istanbul", none, 0},
      {"ISTANBUL", "\u0130stanbul", none, 0},
      {"i", "\u0130", none, 0},
      {"\u0131 \u0130", "\u0130", 3, 2},
  };
  for (const Row& r : rows) {
    const Match m = u8.find(r.hay, r.needle, 0, false);
    EXPECT_EQ(m.pos, r.pos) << r.needle << " in " << r.hay;
    if (m.found()) {
      EXPECT_EQ(m.length, r.length) << r.needle << " in " << r.hay;
      EXPECT_TRUE(u8.equalNoCase(r.hay.substr(m.pos, m.length), r.needle));
    }
    // The conversion's quick test that passes over rows must agree.
    PageRules rules;
    rules.constraints.push_back(
        {1, "GEN", ConstraintType::SearchReplace, r.needle, "#", "", "", false});
    const bool replaced =
        ConvertFile(r.hay + "\r\n", "x.txt", rules, PageSettings{}, u8).bytes.find('#') !=
        std::string::npos;
    EXPECT_EQ(replaced, r.pos != none) << r.needle << " in " << r.hay;
  }
  EXPECT_FALSE(u8.find("kelvin", "\u212Aelvin", 0, true).found());
}

TEST(Utf8Operations, InvalidBytesMatchOnlyThemselves) {
  EXPECT_EQ(ApplySearchReplace("a\xFF"
                               "b\xFE",
                               "\xFF", "?", false, u8),
            "a?b\xFE");
  EXPECT_EQ(u8.upper("a\xC3z"), "A\xC3Z");
}

TEST(Utf8PageNames, CutOnWholeCharacters) {
  EXPECT_EQ(pageNameFor("éèêëàâîïö.txt"), "lwêëàâîï.htm");
  EXPECT_EQ(pageNameFor("日本語.txt"), "lw日本語.htm");
  EXPECT_EQ(fileExtension("notes.txt", u8), "TXT");
  EXPECT_EQ(fileExtension("ποίημα.κείμ", u8), "ΚΕΊΜ");
}

class Utf8Run : public ::testing::Test {
 protected:
  TempDir dir;
  RuleDb rules{dir / "rules.mdb"};
  MemoryFileSystem fs;
  struct Recorder : BatchObserver {
    std::vector<std::pair<WarningKind, std::string>> warnings;
    void warning(WarningKind kind, const std::string& message) override {
      warnings.emplace_back(kind, message);
    }
  } observer;

  void SetUp() override {
    rules.fileType("TXT", "1", "", "", "G").group("G", "<H2>G</H2>", "");
    rules.setting("Header", "<html>").setting("Footer", "</html>").setting("EndofLine", "<br>");
    fs.addDirectory("/in/");
    fs.addDirectory("/out/");
  }
  BatchSummary run(std::optional<std::string> encoding = std::nullopt) {
    BatchOptions options;
    options.dirs = {"/in/", "/out/"};
    options.rulesPath = rules.path();
    options.encoding = std::move(encoding);
    return RunBatch(options, fs, observer);
  }
};

TEST_F(Utf8Run, RulesApplyToMultiByteTextAndInvalidBytesPassThroughWithOneWarning) {
  rules.setting("Encoding", "UTF-8");
  rules.constraint("GEN", "1", "привет", "Здравствуйте", " ", " ", "0");
  fs.addFile("/in/письмо.txt", "ПРИВЕТ мир\r\nok\xFF\r\nbad \xC3\x28 twice \xE2\r\n");
  run();
  EXPECT_EQ(fs.contents("/out/lwписьмо.htm"),
            "<html>\r\n<TITLE>Здравствуйте мир</TITLE><br>\r\nok\xFF<br>\r\n"
            "bad \xC3\x28 twice \xE2<br>\r\n</html>\r\n");
  // The Header "<html>" declares no charset: said once, before the files.
  ASSERT_EQ(observer.warnings.size(), 2u);
  EXPECT_EQ(observer.warnings[0].first, WarningKind::CharsetMismatch);
  EXPECT_EQ(observer.warnings[1].first, WarningKind::InvalidText);
  EXPECT_NE(observer.warnings[1].second.find("/in/письмо.txt"), std::string::npos);
  EXPECT_NE(observer.warnings[1].second.find("3 invalid byte(s), the first in line 2 at byte 3"),
            std::string::npos)
      << observer.warnings[1].second;
  // The link to a page whose name is not ASCII is percent-encoded UTF-8.
  EXPECT_NE(fs.contents("/out/index.html")
                .find("<A HREF=\"lw%D0%BF%D0%B8%D1%81%D1%8C%D0%BC%D0%BE.htm\">"),
            std::string::npos);
}

TEST_F(Utf8Run, DatabaseWithoutEncodingRowStaysWindows1252ByteForByte) {
  rules.constraint("GEN", "1", "é", "&eacute;", " ", " ", "0");  // stored as UTF-8
  fs.addFile("/in/a.txt", "caf\xC9 \xE9t\xE9\r\n\x80\x9F\r\n");
  run();
  EXPECT_EQ(fs.contents("/out/lwa.htm"),
            "<html>\r\n<TITLE>caf&eacute; &eacute;t&eacute;</TITLE><br>\r\n\x80\x9F<br>\r\n"
            "</html>\r\n");
  EXPECT_TRUE(observer.warnings.empty());
}

TEST_F(Utf8Run, EncodingOptionOverridesTheRowAndBadNamesAreRefused) {
  rules.setting("Encoding", "utf-8");
  fs.addFile("/in/a.txt", "\xE9\r\n");
  run(std::string("Windows-1252"));
  EXPECT_TRUE(observer.warnings.empty());
  EXPECT_THROW(run(std::string("latin-9")), ValidationError);
  rules.setting("Encoding", "ebcdic");
  try {
    run();
    FAIL() << "no error for a bad Encoding row";
  } catch (const ValidationError& e) {
    EXPECT_NE(std::string(e.what()).find("GlobalDefs row \"Encoding\""), std::string::npos);
  }
}

}  // namespace
}  // namespace loom
