// SPDX-License-Identifier: MIT
// The two encodings: stored text to and from UTF-8; finding, folding and comparing.

#include "base/codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "base/utf8.h"
#include "support/rule_db.h"

namespace loom {
namespace {

const TextCodec& w1252 = windows1252Codec();
const TextCodec& u8 = utf8Codec();

TEST(Codec, StoredTextRoundTripsOrIsRefusedNamingThePlace) {
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(w1252.fromStore(w1252.toStore(all), "test"), all);
  // Bytes 0x80-0x9F are stored as the characters they stand for.
  EXPECT_EQ(w1252.toStore("\x80\x8A\x9F"), "\xE2\x82\xAC\xC5\xA0\xC5\xB8");
  EXPECT_EQ(w1252.toStore("\x81\x8D\x8F\x90\x9D"), "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
  EXPECT_EQ(u8.fromStore("\xE4\xB8\xAD", "x"), "\xE4\xB8\xAD");
  const std::tuple<const TextCodec*, std::string, std::string> refused[] = {
      {&w1252, "a\xE4\xB8\xAD", "U+4E2D"},  // no Windows-1252 form
      {&w1252, "\xC2\x80", "U+0080"},       // byte 0x80 is the euro sign
      {&w1252, "a\xE9", "(byte 2)"},        // not UTF-8, from the byte named
      {&u8, "a\xC3", "(byte 2)"}};
  const std::string place = "Constraints row 3, column \"Replace String\"";
  for (const auto& [codec, stored, says] : refused) {
    const std::string message = testing::errorOf([&] { codec->fromStore(stored, place); });
    EXPECT_TRUE(testing::contains(message, place) && testing::contains(message, says)) << message;
  }
  EXPECT_TRUE(codecByName("UTF-8") == &u8 && codecByName("Windows-1252") == &w1252);
  EXPECT_EQ(codecByName("latin1"), nullptr);
}

TEST(Codec, FindUpperAndCompareFoldExactlyTheLetterPairsOfItsEncoding) {
  constexpr std::size_t none = Match::npos;
  using Row = std::tuple<const TextCodec*, std::string, std::string, std::size_t, bool, std::size_t,
                         std::size_t>;  // hay, needle, from, case, where, length
  const Row rows[] = {
      {&w1252, "xABCx", "abc", 0, false, 1, 3},
      {&w1252, "xABCx", "abc", 0, true, none, 0},
      {&w1252, "abc", "", 3, false, 3, 0},
      {&w1252, "\xC0\xDE", "\xE0\xFE", 0, false, 0, 2},                  // À..Þ fold with à..þ
      {&w1252, "\x8A\x8C\x8E\x9F", "\x9A\x9C\x9E\xFF", 0, false, 0, 4},  // Š Œ Ž Ÿ
      {&w1252, "\xDF", "\xFF", 0, false, none, 0},                       // ß pairs with nothing
      {&w1252, "\xD7\xF7", "\xF7", 0, false, 1, 1},                      // × ÷ are no letters
      {&w1252, "\xB5", "\xCE\xBC", 0, false, none, 0},
      {&w1252, "\x80\x81", "\x81", 0, false, 1, 1},
      {&w1252, std::string("a\0b", 3), std::string("\0b", 2), 0, true, 1, 2},
      {&u8, "caf\xC3\xA9", "\xC3\x89", 0, false, 3, 2},
      {&u8, "\xE4\xB8\xAD\xE6\x96\x87", "\xB8\xAD", 0, true, none, 0},  // not inside a character
      {&u8, "a\xFF\x62", "\xFF", 0, false, 1, 1},  // an invalid byte matches itself
      {&u8, "λόγος", "ΛΌΓΟΣ", 0, false, 0, 10},    // final sigma folds with sigma
      // Partners of other byte lengths.
      {&u8, "x \u212Aelvin", "kelvin", 0, false, 2, 8},
      {&u8, "x\u2C65y", "\u023A", 0, false, 1, 3},
      {&u8, "x\u023Ay", "\u2C65", 0, false, 1, 2},
      {&u8, "Stra\u00DFe", "STRA\u1E9EE", 0, false, 0, 7},
      {&u8, "ss", "\u00DF", 0, false, none, 0}};
  for (const auto& [codec, hay, needle, from, cs, pos, length] : rows) {
    const Match m = codec->find(hay, needle, from, cs);
    EXPECT_EQ(m.pos, pos) << codec->name() << ": " << needle << " in " << hay;
    if (!m.found()) continue;
    EXPECT_EQ(m.length, length) << needle << " in " << hay;
    EXPECT_TRUE(cs || codec->equalNoCase(hay.substr(m.pos, m.length), needle));
  }
  // UTF-8 decoding is strict: up to U+10FFFF, no surrogates, shortest forms, nothing cut short.
  const std::pair<std::string, std::size_t> decoded[] = {{"\xF4\x8F\xBF\xBF", 4},
                                                         {"\xF4\x90\x80\x80", 0},
                                                         {"\xED\x9F\xBF", 3},
                                                         {"\xED\xA0\x80", 0},
                                                         {"\xEE\x80\x80", 3},
                                                         {"\xC2\x80", 2},
                                                         {"\xC1\xBF", 0},
                                                         {"\xE0\xA0\x80", 3},
                                                         {"\xE0\x9F\xBF", 0},
                                                         {"\xF0\x90\x80\x80", 4},
                                                         {"\xF0\x8F\xBF\xBF", 0},
                                                         {"\xE2\x82", 0},
                                                         {"\xDF", 0},
                                                         {"\xDF\x41", 0},
                                                         {"\xDF\xBF", 2}};
  for (const auto& [bytes, length] : decoded) {
    const DecodedChar d = decodeUtf8(bytes, 0);
    EXPECT_EQ(d.valid ? d.length : 0, length) << codePointName(d.codePoint);
    std::string encoded;  // and back, in the same bytes
    if (d.valid) appendUtf8(encoded, d.codePoint);
    EXPECT_EQ(encoded, length ? bytes : "") << codePointName(d.codePoint);
    EXPECT_EQ(firstInvalidUtf8("a" + bytes), length ? std::string_view::npos : 1);
    // Past ASCII eight bytes at a time and a two-byte letter, at every place in an eight.
    for (std::size_t ascii = 8; ascii < 16; ++ascii) {
      const std::string text = std::string(ascii, 'a') + "\xC3\xA9" + bytes + "\xC3\xA9 and more";
      EXPECT_EQ(firstInvalidUtf8(text), length ? std::string_view::npos : ascii + 2) << ascii;
    }
  }
  EXPECT_EQ(w1252.upper("txt \xE9\x9A\x9C\x9E\xFF\xDF\xF7"), "TXT \xC9\x8A\x8C\x8E\x9F\xDF\xF7");
  EXPECT_EQ(w1252.compareNoCase("gen-=-A", "GEN-=-a"), 0);
  EXPECT_LT(w1252.compareNoCase("-=-x", "A-=-x"), 0);
  EXPECT_GT(w1252.compareNoCase("b", "ABCD"), 0);
  EXPECT_EQ(u8.charCount("a\xC3\xA9\xE4\xB8\xAD") + u8.charLength("\xE4\xB8\xAD", 0), 6u);
  EXPECT_EQ(u8.upper("\xC3\xA9t\xC3\xA9 a\xC3z"), "\xC3\x89T\xC3\x89 A\xC3Z");
  EXPECT_EQ(u8.compareNoCase("\xC3\x89T\xC3\xA9", "\xC3\xA9t\xC3\x89"), 0);
  // A prefix sorts first, whatever the bytes after the view are.
  EXPECT_LT(u8.compareNoCase(std::string_view("\xC3\xA9tz", 3), "\xC3\x89Ta"), 0);
}

// The searches test sixteen places at a step and then the last places of the line: against a
// plain search, hits at every place of lines around those lengths, in both cases, from every
// start. In UTF-8 a hit begins at a character and folds to the needle, whatever its length.
TEST(Codec, FindAgreesWithAPlainSearchAtEveryLengthAndStart) {
  std::mt19937 random(7);
  const std::vector<std::string> w1252Letters = {"a", "A", "b", "B", "\xE9", "\xC9", "-"};
  const std::vector<std::string> u8Letters = {
      "a",        "A", "k",   "\u212A" /* Kelvin */, "s", "\u017F" /* long s */, "\xC3\xA9",
      "\xC3\x89", "-", "\xA9" /* stray */};
  for (const TextCodec* codec : {&w1252, &u8}) {
    const auto& letters = codec == &w1252 ? w1252Letters : u8Letters;
    const auto plainFind = [&](std::string_view hay, std::string_view needle, std::size_t from,
                               bool cs) {
      for (std::size_t at = from; at < hay.size(); at += codec->charLength(hay, at)) {
        for (std::size_t end = at + 1; end <= hay.size(); end += codec->charLength(hay, end)) {
          const std::string_view part = hay.substr(at, end - at);
          if (cs ? part == needle : codec->equalNoCase(part, needle)) return at;
          if (end == hay.size()) break;
        }
      }
      return Match::npos;
    };
    const auto word = [&](std::size_t length) {
      std::string text;
      for (std::size_t i = 0; i < length; ++i) text += letters[random() % letters.size()];
      return text;
    };
    for (int round = 0; round < 2000; ++round) {
      const std::string hay = word(random() % 40), needle = word(1 + random() % 4);
      const bool cs = round % 2 == 0;
      for (std::size_t from = 0; from <= hay.size(); from += codec->charLength(hay, from)) {
        ASSERT_EQ(codec->find(hay, needle, from, cs).pos, plainFind(hay, needle, from, cs))
            << codec->name() << ": " << needle << " in " << hay << " from " << from
            << (cs ? "" : ", folded");
        if (from == hay.size()) break;
      }
    }
  }
}

// Every character matches its folding (through find too, whose fast paths start at a letter's
// known partners), and no two characters match unless the table folds them together.
TEST(Codec, Utf8FoldsExactlyAsUnicodeSimpleCaseFolding) {
  const char* const path = "/usr/share/unicode/CaseFolding.txt";
  std::ifstream in(path);
  if (!in) GTEST_SKIP() << path << " is missing (Debian package unicode-data)";
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
    EXPECT_TRUE(u8.equalNoCase(a, b)) << line;
    EXPECT_EQ(u8.find("-" + a, b, 0, false).pos, 1u) << line;
    EXPECT_EQ(u8.find("-" + b, a, 0, false).pos, 1u) << line;
  }
  ASSERT_GT(entries, 1000u) << path << " holds too few entries";
  // Sorted by the codec, characters it matches together are neighbours.
  std::vector<std::pair<std::string, char32_t>> all;
  for (char32_t cp = 0; cp < fold.size(); ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    all.emplace_back(std::string(), cp);
    appendUtf8(all.back().first, cp);
  }
  std::sort(all.begin(), all.end(),
            [&](const auto& x, const auto& y) { return u8.compareNoCase(x.first, y.first) < 0; });
  for (std::size_t i = 1; i < all.size(); ++i)
    EXPECT_TRUE(!u8.equalNoCase(all[i - 1].first, all[i].first) ||
                fold[all[i - 1].second] == fold[all[i].second])
        << codePointName(all[i - 1].second) << " matches " << codePointName(all[i].second);
}

}  // namespace
}  // namespace loom
