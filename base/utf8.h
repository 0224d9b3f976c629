// SPDX-License-Identifier: MIT
#pragma once
// Small UTF-8 helpers shared by the codecs. Decoding is strict: overlong
// forms, surrogates and code points past U+10FFFF are invalid.

#include <cstddef>
#include <string>
#include <string_view>

namespace loom {

struct DecodedChar {
  char32_t codePoint = 0;
  std::size_t length = 1;  // bytes consumed; 1 for an invalid byte
  bool valid = false;
};

DecodedChar decodeUtf8(std::string_view s, std::size_t pos);
void appendUtf8(std::string& out, char32_t codePoint);
// "U+20AC" style name of a code point, for messages.
std::string codePointName(char32_t codePoint);
// Whether no character other than the two ASCII cases of `b` folds with it
// under Unicode simple case folding (false for k and s, which share their
// folding with the Kelvin sign and the long s).
bool asciiFoldIsClosed(unsigned char b);
// The longest run of `text` made of such ASCII bytes alone: what a
// case-insensitive UTF-8 search is sure to find, byte for byte in either
// case, wherever the whole text matches. "Straße" -> "tra".
std::string_view longestClosedAsciiRun(std::string_view text);

// Offset of the first byte that is not part of a valid sequence, or npos.
std::size_t firstInvalidUtf8(std::string_view s);

}  // namespace loom
