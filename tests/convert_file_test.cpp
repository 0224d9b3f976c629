// SPDX-License-Identifier: MIT
// One input file to the bytes of its page and its title.

#include "convert/convert_file.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "convert/constraint_ops.h"

namespace loom {
namespace {

using K = ConstraintType;
const TextCodec& u8 = utf8Codec();
constexpr K SR = K::SearchReplace, RB = K::RemoveBlock, RF = K::ReplaceFormatting,
            HL = K::HeaderLine;

CompiledConstraint row(K kind, std::string search, std::string replace, bool cs = true,
                       std::string front = "", std::string back = "") {
  return {0, "", kind, search, replace, front, back, cs, nullptr};
}

struct Case {
  std::string contents;
  std::int64_t titleLine;
  std::string page;  // between "H\r\n" and "F\r\n", the end-of-line tag ""
  std::vector<CompiledConstraint> rows = {};
  std::string title = "";  // "" for the path
  LineEnds ends = LineEnds::CrLf;
  LineLayout lines = LineLayout::Trim;
};

TEST(ConvertFile, WorkedFilesAndHeaderFooterSectionTexts) {
  std::string every;
  for (int b = 0x80; b <= 0xFF; ++b) every.push_back(static_cast<char>(b));
  every += std::string("\0\x01\x7F", 3);
  const std::string lines = "a\r\nb\rc\nd\r\n\re";
  std::string many, manyPage;  // line numbers beyond 16 bits
  for (int i = 1; i <= 40000; ++i) {
    many += "line " + std::to_string(i) + "\r\n";
    manyPage += (i < 40000 ? "L " + std::to_string(i) : "<TITLE>L 40000</TITLE>") + "\r\n";
  }
  // A huge last line is converted in the buffer the caller gave away, whatever ends it.
  const std::string huge(kHugeLine, 'h'), hugeBang = huge.substr(1) + "!";
  const std::vector<CompiledConstraint> mixed = {
      row(RB, "[", "]"), row(RF, "*", "*", true, "<B>", "</B>"),
      row(RF, "=> ", "(EOL)", true, "<LI>", "</LI>"), row(RB, "##", "(EOL)")};
  const std::vector<Case> cases = {
      {"one\r\ntwo\r\nthree", 3, "one\r\ntwo\r\n<TITLE>three</TITLE>\r\n", {}, "three"},
      {"one\r\ntwo\r\nthree", 0, "one\r\ntwo\r\nthree\r\n"},
      {"one\r\ntwo\r\nthree", 4, "one\r\ntwo\r\nthree\r\n"},  // one past the last line
      {"one\r\ntwo", -32769, "one\r\ntwo\r\n"},
      // The title line is wrapped after the rows; a blank one gives empty tags.
      {"a\r\n  Co \r\nb", 2, "a\r\n<TITLE><H>c</TITLE>\r\nb\r\n", {row(HL, "Co", "<H>c")}, "<H>c"},
      {"xx  \r\nbody", 1, "<TITLE></TITLE>\r\nbody\r\n", {row(SR, "x", "")}},
      {"\r\n   \r\n\r\n", 1, "<TITLE></TITLE>\r\n"},
      // Spaces are trimmed, tabs not; blank lines are dropped.
      {"   Hello world   \r\n     \r\n\r\n\t\r\n \tx\t \r\n", 0, "Hello world\r\n\t\r\n\tx\t\r\n"},
      {every + "\r\n", 1, "<TITLE>" + every + "</TITLE>\r\n", {}, every},
      {lines, 0, "a\r\nb\r\nc\nd\r\ne\r\n"},
      {lines, 0, "a\r\nb\r\nc\r\nd\r\ne\r\n", {}, "", LineEnds::Any},
      {"a\n\rb\r\n\nc", 0, "a\r\nb\r\nc\r\n", {}, "", LineEnds::Any},  // LF CR: two line ends
      // Rows apply in their order, each seeing the result of the one before.
      {"aXa", 0, "cXc\r\n", {row(SR, "a", "b"), row(SR, "b", "c")}},
      {"a[x]*b*\r\n=> item ## note\r\n  keep  ", 0, "a<B>b</B>\r\n<LI>item\r\nkeep\r\n", mixed},
      {"xAB", 0, "xc\r\n", {row(SR, "ab", "c", false)}},
      {many, 40000, manyPage, {row(SR, "line", "L")}, "L 40000"},
      {"x*AB*", 0, "x<>\r\n", {row(RF, "*a", "b*", false, "<", ">")}},
      {"a\r\n" + hugeBang + "\r\n",
       0,
       "a\r\n" + huge.substr(2) + "<X>\r\n",
       {row(SR, "h!", "<X>")}},
      {"a\r" + huge + "\r", 2, "a\r\n<TITLE>" + huge + "</TITLE>\r\n", {}, huge},
      {"a\n" + huge + "\n", 0, "a\r\n" + huge + "\r\n", {}, "", LineEnds::Any},
      {huge + "\r\nb", 0, huge + "\r\nb\r\n"},
      {"a\r\n  " + huge, 0, "a\r\n" + huge + "\r\n"},
      // Kept as laid out: leading blanks and blank lines stay, trailing blanks go; the title
      // is trimmed, and rows still see (and may trim) the line as read.
      {"  Hello  \r\n   \r\n\r\n\tx\t \r\n",
       0,
       "  Hello\r\n\r\n\r\n\tx\r\n",
       {},
       "",
       LineEnds::CrLf,
       LineLayout::Keep},
      {"   T  \n\n  b // c\n",
       1,
       "<TITLE>T</TITLE>\r\n\r\nb\r\n",
       {row(RB, "//", "(EOL)")},
       "T",
       LineEnds::Any,
       LineLayout::Keep},
      {"  a" + huge, 0, "  a" + huge + "\r\n", {}, "", LineEnds::CrLf, LineLayout::Keep}};
  for (const Case& c : cases) {
    PageRules rules{c.titleLine, "", "", c.rows, nullptr};
    const PageSettings settings{"H", "F", "", c.ends, false, c.lines};
    for (const bool screened : {false, true}) {  // with the screen that passes over rows
      if (screened) compileRows(rules, windows1252Codec());
      const ConvertedPage page =
          ConvertFile(c.contents, "/in/a.txt", rules, settings, windows1252Codec());
      EXPECT_EQ(page.bytes, "H\r\n" + c.page + "F\r\n") << c.contents.substr(0, 40) << screened;
      EXPECT_EQ(page.title, c.title.empty() ? "/in/a.txt" : c.title) << c.contents.substr(0, 40);
      const ConvertedPage given =  // the contents given away, as a run gives them
          ConvertOwnedFile(std::string(c.contents), "/in/a.txt", rules, settings,
                           windows1252Codec());
      EXPECT_TRUE(given.bytes == page.bytes && given.title == page.title)
          << c.contents.substr(0, 40);
    }
  }
  // Header, footer, section begin and end, the page, the file.
  const std::array<std::string, 6> rows[] = {
      {"<B>", "</B>", "<D>", "</D>", "<B>\r\n<D>\r\n</D>\r\n</B>\r\n", ""},
      {"", "", "", "", "\r\na<P>\r\n\r\n", "a"},  // an empty header still gives a first line
      {"H", "F", "  <DIV>", "</DIV>  ", "H\r\n  <DIV>\r\na<P>\r\n</DIV>  \r\nF\r\n", "a"}};
  for (const auto& [header, footer, begin, end, want, contents] : rows) {
    const PageRules rules{contents.empty() ? 1 : 0, begin, end, {}, nullptr};  // no title if empty
    const ConvertedPage page = ConvertFile(contents, "  /in/a.txt  ", rules,
                                           PageSettings{header, footer, "<P>"}, windows1252Codec());
    EXPECT_EQ(page.bytes, want);
    EXPECT_EQ(page.title, "/in/a.txt");
  }
}

// With EscapeText, "&", "<" and ">" from the source become references while
// what the rows insert stays HTML; rows still match the source as it was.
TEST(ConvertFile, EscapedTextKeepsTheMarkupOfTheRows) {
  struct Case {
    const char* line;
    std::vector<CompiledConstraint> rows;
    std::string escaped, verbatim;  // the page line with EscapeText and without
    const TextCodec& codec = windows1252Codec();
  };
  const std::vector<CompiledConstraint> three = {
      row(SR, "<x>", "<B>x</B>"), row(RF, "[", "]", true, "<I>", "</I>"), row(SR, "->", "&rarr;")};
  const std::vector<Case> cases = {
      {"see <x> here", three, "see <B>x</B> here", "see <B>x</B> here"},
      {"[a<b] end", three, "<I>a&lt;b</I> end", "<I>a<b</I> end"},
      // A row that matches what an earlier row inserted.
      {"<x>&<x>", {three[0], row(SR, "<B>", "<S>")}, "<S>x</B>&amp;<S>x</B>", "<S>x</B>&<S>x</B>"},
      // Formatting markers that are "<" and ">" themselves.
      {"1 <em> 2 > 0", {row(RF, "<", ">", true, "[", "]")}, "1 [em] 2 &gt; 0", "1 [em] 2 > 0"},
      {"a <!-- hidden & <b> --> b & c", {row(RB, "<!--", "-->")}, "a  b &amp; c", "a  b & c"},
      {"  <keep> & // drop <that>", {row(RB, "//", "(EOL)")}, "&lt;keep&gt; &amp;", "<keep> &"},
      {"# A&B", {row(RF, "#", "(EOL)", true, "<H>", "</H>")}, "<H> A&amp;B</H>", "<H> A&B</H>"},
      {" Q&A ", {row(HL, "Q&A", "<H2>Q&amp;A</H2>")}, "<H2>Q&amp;A</H2>", "<H2>Q&amp;A</H2>"},
      // A case-insensitive hit that is longer in bytes than the search text.
      {"Maß & <Co>", {row(SR, "ẞ", "<SS>", false)}, "Ma<SS> &amp; &lt;Co&gt;", "Ma<SS> & <Co>", u8},
      {"a<b>c", {row(SR, "b", "&", true)}, "a&lt;&&gt;c", "a<&>c", u8},
      // Rewrites work in the buffers that the ones before them left behind.
      {"[x]y\r\n*a*[x]< then 1 > 0 &",
       {row(RF, "*", "*", true, "<B>", "</B>"), row(RB, "[", "]"), row(SR, "a", "A")},
       "y\r\n<B>A</B>&lt; then 1 &gt; 0 &amp;",
       "y\r\n<B>A</B>< then 1 > 0 &"}};
  for (const Case& c : cases) {
    const PageRules r{0, "", "", c.rows, nullptr};
    for (const bool escape : {true, false}) {
      const PageSettings s{"H", "F", "", LineEnds::CrLf, escape};
      EXPECT_EQ(ConvertFile(c.line, "/in/a.txt", r, s, c.codec).bytes,
                "H\r\n" + (escape ? c.escaped : c.verbatim) + "\r\nF\r\n")
          << c.line << (escape ? " escaped" : " verbatim");
    }
  }
  const PageRules titled{1, "", "", {}, nullptr};  // the escaped title is what the index link shows
  const PageSettings s{"H", "F", "<P>", LineEnds::CrLf, true};
  const ConvertedPage page = ConvertFile("Q&A <intro>\r\nbody", "p", titled, s, windows1252Codec());
  EXPECT_EQ(page.title, "Q&amp;A &lt;intro&gt;");
  EXPECT_EQ(page.bytes, "H\r\n<TITLE>Q&amp;A &lt;intro&gt;</TITLE><P>\r\nbody<P>\r\nF\r\n");
  EXPECT_EQ(ConvertFile("", "/in/R&D <1>.txt", titled, s, windows1252Codec()).title,
            "/in/R&amp;D &lt;1&gt;.txt");
  const PageSettings kept{"H", "F", "", LineEnds::Any, true, LineLayout::Keep};
  EXPECT_EQ(ConvertFile(" <T> \n\n  a<b  \n", "p", titled, kept, windows1252Codec()).bytes,
            "H\r\n<TITLE>&lt;T&gt;</TITLE>\r\n\r\n  a&lt;b\r\nF\r\n");
  // A huge line of blanks is a blank line like any other: dropped, or kept empty.
  const std::string blanks(kHugeLine, ' ');
  for (const LineLayout lines : {LineLayout::Trim, LineLayout::Keep}) {
    const PageSettings huge{"H", "F", "<P>", LineEnds::Any, true, lines};
    EXPECT_EQ(ConvertFile(" T \n" + blanks + "\n", "p", titled, huge, windows1252Codec()).bytes,
              std::string("H\r\n<TITLE>T</TITLE><P>\r\n") +
                  (lines == LineLayout::Keep ? "\r\n" : "") + "F\r\n");
  }
}

}  // namespace
}  // namespace loom
