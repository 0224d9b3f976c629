// The four constraint operations on worked lines: each row is a line, the
// operands and the line the operation must give.

#include "convert/constraint_ops.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace loom {
namespace {

constexpr bool kCase = true;
constexpr bool kNoCase = false;

struct SearchReplaceRow {
  std::string line, search, replacement;
  bool caseSensitive;
  std::string expected;
};

TEST(ApplySearchReplace, WorkedLines) {
  const std::vector<SearchReplaceRow> rows = {
      {"axbxc", "x", "yy", kCase, "ayybyyc"},
      {"AbAb", "a", "c", kNoCase, "cbcb"},
      {"AbAb", "a", "c", kCase, "AbAb"},
      // Resumes at the hit: each shortening is searched again.
      {"aaaa", "aa", "a", kCase, "a"},
      {"aaaaa", "aa", "a", kCase, "a"},
      // A leading double quote inserts one double quote, never the replacement.
      {"a\"xb", "\"x", "y", kCase, "a\"b"},
      {"a\"\"\"b\"\"c\"d", "\"\"", "ignored", kCase, "a\"b\"c\"d"},
      // A leading single quote inserts one single quote.
      {"a'xb'x", "'x", "zz", kCase, "a'b'"},
      // A replacement that was spaces only reaches the operation empty.
      {"axbxc", "x", "", kCase, "abc"},
      {"", "x", "y", kCase, ""},
      {"abc", "abcd", "y", kCase, "abc"},
      {"abc", "abc", "", kCase, ""},
      // A hit that straddles the inserted text and the rest is taken too.
      {"abb", "ab", "xa", kCase, "xxa"},
      // Rows that never finish a line resume after the inserted text.
      {"axbx", "x", "xx", kCase, "axxbxx"},
      {"x", "x", "<x>", kCase, "<x>"},
      {"aAb", "a", "A", kNoCase, "AAb"},
      {"aAb", "a", "A", kCase, "AAb"},
      {"a'b'", "'", "zzz", kCase, "a'b'"},
      {"a\"b", "\"", "q", kCase, "a\"b"},
      {"abAB", "ab", "xAB", kNoCase, "xABxAB"},
  };
  for (const SearchReplaceRow& r : rows) {
    EXPECT_EQ(ApplySearchReplace(r.line, r.search, r.replacement, r.caseSensitive), r.expected)
        << "line \"" << r.line << "\" search \"" << r.search << "\" replacement \"" << r.replacement
        << "\" case " << r.caseSensitive;
  }
}

TEST(ApplySearchReplace, HitsBeyondSixteenBitPositions) {
  std::string line(100000, 'a');
  line.replace(99990, 3, "xyz");
  const std::string result = ApplySearchReplace(line, "xyz", "Q", kCase);
  EXPECT_EQ(result.size(), 99998u);
  EXPECT_EQ(result.substr(99988, 4), "aaQa");
}

struct BlockRow {
  std::string line, begin, end;
  bool caseSensitive;
  std::string expected;
};

TEST(ApplyRemoveBlock, WorkedLines) {
  const std::vector<BlockRow> rows = {
      {"a[b]c[d]e", "[", "]", kCase, "ace"},
      {"a[b[c]d]e", "[", "]", kCase, "ad]e"},
      {"a[bc", "[", "]", kCase, "a[bc"},
      {"a*b*c*d", "*", "*", kCase, "ac*d"},
      {"[all]", "[", "]", kCase, ""},
      {"a]b[c", "[", "]", kCase, "a]b[c"},
      {"x<B>bold</b>y", "<b>", "</B>", kNoCase, "xy"},
      {"x<B>bold</b>y", "<b>", "</B>", kCase, "x<B>bold</b>y"},
      // An end marker that starts inside the begin marker closes the block.
      {"xaby", "ab", "b", kCase, "xy"},
      {"xabcy", "abc", "b", kCase, "xcy"},
      // Only "(EOL)" exactly is the end-of-line marker.
      {"a[b(eol)c", "[", "(eol)", kCase, "ac"},
      {"a[b(EOL)c", "[", "(eol)", kCase, "a[b(EOL)c"},
      {"a[b (EOL)c", "[", " (EOL)", kCase, "ac"},
      {"  a[b(eol)c  ", "[", "(EOL)", kCase, "a"},
      // Empty markers change nothing.
      {" a[b]c ", "", "]", kCase, " a[b]c "},
      {" a[b]c ", "[", "", kCase, " a[b]c "},
  };
  for (const BlockRow& r : rows) {
    EXPECT_EQ(ApplyRemoveBlock(r.line, r.begin, r.end, r.caseSensitive), r.expected)
        << "line \"" << r.line << "\" begin \"" << r.begin << "\" end \"" << r.end << "\"";
  }
}

TEST(ApplyRemoveToEndOfLine, CutsAtTheFirstBeginMarkerAndTrims) {
  const std::vector<BlockRow> rows = {
      {"  ab xxcd", "xx", "", kCase, "ab"},     {"  ab  ", "xx", "", kCase, "ab"},
      {"\tab xx", "xx", "", kCase, "\tab"},     {"a xx b xx c", "xx", "", kCase, "a"},
      {"a XX b", "xx", "", kNoCase, "a"},       {"a XX b", "xx", "", kCase, "a XX b"},
      {"xx at the start", "xx", "", kCase, ""}, {"  untouched  ", "", "", kCase, "  untouched  "},
  };
  for (const BlockRow& r : rows) {
    std::string line = r.line;
    ApplyRemoveToEndOfLine(line, r.begin, r.caseSensitive);
    EXPECT_EQ(line, r.expected) << "line \"" << r.line << "\" begin \"" << r.begin << "\"";
  }
}

struct FormattingRow {
  std::string line, begin, end, front, back;
  bool caseSensitive;
  std::string expected;
};

TEST(ApplyReplaceFormatting, WorkedLines) {
  const std::vector<FormattingRow> rows = {
      {"a*b*c", "*", "*", "[", "]", kCase, "a[b]c"},
      {"a*b*c*d*e", "*", "*", "[", "]", kCase, "a[b]c[d]e"},
      {"xabyycz", "ab", "c", "[", "]", kCase, "x[yy]z"},
      {"a*b", "*", "*", "[", "]", kCase, "a*b"},
      {"**", "*", "*", "<I>", "</I>", kCase, "<I></I>"},
      {"<b>x</B>", "<B>", "</b>", "[", "]", kNoCase, "[x]"},
      // The front text holds the begin marker but no end follows: it ends.
      {"a*b#c", "*", "#", "*", "", kCase, "a*bc"},
      // An end marker starting inside the begin marker: empty middle, the
      // rest after the end marker stays.
      {"xabyb", "ab", "b", "[", "]", kCase, "x[]yb"},
      {"xabcy", "abc", "b", "[", "]", kCase, "x[]cy"},
      // Front and back that make a new block every time resume after it.
      {"a*b*c", "*", "*", "*", "*", kCase, "a*b*c"},
      {"a*b*c*d*e", "*", "*", "<*", "*>", kCase, "a<*b*>c<*d*>e"},
      {"_x_", "_", "_", "<I>_", "_</I>", kCase, "<I>_x_</I>"},
      // Only "(EOL)" exactly switches to the end-of-line variant.
      {"k:ak:b", "k:", "(EOL)", "[", "]", kCase, "[ak:b]"},
      {"k:a(eol)b", "k:", "(eol)", "[", "]", kCase, "[a]b"},
      // Empty markers change nothing.
      {"a*b*c", "", "*", "[", "]", kCase, "a*b*c"},
      {"a*b*c", "*", "", "[", "]", kCase, "a*b*c"},
  };
  for (const FormattingRow& r : rows) {
    EXPECT_EQ(ApplyReplaceFormatting(r.line, r.begin, r.end, r.caseSensitive, r.front, r.back),
              r.expected)
        << "line \"" << r.line << "\" begin \"" << r.begin << "\" end \"" << r.end << "\" front \""
        << r.front << "\" back \"" << r.back << "\"";
  }
}

TEST(ApplyReplaceFormattingToEndOfLine, WorkedLines) {
  const std::vector<FormattingRow> rows = {
      {"k:ak:b", "k:", "", "[", "]", kCase, "[ak:b]"},
      {"no marker", "k:", "", "[", "]", kCase, "no marker"},
      {" x k:y ", "k:", "", "[", "]", kCase, " x [y ]"},
      {"=> item", "=> ", "", "<LI>", "</LI>", kCase, "<LI>item</LI>"},
      {"K:a", "k:", "", "[", "]", kNoCase, "[a]"},
      {"K:a", "k:", "", "[", "]", kCase, "K:a"},
      {" k:a ", "", "", "[", "]", kCase, " k:a "},
  };
  for (const FormattingRow& r : rows) {
    EXPECT_EQ(ApplyReplaceFormattingToEndOfLine(r.line, r.begin, r.caseSensitive, r.front, r.back),
              r.expected)
        << "line \"" << r.line << "\" begin \"" << r.begin << "\"";
  }
}

TEST(ApplyHeaderLine, MatchesTheWholeTrimmedLineCaseSensitively) {
  struct Row {
    std::string line, header, replacement, expected;
  };
  const std::vector<Row> rows = {
      {"  Contents  ", "Contents", "<H2>Contents</H2>", "<H2>Contents</H2>"},
      {"Contents", "  Contents ", " <H2>C</H2> ", " <H2>C</H2> "},
      {"Contents of the file", "Contents", "<H2>", "Contents of the file"},
      {"contents", "Contents", "<H2>", "contents"},
      {"\tContents", "Contents", "<H2>", "\tContents"},
      {"", "", "<HR>", "<HR>"},
      {"   ", "", "<HR>", "<HR>"},
  };
  for (const Row& r : rows) {
    std::string line = r.line;
    ApplyHeaderLine(line, r.header, r.replacement);
    EXPECT_EQ(line, r.expected) << "line \"" << r.line << "\" header \"" << r.header << "\"";
  }
}

// Case-insensitive rows fold the letters of Windows-1252 beyond A-Z (the
// codec's find table holds the full list).
TEST(ConstraintOperations, FoldWindows1252LettersWhenCaseIsIgnored) {
  EXPECT_EQ(ApplySearchReplace("caf\xC9", "\xE9", "e", kNoCase), "cafe");
  EXPECT_EQ(ApplySearchReplace("\xDF\xD7", "\xFF", "#", kNoCase), "\xDF\xD7");
  EXPECT_EQ(ApplyRemoveBlock("a\xC9x\xE9z", "\xE9", "\xC9", kNoCase), "az");
  EXPECT_EQ(ApplyReplaceFormatting("\x8A"
                                   "b\x9A",
                                   "\x9A", "\x8A", kNoCase, "<", ">"),
            "<b>");
  EXPECT_EQ(ApplyReplaceFormatting("\x8A"
                                   "b\x9A",
                                   "\x9A", "\x8A", kCase, "<", ">"),
            "\x8A"
            "b\x9A");
}

TEST(ConstraintOperations, BytesOutsideAsciiPassThroughUnchanged) {
  std::string line;
  for (int b = 0x80; b <= 0xFF; ++b) line.push_back(static_cast<char>(b));
  line.push_back('\0');
  line += "x";
  EXPECT_EQ(ApplySearchReplace(line, "x", "y", kCase), line.substr(0, line.size() - 1) + "y");
  EXPECT_EQ(ApplyRemoveBlock(line, "[", "]", kCase), line);
  EXPECT_EQ(ApplyReplaceFormatting(line, "*", "*", kCase, "<", ">"), line);
}

}  // namespace
}  // namespace loom
