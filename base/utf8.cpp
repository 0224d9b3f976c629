// SPDX-License-Identifier: MIT
#include "base/utf8.h"

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace loom {

DecodedChar decodeUtf8(std::string_view s, std::size_t pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char b0 = byte(pos);
  if (b0 < 0x80) return {b0, 1, true};
  std::size_t len;
  char32_t cp;
  char32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    return {};
  }
  if (pos + len > s.size()) return {};
  for (std::size_t i = 1; i < len; ++i) {
    const unsigned char b = byte(pos + i);
    if ((b & 0xC0) != 0x80) return {};
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return {};
  return {cp, len, true};
}

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string codePointName(char32_t cp) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(cp));
  return buf;
}

std::size_t firstInvalidUtf8(std::string_view s) {
  std::size_t pos = 0;
  while (pos < s.size()) {
    // Most text is ASCII: pass over it eight bytes at a time, and then
    // straight to the first byte that is not.
    while (pos + 8 <= s.size()) {
      std::uint64_t chunk;
      std::memcpy(&chunk, s.data() + pos, 8);
      const std::uint64_t high = chunk & 0x8080808080808080ULL;
      if (high == 0) {
        pos += 8;
        continue;
      }
      if constexpr (std::endian::native == std::endian::little) {
        pos += static_cast<std::size_t>(std::countr_zero(high)) / 8;
      }
      break;
    }
    if (pos < s.size() && static_cast<unsigned char>(s[pos]) < 0x80) {
      ++pos;
      continue;
    }
    if (pos >= s.size()) break;
    // Most of the rest is two-byte letters (accented Latin, Greek,
    // Cyrillic): a lead byte C2-DF and one continuation byte are always
    // valid, with no need to decode them.
    const auto lead = static_cast<unsigned char>(s[pos]);
    if (lead >= 0xC2 && lead <= 0xDF && pos + 1 < s.size() &&
        (static_cast<unsigned char>(s[pos + 1]) & 0xC0) == 0x80) {
      pos += 2;
      continue;
    }
    const DecodedChar d = decodeUtf8(s, pos);
    if (!d.valid) return pos;
    pos += d.length;
  }
  return std::string_view::npos;
}

}  // namespace loom
