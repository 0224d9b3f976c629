#include <utf8proc.h>

#include "base/codec.h"
#include "base/error.h"
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

char32_t simpleFold(char32_t cp) {
  if (cp < 0x80) return (cp >= 'A' && cp <= 'Z') ? cp + 32 : cp;
  if (cp >= kInvalidByteBase) return cp;
  // Lower of upper gives the simple case folding for every letter that has a
  // one-to-one case mapping (ſ, ς and the like fold with their partners).
  const auto c = static_cast<utf8proc_int32_t>(cp);
  return static_cast<char32_t>(utf8proc_tolower(utf8proc_toupper(c)));
}

CharAt foldedAt(std::string_view s, std::size_t pos) {
  const DecodedChar d = decodeUtf8(s, pos);
  if (!d.valid) return {kInvalidByteBase + static_cast<unsigned char>(s[pos]), 1};
  return {simpleFold(d.codePoint), d.length};
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
    if (caseSensitive) {
      // A valid needle can only match on character boundaries; step past hits
      // that start inside a sequence all the same, for needles that are not.
      for (std::size_t pos = hay.find(needle, from); pos != std::string_view::npos;
           pos = hay.find(needle, pos + 1)) {
        if (isBoundary(hay, pos)) return {pos, needle.size()};
      }
      return {};
    }
    const CharAt first = foldedAt(needle, 0);
    for (std::size_t i = from; i < hay.size(); i += charLength(hay, i)) {
      const CharAt h = foldedAt(hay, i);
      if (h.folded != first.folded) continue;
      std::size_t hp = i + h.length;
      std::size_t np = first.length;
      while (np < needle.size() && hp < hay.size()) {
        const CharAt a = foldedAt(hay, hp);
        const CharAt b = foldedAt(needle, np);
        if (a.folded != b.folded) break;
        hp += a.length;
        np += b.length;
      }
      if (np == needle.size()) return {i, hp - i};
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
    while (start > 0 && pos - start < 3 &&
           (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80) {
      --start;
    }
    if (start == pos) return true;
    const DecodedChar d = decodeUtf8(s, start);
    return !d.valid || start + d.length <= pos;
  }
};

}  // namespace

const TextCodec& utf8Codec() {
  static const Utf8Codec codec;
  return codec;
}

const TextCodec* codecByName(std::string_view name) {
  std::string lower;
  for (char c : name) lower.push_back((c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c);
  if (lower == "windows-1252") return &windows1252Codec();
  if (lower == "utf-8") return &utf8Codec();
  return nullptr;
}

}  // namespace loom
