// SPDX-License-Identifier: MIT
#include <array>
#include <cstdint>
#include <cstring>

#include "base/byte_search.h"
#include "base/codec.h"
#include "base/error.h"
#include "base/utf8.h"

namespace loom {
namespace {

// Code points of the bytes 0x80-0x9F. The five bytes that Windows-1252 leaves
// undefined map to the C1 control of the same number, as Windows itself does,
// so that every byte survives a round trip through the database.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t byteToCodePoint(unsigned char b) {
  if (b >= 0x80 && b <= 0x9F) return kHighControls[b - 0x80];
  return b;
}

int codePointToByte(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  for (std::size_t i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] == cp) return static_cast<int>(0x80 + i);
  }
  return -1;
}

// Lower-case partner of each byte; the letters of Windows-1252 are A-Z, the
// accented capitals 0xC0-0xDE (not the sign 0xD7) and the four pairs
// Š/š, Œ/œ, Ž/ž, Ÿ/ÿ.
struct FoldTables {
  std::array<unsigned char, 256> lower{};
  std::array<unsigned char, 256> upper{};
  constexpr FoldTables() {
    for (int b = 0; b < 256; ++b) lower[b] = upper[b] = static_cast<unsigned char>(b);
    auto pair = [this](int up, int low) {
      lower[up] = static_cast<unsigned char>(low);
      upper[low] = static_cast<unsigned char>(up);
    };
    for (int b = 'A'; b <= 'Z'; ++b) pair(b, b + 32);
    for (int b = 0xC0; b <= 0xDE; ++b) {
      if (b != 0xD7) pair(b, b + 32);
    }
    pair(0x8A, 0x9A);
    pair(0x8C, 0x9C);
    pair(0x8E, 0x9E);
    pair(0x9F, 0xFF);
  }
};

// Built by the compiler: find runs several times a line and should not test
// whether the tables are made yet.
constexpr FoldTables kFolds;

class Windows1252Codec final : public TextCodec {
 public:
  Encoding encoding() const override { return Encoding::Windows1252; }
  std::string_view name() const override { return "windows-1252"; }

  std::string fromStore(std::string_view utf8, std::string_view where) const override {
    std::string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
      const DecodedChar d = decodeUtf8(utf8, pos);
      if (!d.valid) {
        throw LoomError(ErrorKind::Rules, std::string(where) +
                                              ": the stored text is not valid UTF-8 (byte " +
                                              std::to_string(pos + 1) + ")");
      }
      const int b = codePointToByte(d.codePoint);
      if (b < 0) {
        throw LoomError(ErrorKind::Rules,
                        std::string(where) + ": the character " + codePointName(d.codePoint) +
                            " \"" + std::string(utf8.substr(pos, d.length)) +
                            "\" has no Windows-1252 form; replace it or switch the rule "
                            "database to UTF-8");
      }
      out.push_back(static_cast<char>(b));
      pos += d.length;
    }
    return out;
  }

  std::string toStore(std::string_view bytes) const override {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) appendUtf8(out, byteToCodePoint(static_cast<unsigned char>(c)));
    return out;
  }

  std::size_t charLength(std::string_view, std::size_t) const override { return 1; }
  std::size_t charCount(std::string_view s) const override { return s.size(); }

  Match find(std::string_view hay, std::string_view needle, std::size_t from,
             bool caseSensitive) const override {
    if (from > hay.size() || (from == hay.size() && !needle.empty())) return {};
    if (needle.empty()) return {from, 0};
    const std::size_t n = needle.size();
    if (n > hay.size() - from) return {};
    const auto& lower = kFolds.lower;
    const auto& upper = kFolds.upper;
    const auto pairOf = [&](char c) {
      const auto b = static_cast<unsigned char>(c);
      return caseSensitive ? BytePair{b, b} : BytePair{lower[b], upper[b]};
    };
    const char* const begin = hay.data();
    const char* const at =
        findByEnds(begin + from, begin + (hay.size() - n), n, pairOf(needle.front()),
                   pairOf(needle.back()), [&](const char* place) {
                     if (caseSensitive)
                       return std::memcmp(place + 1, needle.data() + 1, n - 1) == 0;
                     for (std::size_t k = 1; k + 1 < n; ++k) {
                       if (lower[static_cast<unsigned char>(place[k])] !=
                           lower[static_cast<unsigned char>(needle[k])]) {
                         return false;
                       }
                     }
                     return true;
                   });
    return at == nullptr ? Match{} : Match{static_cast<std::size_t>(at - begin), n};
  }

  std::string upper(std::string_view s) const override {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(kFolds.upper[static_cast<unsigned char>(c)]);
    return out;
  }

  int compareNoCase(std::string_view a, std::string_view b) const override {
    const auto& lower = kFolds.lower;
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
      const int x = lower[static_cast<unsigned char>(a[i])];
      const int y = lower[static_cast<unsigned char>(b[i])];
      if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
  }
};

}  // namespace

const TextCodec& windows1252Codec() {
  static const Windows1252Codec codec;
  return codec;
}

}  // namespace loom
