// SPDX-License-Identifier: MIT
#include <utf8proc.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/byte_search.h"
#include "base/case_folding_table.h"
#include "base/codec.h"
#include "base/error.h"
#include "base/text.h"
#include "base/utf8.h"

namespace loom {
namespace {

// An invalid byte is a character of its own that matches only itself; it is
// mapped outside the range of real code points so folding never touches it.
constexpr char32_t kInvalidByteBase = 0x110000;

struct CharAt {
  char32_t folded;
  std::size_t length;
};

char32_t asciiFold(unsigned char b) { return (b >= 'A' && b <= 'Z') ? b + 32u : b; }

// The folding Unicode's CaseFolding.txt gives `cp` (statuses C and S), or
// `cp` itself.
char32_t foldByRuns(char32_t cp) {
  const auto after = std::upper_bound(kCaseFoldingRuns.begin(), kCaseFoldingRuns.end(), cp,
                                      [](char32_t c, const FoldRun& r) { return c < r.first; });
  if (after == kCaseFoldingRuns.begin()) return cp;
  const FoldRun& run = *(after - 1);
  if (cp > run.last || (cp - run.first) % static_cast<char32_t>(run.stride) != 0) return cp;
  return static_cast<char32_t>(static_cast<std::int32_t>(cp) + run.delta);
}

// The folding of the Basic Multilingual Plane, looked up instead of searched
// for character by character, and the ASCII letters that some other
// character folds with (k and the Kelvin sign, s and the long s).
struct FoldTable {
  std::vector<char32_t> bmp;
  std::array<bool, 128> asciiShared{};
  // For each folded ASCII letter, the bytes a character folding to it can
  // start with: its two cases and the lead bytes of its other partners.
  std::array<std::string, 128> startBytes;
  FoldTable() : bmp(0x10000) {
    for (char32_t cp = 0; cp < 0x10000; ++cp) bmp[cp] = cp;
    for (char32_t cp = 0; cp < 0x80; ++cp) startBytes[cp].push_back(static_cast<char>(cp));
    for (const FoldRun& run : kCaseFoldingRuns) {
      for (char32_t cp = run.first; cp <= run.last; cp += static_cast<char32_t>(run.stride)) {
        const auto folded = static_cast<char32_t>(static_cast<std::int32_t>(cp) + run.delta);
        if (cp < 0x10000) bmp[cp] = folded;
        if (folded >= 0x80) continue;
        std::string bytes;
        appendUtf8(bytes, cp);
        std::string& starts = startBytes[folded];
        if (starts.find(bytes[0]) == std::string::npos) starts.push_back(bytes[0]);
        if (cp >= 0x80) asciiShared[folded] = true;
      }
    }
  }
};

const FoldTable& foldTable() {
  static const FoldTable table;
  return table;
}

// Whether ASCII byte `b` matches only its own two cases under `folds`.
bool asciiFoldIsClosedIn(const FoldTable& folds, unsigned char b) {
  return b < 0x80 && !folds.asciiShared[asciiFold(b)];
}

char32_t simpleFold(char32_t cp) {
  if (cp < 0x10000) return foldTable().bmp[cp];
  if (cp >= kInvalidByteBase) return cp;
  return foldByRuns(cp);
}

CharAt foldedAt(std::string_view s, std::size_t pos) {
  const auto b = static_cast<unsigned char>(s[pos]);
  if (b < 0x80) return {asciiFold(b), 1};
  const DecodedChar d = decodeUtf8(s, pos);
  if (!d.valid) return {kInvalidByteBase + b, 1};
  return {simpleFold(d.codePoint), d.length};
}

bool isLeadByte(unsigned char b) { return b >= 0xC2 && b <= 0xF4; }

// Whether `needle` matches `hay` at `pos` when folded; the matched length in
// `length`.
bool foldedMatchAt(std::string_view hay, std::size_t pos, std::string_view needle,
                   std::size_t& length) {
  std::size_t hp = pos, np = 0;
  while (np < needle.size()) {
    if (hp >= hay.size()) return false;
    const auto hb = static_cast<unsigned char>(hay[hp]);
    const auto nb = static_cast<unsigned char>(needle[np]);
    if ((hb | nb) < 0x80) {  // both ASCII: no decoding needed
      if (asciiFold(hb) != asciiFold(nb)) return false;
      ++hp;
      ++np;
      continue;
    }
    const CharAt a = foldedAt(hay, hp);
    const CharAt b = foldedAt(needle, np);
    if (a.folded != b.folded) return false;
    hp += a.length;
    np += b.length;
  }
  length = hp - pos;
  return true;
}

class Utf8Codec final : public TextCodec {
 public:
  Encoding encoding() const override { return Encoding::Utf8; }
  std::string_view name() const override { return "utf-8"; }

  std::string fromStore(std::string_view utf8, std::string_view where) const override {
    const std::size_t bad = firstInvalidUtf8(utf8);
    if (bad != std::string_view::npos) {
      throw LoomError(ErrorKind::Rules, std::string(where) +
                                            ": the stored text is not valid UTF-8 (byte " +
                                            std::to_string(bad + 1) + ")");
    }
    return std::string(utf8);
  }

  std::string toStore(std::string_view bytes) const override { return std::string(bytes); }

  std::size_t charLength(std::string_view s, std::size_t pos) const override {
    if (pos >= s.size()) return 1;
    return decodeUtf8(s, pos).length;
  }

  std::size_t charCount(std::string_view s) const override {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < s.size(); pos += charLength(s, pos)) ++count;
    return count;
  }

  Match find(std::string_view hay, std::string_view needle, std::size_t from,
             bool caseSensitive) const override {
    if (from > hay.size() || (from == hay.size() && !needle.empty())) return {};
    if (needle.empty()) return {from, 0};
    const std::size_t n = needle.size();
    const char* const begin = hay.data();
    const auto hitAt = [&](const char* at, std::size_t hitLength) {
      return at == nullptr ? Match{} : Match{static_cast<std::size_t>(at - begin), hitLength};
    };
    if (caseSensitive) {
      if (n > hay.size() - from) return {};
      // A valid needle can only match on character boundaries; step past hits
      // that start inside a sequence all the same, for needles that are not.
      const auto lead = static_cast<unsigned char>(needle.front());
      const auto last = static_cast<unsigned char>(needle.back());
      return hitAt(findByEnds(begin + from, begin + (hay.size() - n), n, {lead, lead}, {last, last},
                              [&](const char* at) {
                                return std::memcmp(at + 1, needle.data() + 1, n - 1) == 0 &&
                                       isBoundary(hay, static_cast<std::size_t>(at - begin));
                              }),
                   n);
    }
    // Every search asks this of each byte of its needle: the table is
    // looked up once, not once a byte.
    const FoldTable& folds = foldTable();
    if (std::all_of(needle.begin(), needle.end(), [&folds](char c) {
          return asciiFoldIsClosedIn(folds, static_cast<unsigned char>(c));
        })) {
      // ASCII that no other character folds with matches only its own two
      // cases, byte for byte, and an ASCII byte always begins a character.
      if (n > hay.size() - from) return {};
      const auto cases = [](char c) {
        const auto folded = static_cast<unsigned char>(asciiFold(static_cast<unsigned char>(c)));
        const auto upper = static_cast<unsigned char>(
            folded >= 'a' && folded <= 'z' ? folded - ('a' - 'A') : folded);
        return BytePair{folded, upper};
      };
      return hitAt(findByEnds(begin + from, begin + (hay.size() - n), n, cases(needle.front()),
                              cases(needle.back()),
                              [&](const char* at) {
                                for (std::size_t k = 1; k + 1 < n; ++k) {
                                  if (asciiFold(static_cast<unsigned char>(at[k])) !=
                                      asciiFold(static_cast<unsigned char>(needle[k]))) {
                                    return false;
                                  }
                                }
                                return true;
                              }),
                   n);
    }
    const CharAt first = foldedAt(needle, 0);
    std::size_t length = 0;
    if (first.folded < 0x80 && folds.startBytes[first.folded].size() <= 4) {
      // Only a few bytes can start a hit (the letter's two cases and the lead
      // bytes of the odd characters folding with it): look at those alone.
      const char* const at = findByStart(
          begin + from, begin + hay.size() - 1, folds.startBytes[first.folded], [&](const char* p) {
            return foldedMatchAt(hay, static_cast<std::size_t>(p - begin), needle, length);
          });
      return hitAt(at, length);
    }
    if (first.folded >= kInvalidByteBase) {
      // A needle that starts with an invalid byte: walk character by character.
      for (std::size_t i = from; i < hay.size(); i += charLength(hay, i)) {
        if (foldedMatchAt(hay, i, needle, length)) return {i, length};
      }
      return {};
    }
    // Every ASCII byte and every lead byte starts a character, so a hit can
    // be looked for at those bytes alone, without decoding the rest.
    for (std::size_t i = from; i < hay.size(); ++i) {
      const auto b = static_cast<unsigned char>(hay[i]);
      if (b < 0x80 ? asciiFold(b) != first.folded : !isLeadByte(b)) continue;
      if (foldedMatchAt(hay, i, needle, length)) return {i, length};
    }
    return {};
  }

  std::string upper(std::string_view s) const override {
    std::string out;
    out.reserve(s.size());
    for (std::size_t pos = 0; pos < s.size();) {
      const DecodedChar d = decodeUtf8(s, pos);
      if (!d.valid) {
        out.push_back(s[pos]);
      } else {
        appendUtf8(out, static_cast<char32_t>(
                            utf8proc_toupper(static_cast<utf8proc_int32_t>(d.codePoint))));
      }
      pos += d.length;
    }
    return out;
  }

  int compareNoCase(std::string_view a, std::string_view b) const override {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
      const CharAt x = foldedAt(a, i);
      const CharAt y = foldedAt(b, j);
      if (x.folded != y.folded) return x.folded < y.folded ? -1 : 1;
      i += x.length;
      j += y.length;
    }
    if (i == a.size() && j == b.size()) return 0;
    return i == a.size() ? -1 : 1;
  }

 private:
  static bool isBoundary(std::string_view s, std::size_t pos) {
    if (pos == 0 || pos >= s.size()) return true;
    // Walk back to the start of the sequence this byte may belong to.
    std::size_t start = pos;
    while (start > 0 && pos - start < 3 && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80) {
      --start;
    }
    if (start == pos) return true;
    const DecodedChar d = decodeUtf8(s, start);
    return !d.valid || start + d.length <= pos;
  }
};

}  // namespace

bool asciiFoldIsClosed(unsigned char b) { return asciiFoldIsClosedIn(foldTable(), b); }

std::string_view longestClosedAsciiRun(std::string_view text) {
  std::size_t bestFrom = 0, bestLength = 0;
  for (std::size_t from = 0; from < text.size();) {
    std::size_t to = from;
    while (to < text.size() && static_cast<unsigned char>(text[to]) < 0x80 &&
           asciiFoldIsClosed(static_cast<unsigned char>(text[to]))) {
      ++to;
    }
    if (to - from > bestLength) {
      bestFrom = from;
      bestLength = to - from;
    }
    from = to + 1;
  }
  return text.substr(bestFrom, bestLength);
}

const TextCodec& utf8Codec() {
  static const Utf8Codec codec;
  return codec;
}

const TextCodec* codecByName(std::string_view name) {
  const std::string lower = asciiLower(name);
  if (lower == "windows-1252") return &windows1252Codec();
  if (lower == "utf-8") return &utf8Codec();
  return nullptr;
}

}  // namespace loom
