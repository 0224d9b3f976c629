#include "base/codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/utf8.h"

namespace loom {
namespace {

TEST(Windows1252Codec, EveryByteSurvivesTheDatabaseRoundTrip) {
  const TextCodec& codec = windows1252Codec();
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::string stored = codec.toStore(all);
  EXPECT_EQ(codec.fromStore(stored, "test"), all);
  EXPECT_EQ(codec.toStore("\x80\x9f"), "\xE2\x82\xAC\xC5\xB8");  // € Ÿ
}

TEST(Windows1252Codec, CharacterWithoutWindows1252FormIsAnErrorNamingThePlace) {
  try {
    windows1252Codec().fromStore("a\xE4\xB8\xAD", "Constraints row 3, column \"Replace String\"");
    FAIL() << "no error";
  } catch (const LoomError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::Rules);
    EXPECT_NE(std::string(e.what()).find("Constraints row 3, column \"Replace String\""),
              std::string::npos);
    EXPECT_NE(std::string(e.what()).find("U+4E2D"), std::string::npos);
  }
}

struct FindRow {
  std::string hay, needle;
  std::size_t from;
  bool caseSensitive;
  std::size_t pos;  // Match::npos when not found
};

TEST(Windows1252Codec, FindFoldsEveryLetterPairWhenCaseIsIgnored) {
  constexpr std::size_t none = Match::npos;
  const std::vector<FindRow> rows = {
      {"xABCx", "abc", 0, false, 1},
      {"xABCx", "abc", 0, true, none},
      {"abcabc", "ABC", 1, false, 3},
      {"abc", "c", 3, false, none},  // from the end finds nothing
      {"abc", "", 3, false, 3},
      {"abc", "", 4, false, none},
      {"caf\xC9", "\xE9", 0, false, 3},                       // É é
      {"\xC0\xDE", "\xE0\xFE", 0, false, 0},                  // À..Þ fold with à..þ
      {"\x8A\x8C\x8E\x9F", "\x9A\x9C\x9E\xFF", 0, false, 0},  // Š Œ Ž Ÿ
      {"\xDF", "\xFF", 0, false, none},                       // ß pairs with nothing
      {"\xD7", "\xF7", 0, false, none},                       // × ÷ are no letters
      {"\xB5", "\xCE\xBC", 0, false, none},                   // µ stays one byte
      {"\x80\x81", "\x81", 0, false, 1},
      {std::string("a\0b", 3), std::string("\0b", 2), 0, true, 1},
  };
  for (const FindRow& r : rows) {
    const Match m = windows1252Codec().find(r.hay, r.needle, r.from, r.caseSensitive);
    EXPECT_EQ(m.pos, r.pos) << "needle of " << r.needle.size() << " bytes, from " << r.from;
    if (m.found()) {
      EXPECT_EQ(m.length, r.needle.size());
    }
  }
}

TEST(Windows1252Codec, UpperAndCompareFoldTheSamePairs) {
  const TextCodec& codec = windows1252Codec();
  EXPECT_EQ(codec.upper("txt \xE9\x9A\x9C\x9E\xFF\xDF\xF7"), "TXT \xC9\x8A\x8C\x8E\x9F\xDF\xF7");
  EXPECT_EQ(codec.compareNoCase("gen-=-A", "GEN-=-a"), 0);
  EXPECT_LT(codec.compareNoCase("-=-x", "A-=-x"), 0);
  EXPECT_LT(codec.compareNoCase("abc", "ABCD"), 0);
  EXPECT_GT(codec.compareNoCase("b", "A"), 0);
}

TEST(Utf8Codec, FindsWholeCharactersAndFoldsUnicodeLetters) {
  const TextCodec& codec = utf8Codec();
  constexpr std::size_t none = Match::npos;
  const std::vector<FindRow> rows = {
      {"caf\xC3\xA9", "\xC3\x89", 0, false, 3},  // é found by É
      {"caf\xC3\xA9", "\xC3\x89", 0, true, none},
      {"\xCE\xA3\xCE\xB1", "\xCF\x83", 0, false, 0},            // Σ by σ
      {"\xE4\xB8\xAD\xE6\x96\x87", "\xB8\xAD", 0, true, none},  // not inside a character
      {"a\xFF"
       "b",
       "\xFF", 0, false, 1},  // an invalid byte matches itself
  };
  for (const FindRow& r : rows) {
    EXPECT_EQ(codec.find(r.hay, r.needle, r.from, r.caseSensitive).pos, r.pos)
        << "needle of " << r.needle.size() << " bytes";
  }
  EXPECT_EQ(codec.charCount("a\xC3\xA9\xE4\xB8\xAD"), 3u);
  EXPECT_EQ(codec.charLength("\xE4\xB8\xAD", 0), 3u);
  EXPECT_EQ(codec.upper("\xC3\xA9t\xC3\xA9"), "\xC3\x89T\xC3\x89");
  EXPECT_EQ(codec.compareNoCase("\xC3\x89T\xC3\xA9", "\xC3\xA9t\xC3\x89"), 0);
  EXPECT_EQ(codec.fromStore("\xE4\xB8\xAD", "x"), "\xE4\xB8\xAD");
  EXPECT_THROW(codec.fromStore("a\xC3", "GlobalDefs row \"Header\""), LoomError);
  EXPECT_EQ(codecByName("UTF-8"), &utf8Codec());
  EXPECT_EQ(codecByName("Windows-1252"), &windows1252Codec());
  EXPECT_EQ(codecByName("latin1"), nullptr);
}

// The codec against the table itself: every character matches its folding
// (through find too, whose fast paths start at a letter's known partners),
// and no two characters match unless the table folds them together.
TEST(Utf8Codec, FoldsExactlyAsUnicodeSimpleCaseFolding) {
  const char* const path = "/usr/share/unicode/CaseFolding.txt";
  std::ifstream in(path);
  if (!in) GTEST_SKIP() << path << " is missing (Debian package unicode-data)";
  const TextCodec& codec = utf8Codec();
  std::vector<char32_t> fold(0x110000);
  for (char32_t cp = 0; cp < fold.size(); ++cp) fold[cp] = cp;
  std::size_t entries = 0;
  for (std::string line; std::getline(in, line);) {
    char status = 0;
    unsigned from = 0, to = 0;
    if (std::sscanf(line.c_str(), "%x; %c; %x;", &from, &status, &to) != 3) continue;
    if (status != 'C' && status != 'S') continue;
    fold[from] = to;
    ++entries;
    std::string a, b;
    appendUtf8(a, from);
    appendUtf8(b, to);
    EXPECT_TRUE(codec.equalNoCase(a, b)) << line;
    EXPECT_EQ(codec.find("-" + a, b, 0, false).pos, 1u) << line;
    EXPECT_EQ(codec.find("-" + b, a, 0, false).pos, 1u) << line;
  }
  ASSERT_GT(entries, 1000u) << path << " holds too few entries";
  // Sorted by the codec, characters it matches together are neighbours.
  std::vector<std::pair<std::string, char32_t>> all;
  for (char32_t cp = 0; cp < fold.size(); ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    all.emplace_back(std::string(), cp);
    appendUtf8(all.back().first, cp);
  }
  std::sort(all.begin(), all.end(), [&](const auto& x, const auto& y) {
    return codec.compareNoCase(x.first, y.first) < 0;
  });
  for (std::size_t i = 1; i < all.size(); ++i) {
    if (codec.equalNoCase(all[i - 1].first, all[i].first)) {
      EXPECT_EQ(fold[all[i - 1].second], fold[all[i].second])
          << codePointName(all[i - 1].second) << " matches " << codePointName(all[i].second);
    }
  }
}

TEST(Windows1252Codec, StoredTextThatIsNotUtf8IsAnErrorNamingThePlace) {
  try {
    windows1252Codec().fromStore("a\xE9", "FileTypes row \"TXT\", column \"BeginSection\"");
    FAIL() << "no error";
  } catch (const LoomError& e) {
    EXPECT_NE(std::string(e.what()).find("FileTypes row \"TXT\", column \"BeginSection\""),
              std::string::npos);
  }
}

}  // namespace
}  // namespace loom
