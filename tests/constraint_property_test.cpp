// Random lines and random rows over a small alphabet: every operation ends,
// and its result equals a slow reference that follows the operations step by
// step with 1-based positions, rebuilding the whole line at every step.
//
// A row that would never finish a line is found by the reference on its own:
// it runs the literal steps with an iteration cap. A run that ends within
// kEnds steps gives the expected line; one still going after kNeverEnds steps
// is a row that never ends, for which the expected line comes from resuming
// after the inserted text. Runs between the two caps are not compared.

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>

#include "convert/constraint_ops.h"
#include "convert/convert_file.h"

namespace loom {
namespace {

constexpr int kEnds = 200;
constexpr int kNeverEnds = 1500;
constexpr int kCases = 4000;

// The letters of the alphabet below fold in pairs: a/A, b/B, é/É.
unsigned char fold(char c) {
  const auto b = static_cast<unsigned char>(c);
  if (b >= 'A' && b <= 'Z') return static_cast<unsigned char>(b + 32);
  if (b == 0xC9) return 0xE9;
  return b;
}

// InStr: the 1-based position of the first occurrence of `needle` that
// begins at `start` or later, 0 when none.
std::size_t inStr(std::size_t start, const std::string& hay, const std::string& needle,
                  bool caseSensitive) {
  if (start < 1) start = 1;
  for (std::size_t p = start; p + needle.size() <= hay.size() + 1; ++p) {
    bool same = true;
    for (std::size_t k = 0; k < needle.size() && same; ++k) {
      const char h = hay[p - 1 + k];
      const char n = needle[k];
      same = caseSensitive ? h == n : fold(h) == fold(n);
    }
    if (same && p <= hay.size()) return p;
  }
  return 0;
}

std::string left(const std::string& s, std::size_t n) { return s.substr(0, n); }
// Mid$(s, p): characters from position p to the end.
std::string mid(const std::string& s, std::size_t p) {
  return p > s.size() ? std::string() : s.substr(p - 1);
}
std::string mid(const std::string& s, std::size_t p, std::size_t n) {
  return mid(s, p).substr(0, n);
}

struct Outcome {
  std::string line;
  int steps = 0;
  bool ended = false;
};

Outcome searchReplace(std::string line, const std::string& search, const std::string& replacement,
                      bool cs, bool resumeAfter, int cap) {
  std::size_t p = 1;
  for (int step = 0; step < cap; ++step) {
    const std::size_t found = inStr(p, line, search, cs);
    if (found == 0) return {line, step, true};
    p = found;
    const std::string inserted = search[0] == '"'    ? std::string("\"")
                                 : search[0] == '\'' ? std::string("'")
                                                     : replacement;
    line = left(line, p - 1) + inserted + mid(line, p + search.size());
    if (resumeAfter) p += inserted.size();
  }
  return {line, cap, false};
}

std::string removeBlock(std::string line, const std::string& begin, const std::string& end,
                        bool cs) {
  if (begin.empty() || end.empty()) return line;
  std::size_t s = 1, e = 1;
  while (s > 0 && e > 0) {
    s = inStr(s, line, begin, cs);
    e = inStr(s == 0 ? 1 : s + 1, line, end, cs);
    if (s > 0 && e > 0) line = left(line, s - 1) + mid(line, e + end.size());
  }
  return line;
}

std::string trimmed(const std::string& s) {
  const std::size_t first = s.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

std::string removeToEndOfLine(const std::string& line, const std::string& begin, bool cs) {
  if (begin.empty()) return line;
  const std::size_t p = inStr(1, line, begin, cs);
  return trimmed(p > 0 ? left(line, p - 1) : line);
}

Outcome replaceFormatting(std::string line, const std::string& begin, const std::string& end,
                          bool cs, const std::string& front, const std::string& back,
                          bool resumeAfter, int cap) {
  if (begin.empty() || end.empty()) return {line, 0, true};
  std::size_t s = 1, e = 1;
  for (int step = 0; step < cap; ++step) {
    s = inStr(s, line, begin, cs);
    e = inStr(s == 0 ? 1 : s + 1, line, end, cs);
    if (s == 0 || e == 0) return {line, step, true};
    const long middleLength =
        static_cast<long>(e) - static_cast<long>(s) - static_cast<long>(begin.size());
    const std::string middle =
        middleLength > 0 ? mid(line, s + begin.size(), static_cast<std::size_t>(middleLength)) : "";
    line = left(line, s - 1) + front + middle + back + mid(line, e + end.size());
    if (resumeAfter) s += front.size() + middle.size() + back.size();
  }
  return {line, cap, false};
}

std::string replaceFormattingToEndOfLine(const std::string& line, const std::string& begin, bool cs,
                                         const std::string& front, const std::string& back) {
  if (begin.empty()) return line;
  const std::size_t p = inStr(1, line, begin, cs);
  if (p == 0) return line;
  return left(line, p - 1) + front + mid(line, p + begin.size()) + back;
}

class RandomText {
 public:
  explicit RandomText(unsigned seed) : rng_(seed) {}
  std::string text(std::size_t maxLength) {
    static const std::string alphabet = "aAbB \"'\xE9\xC9*";
    std::string s(std::uniform_int_distribution<std::size_t>(0, maxLength)(rng_), ' ');
    for (char& c : s)
      c = alphabet[std::uniform_int_distribution<std::size_t>(0, alphabet.size() - 1)(rng_)];
    return s;
  }
  std::string nonEmpty(std::size_t maxLength) {
    std::string s;
    while (s.empty()) s = text(maxLength);
    return s;
  }
  bool coin() { return std::uniform_int_distribution<int>(0, 1)(rng_) == 1; }

 private:
  std::mt19937 rng_;
};

std::string show(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x80) {
      out += "\\x" + std::string(1, "0123456789ABCDEF"[b >> 4]) + "0123456789ABCDEF"[b & 15];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// Expected line for a row whose literal steps are given by `run(resumeAfter,
// cap)`; nothing when the reference cannot tell whether the row ends.
template <typename Run>
std::optional<std::string> expectedLine(Run run, int& neverEnding, int& undecided) {
  const Outcome literal = run(false, kNeverEnds);
  if (literal.ended && literal.steps <= kEnds) return literal.line;
  if (literal.ended) {
    ++undecided;
    return std::nullopt;
  }
  ++neverEnding;
  const Outcome after = run(true, kNeverEnds);
  EXPECT_TRUE(after.ended) << "resuming after the inserted text must end";
  return after.line;
}

TEST(ConstraintProperties, SearchReplaceMatchesTheReference) {
  RandomText random(20240611);
  int neverEnding = 0, undecided = 0;
  for (int i = 0; i < kCases; ++i) {
    const std::string line = random.text(10);
    const std::string search = random.nonEmpty(3);
    const std::string replacement = random.text(4);
    const bool cs = random.coin();
    const auto expected = expectedLine(
        [&](bool after, int cap) {
          return searchReplace(line, search, replacement, cs, after, cap);
        },
        neverEnding, undecided);
    if (!expected) continue;
    ASSERT_EQ(ApplySearchReplace(line, search, replacement, cs), *expected)
        << "line " << show(line) << " search " << show(search) << " replacement "
        << show(replacement) << " case " << cs;
  }
  EXPECT_GT(neverEnding, 50) << "the alphabet should give rows that never end";
  EXPECT_LT(undecided, kCases / 100);
}

TEST(ConstraintProperties, RemoveBlockMatchesTheReference) {
  RandomText random(7);
  for (int i = 0; i < kCases; ++i) {
    const std::string line = random.text(12);
    const std::string begin = random.text(2);
    const std::string end = i % 10 == 0 ? std::string("(EOL)") : random.text(2);
    const bool cs = random.coin();
    const std::string expected =
        end == "(EOL)" ? removeToEndOfLine(line, begin, cs) : removeBlock(line, begin, end, cs);
    ASSERT_EQ(ApplyRemoveBlock(line, begin, end, cs), expected)
        << "line " << show(line) << " begin " << show(begin) << " end " << show(end);
    std::string cut = line;
    ApplyRemoveToEndOfLine(cut, begin, cs);
    ASSERT_EQ(cut, removeToEndOfLine(line, begin, cs))
        << "line " << show(line) << " begin " << show(begin);
  }
}

TEST(ConstraintProperties, ReplaceFormattingMatchesTheReference) {
  RandomText random(99);
  int neverEnding = 0, undecided = 0;
  for (int i = 0; i < kCases; ++i) {
    const std::string line = random.text(10);
    const std::string begin = random.text(2);
    const std::string end = random.text(2);
    // Every fourth row wraps the markers into its own texts, the shape of the
    // rows that never end.
    const bool wrap = i % 4 == 0;
    const std::string front = wrap ? random.text(1) + begin + random.text(1) : random.text(3);
    const std::string back = wrap ? random.text(1) + end + random.text(1) : random.text(3);
    const bool cs = random.coin();
    const auto expected = expectedLine(
        [&](bool after, int cap) {
          return replaceFormatting(line, begin, end, cs, front, back, after, cap);
        },
        neverEnding, undecided);
    if (!expected) continue;
    ASSERT_EQ(ApplyReplaceFormatting(line, begin, end, cs, front, back), *expected)
        << "line " << show(line) << " begin " << show(begin) << " end " << show(end) << " front "
        << show(front) << " back " << show(back) << " case " << cs;
    ASSERT_EQ(ApplyReplaceFormattingToEndOfLine(line, begin, cs, front, back),
              replaceFormattingToEndOfLine(line, begin, cs, front, back))
        << "line " << show(line) << " begin " << show(begin);
  }
  EXPECT_GT(neverEnding, 20) << "the alphabet should give rows that never end";
  EXPECT_LT(undecided, kCases / 100);
}

TEST(ConstraintProperties, ReplaceFormattingThatEndsAfterManyRewritesGivesTheLiteralResult) {
  // This row ends only after hundreds of rewrites that grow the line; it must
  // not be mistaken for one that never ends.
  const std::string line = "*###**#*bb*b*#**b*b#ab";
  const Outcome literal = replaceFormatting(line, "#", "*", true, "ab", "*##", false, 100000);
  ASSERT_TRUE(literal.ended);
  EXPECT_GT(literal.steps, 500);
  EXPECT_EQ(ApplyReplaceFormatting(line, "#", "*", true, "ab", "*##"), literal.line);
  // Adjacent markers rebuilt from the front and back texts repeat the same
  // line for ever; such a row resumes after each block instead.
  EXPECT_FALSE(replaceFormatting("abc", "ab", "c", true, "a", "bc", false, 1000).ended);
  EXPECT_EQ(ApplyReplaceFormatting("abc", "ab", "c", true, "a", "bc"),
            replaceFormatting("abc", "ab", "c", true, "a", "bc", true, 1000).line);
}

TEST(ConstraintProperties, HeaderLineMatchesTheReference) {
  RandomText random(3);
  for (int i = 0; i < kCases; ++i) {
    const std::string line = random.text(6);
    const std::string header = i % 2 ? trimmed(line) + std::string(i % 3, ' ') : random.text(4);
    const std::string replacement = random.text(4);
    const std::string expected = trimmed(line) == trimmed(header) ? replacement : line;
    std::string out = line;
    ApplyHeaderLine(out, header, replacement);
    ASSERT_EQ(out, expected) << "line " << show(line) << " header " << show(header);
  }
}

// The row screen only passes over rows that could not change the line: whole
// random rule tables convert to the same bytes with it and without it, in
// both encodings, with chained rows and escaped text.
TEST(ConstraintProperties, ScreenedConversionEqualsTryingEveryRow) {
  struct Alphabet {
    const TextCodec& codec;
    std::vector<std::string> tokens;
  };
  const std::vector<Alphabet> alphabets = {
      {windows1252Codec(),
       {"a", "A", "b", "B", " ", "\"", "'", "\xE9", "\xC9", "*", "<", "&", "\r"}},
      {utf8Codec(),
       {"a", "A", "k", "K", "\u212A", "s", "S", "\u017F", "\u00E9", "\u00C9", " ", "<", "&",
        "\u00DF", "\u1E9E", "\r\n"}},
  };
  std::mt19937 rng(5);
  const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  for (const Alphabet& alphabet : alphabets) {
    const auto text = [&](int most) {
      std::string s;
      for (int n = pick(most + 1); n > 0; --n) s += alphabet.tokens[pick(alphabet.tokens.size())];
      return s;
    };
    const auto nonEmpty = [&](int most) {
      std::string s;
      while (s.empty()) s = text(most);
      return s;
    };
    for (int i = 0; i < 3000; ++i) {
      PageRules rules;
      rules.titleLine = pick(3);
      for (int n = 1 + pick(i % 2 ? 12 : 80); n > 0; --n) {
        CompiledConstraint row;
        row.type = static_cast<ConstraintType>(1 + pick(4));
        row.searchString = nonEmpty(3);
        row.replaceString =
            pick(5) == 0 && row.type != ConstraintType::SearchReplace ? "(EOL)" : text(3);
        row.rFirst = text(2);
        row.rLast = text(2);
        row.caseSensitive = pick(2) == 0;
        rules.constraints.push_back(row);
      }
      const std::string contents = text(30);
      PageSettings settings{"H", "F", "<P>"};
      settings.escapeText = pick(2) == 0;
      settings.lineEnds = pick(2) == 0 ? LineEnds::Any : LineEnds::CrLf;
      const ConvertedPage everyRow = ConvertFile(contents, "p", rules, settings, alphabet.codec);
      compileRows(rules, alphabet.codec);
      const ConvertedPage screened = ConvertFile(contents, "p", rules, settings, alphabet.codec);
      ASSERT_EQ(screened.bytes, everyRow.bytes)
          << alphabet.codec.name() << " case " << i << " " << show(contents);
      ASSERT_EQ(screened.title, everyRow.title);
    }
  }
}

}  // namespace
}  // namespace loom
