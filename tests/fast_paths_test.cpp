// The fast paths of the engine against plain reference code on random input:
// the case-insensitive Windows-1252 search, the conversion that passes over
// rows whose texts cannot occur in a line, and the huge lines whose working
// buffer is sized up front.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/codec.h"
#include "convert/constraint_ops.h"
#include "convert/convert_file.h"
#include "convert/line_origin.h"

namespace loom {
namespace {

// Letters with two cases (ASCII, accented, the 0x8A/0x9A and 0x9F/0xFF
// pairs), bytes with one (sharp s, the multiplication sign), markers, blanks.
const std::string kAlphabet = "aAbBeE\xE9\xC9\x9A\x8A\xFF\x9F\xDF\xD7\xF7[]*_-\"' ~(c)C";

// For UTF-8: letters that share their folding with a sign or another letter,
// letters with three forms or partners of another byte length, letters that
// fold with nothing else, markers, blanks and an invalid byte.
const std::vector<std::string> kUtf8Units = {
    "k",      "K",      "\u212A", "s",      "S",      "\u017F", "i",      "I",      "\u0131",
    "\u0130", "\u00DF", "\u1E9E", "\u023A", "\u2C65", "\u03C3", "\u03C2", "\u03A3", "[",
    "]",      "*",      "-",      "'",      " ",      "(",      ")",      "\xFF"};

std::string randomText(std::mt19937& rng, std::size_t maxLength,
                       const TextCodec& codec = windows1252Codec()) {
  std::uniform_int_distribution<std::size_t> length(0, maxLength);
  const bool utf8 = codec.encoding() == Encoding::Utf8;
  std::uniform_int_distribution<std::size_t> pick(
      0, (utf8 ? kUtf8Units.size() : kAlphabet.size()) - 1);
  std::string s;
  for (std::size_t n = length(rng); n > 0; --n) {
    if (utf8) {
      s += kUtf8Units[pick(rng)];
    } else {
      s.push_back(kAlphabet[pick(rng)]);
    }
  }
  return s;
}

// The folding search as the plain definition says: compare every position.
Match referenceFind(std::string_view hay, std::string_view needle, std::size_t from) {
  const TextCodec& codec = windows1252Codec();
  if (from > hay.size()) return {};
  for (std::size_t i = from; i + needle.size() <= hay.size(); ++i) {
    if (codec.equalNoCase(hay.substr(i, needle.size()), needle)) return {i, needle.size()};
  }
  return {};
}

TEST(FastPaths, CaseInsensitiveFindAgreesWithComparingEveryPosition) {
  std::mt19937 rng(7);
  const TextCodec& codec = windows1252Codec();
  for (int i = 0; i < 20000; ++i) {
    const std::string hay = randomText(rng, 40);
    const std::string needle = randomText(rng, 3);
    if (needle.empty()) continue;
    const std::size_t from = std::uniform_int_distribution<std::size_t>(0, hay.size())(rng);
    const Match got = codec.find(hay, needle, from, false);
    const Match want = referenceFind(hay, needle, from);
    ASSERT_EQ(got.pos, want.pos) << "hay \"" << hay << "\" needle \"" << needle << "\" from "
                                 << from;
    if (got.found()) {
      EXPECT_EQ(got.length, needle.size());
    }
  }
}

TEST(FastPaths, CaseInsensitiveFindMatchesBothCasesOfTheFirstLetter) {
  const TextCodec& codec = windows1252Codec();
  struct Case {
    std::string hay, needle;
    std::size_t from, pos;
  } cases[] = {
      {"xx\xC9t\xE9", "\xE9T", 0, 2},   // capital E acute finds small
      {"xx\xC9t\xE9t", "\xE9T", 3, 4},  // the second, from past the first
      {"\x9F\xFF", "\xFF\xFF", 0, 0},   // Y diaeresis pairs across 0x9F/0xFF
      {"a\xDF", "\xDF", 0, 1},          // sharp s has one case
      {"\xD7\xF7", "\xF7", 0, 1},       // the signs are not a pair
      {"abcABC", "cab", 0, 2},         {"ab", "abc", 0, Match::npos},  // longer than the text
      {"abc", "c", 3, Match::npos},                                    // from the end
  };
  for (const Case& c : cases) {
    EXPECT_EQ(codec.find(c.hay, c.needle, c.from, false).pos, c.pos) << c.hay << " / " << c.needle;
  }
}

// Search and replace as its rule reads: after each replacement the search
// starts again at the first character of the inserted text.
std::string resumeAtEveryHit(std::string line, const std::string& search,
                             const std::string& replacement, bool caseSensitive,
                             const TextCodec& codec) {
  const std::string inserted(insertedText(search, replacement));
  std::size_t from = 0;
  for (Match hit; (hit = codec.find(line, search, from, caseSensitive)).found();) {
    line = line.substr(0, hit.pos) + inserted + line.substr(hit.pos + hit.length);
    from = hit.pos;
  }
  return line;
}

TEST(FastPaths, SearchReplaceEqualsResumingAtEveryHit) {
  std::mt19937 rng(5);
  int checked = 0;
  for (const TextCodec* codec : {&windows1252Codec(), &utf8Codec()}) {
    for (int i = 0; i < 20000; ++i) {
      const std::string line = randomText(rng, 30, *codec);
      std::string search = randomText(rng, 3, *codec);
      const std::string replacement = randomText(rng, 4, *codec);
      const bool cs = std::uniform_int_distribution<int>(0, 1)(rng) == 1;
      if (search.empty()) search.push_back('a');
      // Rows that would insert forever resume after the inserted text
      // instead; the rule itself gives them no result to compare with.
      if (searchReplaceNeverEnds(search, replacement, cs, *codec)) continue;
      ++checked;
      ASSERT_EQ(ApplySearchReplace(line, search, replacement, cs, *codec),
                resumeAtEveryHit(line, search, replacement, cs, *codec))
          << codec->name() << " line \"" << line << "\" search \"" << search << "\" replacement \""
          << replacement << "\" cs " << cs;
    }
  }
  EXPECT_GT(checked, 20000);
}

CompiledConstraint randomRow(std::mt19937& rng, const TextCodec& codec) {
  CompiledConstraint row;
  row.type = static_cast<ConstraintType>(std::uniform_int_distribution<int>(1, 4)(rng));
  row.searchString = randomText(rng, 2, codec);
  row.replaceString =
      std::uniform_int_distribution<int>(0, 4)(rng) == 0 ? "(EOL)" : randomText(rng, 3, codec);
  row.rFirst = randomText(rng, 2, codec);
  row.rLast = randomText(rng, 2, codec);
  row.caseSensitive = std::uniform_int_distribution<int>(0, 1)(rng) == 1;
  // Rows of kind 1 arrive trimmed and never empty.
  if (row.type == ConstraintType::SearchReplace) {
    std::string trimmed;
    for (char c : row.searchString) {
      if (c != ' ') trimmed.push_back(c);
    }
    row.searchString = trimmed.empty() ? "e" : trimmed;
  }
  return row;
}

// One row applied by calling its operation, with no shortcut.
std::string applyPlainly(const std::string& line, const CompiledConstraint& row,
                         const TextCodec& codec, std::string* origin = nullptr) {
  switch (row.type) {
    case ConstraintType::SearchReplace:
      return ApplySearchReplace(line, row.searchString, row.replaceString, row.caseSensitive, codec,
                                origin);
    case ConstraintType::RemoveBlock:
      return ApplyRemoveBlock(line, row.searchString, row.replaceString, row.caseSensitive, codec,
                              origin);
    case ConstraintType::ReplaceFormatting:
      return ApplyReplaceFormatting(line, row.searchString, row.replaceString, row.caseSensitive,
                                    row.rFirst, row.rLast, codec, origin);
    case ConstraintType::HeaderLine: {
      std::string out = line;
      ApplyHeaderLine(out, row.searchString, row.replaceString, origin);
      return out;
    }
  }
  return line;
}

// The page as the rows one after the other make it.
std::string referencePage(const std::vector<std::string>& lines, const PageRules& rules,
                          const TextCodec& codec) {
  std::string page = "\r\n";  // the empty header
  for (std::string line : lines) {
    for (const CompiledConstraint& row : rules.constraints) line = applyPlainly(line, row, codec);
    const std::size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos) continue;
    page += line.substr(first, line.find_last_not_of(' ') - first + 1) + "\r\n";
  }
  return page + "\r\n";  // the empty footer
}

TEST(FastPaths, ConversionEqualsCallingTheOperationOfEveryRowOnEveryLine) {
  std::mt19937 rng(11);
  for (const TextCodec* codec : {&windows1252Codec(), &utf8Codec()}) {
    for (int page = 0; page < 400; ++page) {
      PageRules rules;
      const int rows = std::uniform_int_distribution<int>(1, 8)(rng);
      for (int r = 0; r < rows; ++r) rules.constraints.push_back(randomRow(rng, *codec));
      std::vector<std::string> lines;
      std::string contents;
      for (int l = 0; l < 12; ++l) {
        lines.push_back(randomText(rng, 30, *codec));
        contents += lines.back() + "\r\n";
      }
      const ConvertedPage got = ConvertFile(contents, "x.txt", rules, PageSettings{}, *codec);
      ASSERT_EQ(got.bytes, referencePage(lines, rules, *codec))
          << codec->name() << ", page " << page;
    }
  }
}

// A huge line made of one piece again and again, where no hit spans two
// pieces, becomes the piece's result again and again, and so does its mask.
TEST(FastPaths, HugeLineGivesItsPiecesResultsInARow) {
  struct Case {
    const TextCodec* codec;
    CompiledConstraint row;
    std::string piece;
  };
  const auto row = [](ConstraintType kind, std::string search, std::string replace,
                      std::string front = {}, std::string back = {}, bool cs = true) {
    CompiledConstraint r;
    r.type = kind;
    r.searchString = std::move(search);
    r.replaceString = std::move(replace);
    r.rFirst = std::move(front);
    r.rLast = std::move(back);
    r.caseSensitive = cs;
    return r;
  };
  using enum ConstraintType;
  const std::vector<Case> cases = {
      // grows by the blocks counted up front
      {&windows1252Codec(), row(ReplaceFormatting, "*", "*", "<B>", "</B>"), "a *bc* d *e* "},
      // a block found again in what a rewrite wrote: more growth than counted
      {&windows1252Codec(), row(ReplaceFormatting, "[", "]", "((", "))"), "a[b[c]d]e "},
      {&windows1252Codec(), row(SearchReplace, "ab", "xa"), "abb ab "},
      {&windows1252Codec(), row(RemoveBlock, "(c)", ".", {}, {}, false), "x (C) y. z "},
      {&utf8Codec(), row(SearchReplace, "\u00E9", "&eacute;"), "caf\u00E9 au lait "},
      {&utf8Codec(), row(ReplaceFormatting, "_", "_", "<I>", "</I>"), "\u00E9 _\u00E9_ "},
  };
  for (const Case& c : cases) {
    std::string line, lineMask;
    while (line.size() <= kHugeLine) line += c.piece;
    const std::size_t pieces = line.size() / c.piece.size();
    std::string pieceMask(c.piece.size(), kFromSource);
    lineMask.assign(line.size(), kFromSource);
    const std::string piece = applyPlainly(c.piece, c.row, *c.codec, &pieceMask);
    const std::string got = applyPlainly(line, c.row, *c.codec, &lineMask);
    std::string want, wantMask;
    for (std::size_t k = 0; k < pieces; ++k) {
      want += piece;
      wantMask += pieceMask;
    }
    EXPECT_TRUE(got == want && lineMask == wantMask) << c.piece;
  }
}

}  // namespace
}  // namespace loom
