// One input file to the bytes of its page and its title.

#include "convert/convert_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace loom {
namespace {

PageSettings settings(std::string header = "<HTML><BODY>", std::string footer = "</BODY></HTML>",
                      std::string tag = "<P>") {
  return {std::move(header), std::move(footer), std::move(tag)};
}

PageRules rules(std::int64_t titleLine = 0, std::string begin = "", std::string end = "") {
  PageRules r;
  r.titleLine = titleLine;
  r.beginSection = std::move(begin);
  r.endSection = std::move(end);
  return r;
}

CompiledConstraint row(ConstraintType kind, std::string search, std::string replace,
                       bool caseSensitive = true, std::string front = "", std::string back = "") {
  CompiledConstraint r;
  r.type = kind;
  r.searchString = std::move(search);
  r.replaceString = std::move(replace);
  r.rFirst = std::move(front);
  r.rLast = std::move(back);
  r.caseSensitive = caseSensitive;
  return r;
}

ConvertedPage convert(const std::string& contents, const PageRules& r,
                      const PageSettings& s = settings(), const std::string& path = "/in/a.txt") {
  return ConvertFile(contents, path, r, s, windows1252Codec());
}

TEST(ConvertFile, EmptyFileGivesTheFrameAndThePathAsTitle) {
  const ConvertedPage page = convert("", rules(1, "<DIV>", "</DIV>"), settings(), "  /in/a.txt  ");
  EXPECT_EQ(page.bytes, "<HTML><BODY>\r\n<DIV>\r\n</DIV>\r\n</BODY></HTML>\r\n");
  EXPECT_EQ(page.title, "/in/a.txt");
}

TEST(ConvertFile, TitleLineOutsideTheFileGivesNoTitle) {
  for (const std::int64_t titleLine : {0, 3, 4, 70000, -1, -32769}) {
    const ConvertedPage page = convert("one\r\ntwo\r\nthree", rules(titleLine));
    EXPECT_EQ(page.title, titleLine == 3 ? "three" : "/in/a.txt") << titleLine;
    EXPECT_EQ(page.bytes.find("<TITLE>") != std::string::npos, titleLine == 3) << titleLine;
  }
}

TEST(ConvertFile, TitleLineIsWrappedAfterTheConstraints) {
  PageRules r = rules(2);
  r.constraints.push_back(row(ConstraintType::HeaderLine, "Contents", "<H1>Contents</H1>"));
  const ConvertedPage page = convert("first\r\n  Contents \r\nlast", r);
  EXPECT_EQ(page.title, "<H1>Contents</H1>");
  EXPECT_EQ(page.bytes,
            "<HTML><BODY>\r\nfirst<P>\r\n<TITLE><H1>Contents</H1></TITLE><P>\r\nlast<P>\r\n"
            "</BODY></HTML>\r\n");
}

TEST(ConvertFile, BlankTitleLineGivesEmptyTitleTagsAndThePathAsTitle) {
  PageRules r = rules(1);
  r.constraints.push_back(row(ConstraintType::SearchReplace, "x", ""));
  const ConvertedPage page = convert("xx  \r\nbody", r, settings("H", "F"));
  EXPECT_EQ(page.bytes, "H\r\n<TITLE></TITLE><P>\r\nbody<P>\r\nF\r\n");
  EXPECT_EQ(page.title, "/in/a.txt");
}

TEST(ConvertFile, TrimsSpacesButNotTabsAndDropsBlankLines) {
  const ConvertedPage page =
      convert("   Hello world   \r\n     \r\n\r\n\t\r\n \tx\t \r\n", rules(), settings("H", "F"));
  EXPECT_EQ(page.bytes, "H\r\nHello world<P>\r\n\t<P>\r\n\tx\t<P>\r\nF\r\n");
}

TEST(ConvertFile, LinesEndAsTheLineEndsSettingSays) {
  struct Case {
    std::string contents;
    LineEnds ends;
    std::string lines;  // between "H\r\n" and "F\r\n"
  };
  for (const Case& c : std::vector<Case>{
           {"a\r\nb\rc\nd\r\n\re", LineEnds::CrLf, "a\r\nb\r\nc\nd\r\ne\r\n"},
           {"a\r\nb\rc\nd\r\n\re", LineEnds::Any, "a\r\nb\r\nc\r\nd\r\ne\r\n"},
           {"last\r\n", LineEnds::CrLf, "last\r\n"},
           {"one\ntwo\n\nthree", LineEnds::Any, "one\r\ntwo\r\nthree\r\n"},
           // LF CR is two line ends; CR LF one.
           {"a\n\rb\r\n\nc", LineEnds::Any, "a\r\nb\r\nc\r\n"},
           {"\n\n", LineEnds::Any, ""},
           {"a\rb\rc", LineEnds::Any, "a\r\nb\r\nc\r\n"},
       }) {
    PageSettings s = settings("H", "F", "");
    s.lineEnds = c.ends;
    EXPECT_EQ(convert(c.contents, rules(), s).bytes, "H\r\n" + c.lines + "F\r\n") << c.contents;
  }
}

TEST(ConvertFile, EmptyHeaderStillGivesAFirstLineAndMultiLineTextsStayWhole) {
  EXPECT_EQ(convert("a", rules(), settings("", "")).bytes, "\r\na<P>\r\n\r\n");
  EXPECT_EQ(convert("a", rules(0, "<DIV>\nx", ""), settings("<HTML>\r\n<BODY>", "</BODY>")).bytes,
            "<HTML>\r\n<BODY>\r\n<DIV>\nx\r\na<P>\r\n</BODY>\r\n");
  // A section text keeps its own leading spaces.
  EXPECT_EQ(convert("a", rules(0, "  <DIV>", "</DIV>  "), settings("H", "F")).bytes,
            "H\r\n  <DIV>\r\na<P>\r\n</DIV>  \r\nF\r\n");
}

TEST(ConvertFile, RowsApplyInTheirOrderEachSeeingTheResultOfTheOneBefore) {
  PageRules aThenB = rules();
  aThenB.constraints = {row(ConstraintType::SearchReplace, "a", "b"),
                        row(ConstraintType::SearchReplace, "b", "c")};
  EXPECT_EQ(convert("aXa", aThenB, settings("H", "F", "")).bytes, "H\r\ncXc\r\nF\r\n");
  PageRules bThenA = rules();
  bThenA.constraints = {aThenB.constraints[1], aThenB.constraints[0]};
  EXPECT_EQ(convert("aXa", bThenA, settings("H", "F", "")).bytes, "H\r\nbXb\r\nF\r\n");
}

TEST(ConvertFile, EveryKindOfRowReachesItsOperation) {
  PageRules r = rules();
  r.constraints = {row(ConstraintType::RemoveBlock, "[", "]"),
                   row(ConstraintType::ReplaceFormatting, "*", "*", true, "<B>", "</B>"),
                   row(ConstraintType::ReplaceFormatting, "=> ", "(EOL)", true, "<LI>", "</LI>"),
                   row(ConstraintType::RemoveBlock, "##", "(EOL)")};
  EXPECT_EQ(convert("a[x]*b*\r\n=> item ## note\r\n  keep  ", r, settings("H", "F", "")).bytes,
            "H\r\na<B>b</B>\r\n<LI>item\r\nkeep\r\nF\r\n");
}

// With EscapeText, "&", "<" and ">" from the source become references while
// what the rows insert stays HTML; rows still match the source as it was.
TEST(ConvertFile, EscapedTextKeepsTheMarkupOfTheRows) {
  using K = ConstraintType;
  struct Case {
    const char* line;
    std::vector<CompiledConstraint> rows;
    std::string escaped;   // the page line with EscapeText
    std::string verbatim;  // and without
    const TextCodec& codec = windows1252Codec();
  };
  const auto tag = row(K::SearchReplace, "<x>", "<B>x</B>");
  const auto italic = row(K::ReplaceFormatting, "[", "]", true, "<I>", "</I>");
  const auto arrow = row(K::SearchReplace, "->", "&rarr;");
  const std::vector<Case> cases = {
      {"see <x> here", {tag, italic, arrow}, "see <B>x</B> here", "see <B>x</B> here"},
      {"[a<b] end", {tag, italic, arrow}, "<I>a&lt;b</I> end", "<I>a<b</I> end"},
      {"x -> y & z", {tag, italic, arrow}, "x &rarr; y &amp; z", "x &rarr; y & z"},
      // A row that matches what an earlier row inserted.
      {"<x> & <x>",
       {tag, row(K::SearchReplace, "<B>", "<STRONG>")},
       "<STRONG>x</B> &amp; <STRONG>x</B>",
       "<STRONG>x</B> & <STRONG>x</B>"},
      // Formatting markers that are "<" and ">" themselves.
      {"1 <em> 2 > 0",
       {row(K::ReplaceFormatting, "<", ">", true, "[", "]")},
       "1 [em] 2 &gt; 0",
       "1 [em] 2 > 0"},
      {"a <!-- hidden & <b> --> b & c",
       {row(K::RemoveBlock, "<!--", "-->")},
       "a  b &amp; c",
       "a  b & c"},
      {"  <keep> & // drop <that>",
       {row(K::RemoveBlock, "//", "(EOL)")},
       "&lt;keep&gt; &amp;",
       "<keep> &"},
      {"# A&B",
       {row(K::ReplaceFormatting, "#", "(EOL)", true, "<H1>", "</H1>")},
       "<H1> A&amp;B</H1>",
       "<H1> A&B</H1>"},
      {" Q&A ",
       {row(K::HeaderLine, "Q&A", "<H2>Q&amp;A</H2>")},
       "<H2>Q&amp;A</H2>",
       "<H2>Q&amp;A</H2>"},
      // A case-insensitive hit that is longer in bytes than the search text.
      {"Maß & <Co>",
       {row(K::SearchReplace, "ẞ", "<SS>", false)},
       "Ma<SS> &amp; &lt;Co&gt;",
       "Ma<SS> & <Co>",
       utf8Codec()},
      {"a<b>c", {row(K::SearchReplace, "b", "&", true)}, "a&lt;&&gt;c", "a<&>c", utf8Codec()},
  };
  for (const Case& c : cases) {
    PageRules r = rules();
    r.constraints = c.rows;
    for (const bool escape : {true, false}) {
      PageSettings s = settings("H", "F", "");
      s.escapeText = escape;
      EXPECT_EQ(ConvertFile(c.line, "/in/a.txt", r, s, c.codec).bytes,
                "H\r\n" + (escape ? c.escaped : c.verbatim) + "\r\nF\r\n")
          << c.line << (escape ? " escaped" : " verbatim");
    }
  }
}

TEST(ConvertFile, EscapedTitleIsWhatTheIndexLinkShows) {
  PageSettings s = settings("H", "F", "<P>");
  s.escapeText = true;
  const ConvertedPage titled = convert("Q&A <intro>\r\nbody", rules(1), s);
  EXPECT_EQ(titled.title, "Q&amp;A &lt;intro&gt;");
  EXPECT_EQ(titled.bytes, "H\r\n<TITLE>Q&amp;A &lt;intro&gt;</TITLE><P>\r\nbody<P>\r\nF\r\n");
  EXPECT_EQ(convert("", rules(1), s, "/in/R&D <1>.txt").title, "/in/R&amp;D &lt;1&gt;.txt");
}

TEST(ConvertFile, KeepsEveryByteOfTheLine) {
  std::string line;
  for (int b = 0x80; b <= 0xFF; ++b) line.push_back(static_cast<char>(b));
  line += std::string("\0\x01\x7F", 3);
  const ConvertedPage page = convert(line + "\r\n", rules(1), settings("H", "F", ""));
  EXPECT_EQ(page.bytes, "H\r\n<TITLE>" + line + "</TITLE>\r\nF\r\n");
  EXPECT_EQ(page.title, line);
}

TEST(ConvertFile, ManyLinesAndLongLinesConvert) {
  std::string contents;
  for (int i = 1; i <= 40000; ++i) contents += "line " + std::to_string(i) + "\r\n";
  PageRules many = rules(40000);
  many.constraints.push_back(row(ConstraintType::SearchReplace, "line", "L"));
  const ConvertedPage page = convert(contents, many, settings("H", "F"));
  EXPECT_EQ(page.title, "L 40000");
  EXPECT_NE(page.bytes.find("\r\nL 32768<P>\r\nL 32769<P>\r\n"), std::string::npos);
  EXPECT_TRUE(page.bytes.ends_with("<TITLE>L 40000</TITLE><P>\r\nF\r\n"));

  std::string longLine(100000, 'a');
  longLine[99000] = '*';
  longLine[99500] = '*';
  PageRules wide = rules();
  wide.constraints.push_back(row(ConstraintType::ReplaceFormatting, "*", "*", true, "<I>", "</I>"));
  const ConvertedPage widePage = convert(longLine, wide, settings("", "", ""));
  ASSERT_EQ(widePage.bytes.size(), 2 + 100000 - 2 + 7 + 2 + 2);
  EXPECT_EQ(widePage.bytes.substr(2 + 99000, 4), "<I>a");
  EXPECT_EQ(widePage.bytes.substr(2 + 99000 + 3 + 498, 5), "a</I>");
}

}  // namespace
}  // namespace loom
