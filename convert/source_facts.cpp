// SPDX-License-Identifier: MIT
#include "convert/source_facts.h"

#include <algorithm>
#include <cstring>

#include "base/utf8.h"

namespace loom {
namespace {

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool startsMarkup(char opener, char next) {
  if (opener == '<') return isAsciiLetter(next) || next == '/' || next == '!' || next == '?';
  return isAsciiLetter(next) || next == '#';
}

// The first offset of `opener` from `from` on that starts markup, or npos.
std::size_t findMarkup(std::string_view text, char opener) {
  std::size_t from = 0;
  while (from + 1 < text.size()) {
    const void* hit = std::memchr(text.data() + from, opener, text.size() - from - 1);
    if (hit == nullptr) break;
    const std::size_t at = static_cast<const char*>(hit) - text.data();
    if (startsMarkup(opener, text[at + 1])) return at;
    from = at + 1;
  }
  return std::string_view::npos;
}

// The markup-like text at `at`: up to its closing ">" or ";" when that comes
// soon on the same line, else up to the next blank or line end, kept short.
std::string sampleAt(std::string_view text, std::size_t at) {
  constexpr std::size_t kMost = 60;
  const char closer = text[at] == '<' ? '>' : ';';
  const std::string_view rest = text.substr(at, kMost);
  std::size_t end = rest.find_first_of(std::string_view("\r\n\0", 3));
  if (end == std::string_view::npos) end = rest.size();
  const std::size_t close = rest.substr(0, end).find(closer);
  if (close != std::string_view::npos) return std::string(rest.substr(0, close + 1));
  const std::size_t blank = rest.substr(0, end).find_first_of(" \t");
  return std::string(rest.substr(0, blank == std::string_view::npos ? end : blank));
}

std::size_t firstNonAscii(std::string_view text) {
  std::size_t pos = 0;
  for (; pos + 8 <= text.size(); pos += 8) {  // most text is ASCII: eight bytes a step
    std::uint64_t chunk;
    std::memcpy(&chunk, text.data() + pos, 8);
    if ((chunk & 0x8080808080808080ULL) != 0) break;
  }
  for (; pos < text.size(); ++pos) {
    if (static_cast<unsigned char>(text[pos]) >= 0x80) return pos;
  }
  return std::string_view::npos;
}

std::int64_t lineOf(std::string_view text, std::size_t at, LineEnds ends) {
  LineReader reader(text, ends);
  std::string_view line;
  std::int64_t number = 0;
  while (reader.next(line)) {
    ++number;
    if (static_cast<std::size_t>(line.data() + line.size() - text.data()) >= at) break;
  }
  return number;
}

}  // namespace

SourceFacts inspectSource(std::string_view contents, LineEnds ends, SourceLook look) {
  SourceFacts facts;
  if (contents.empty()) return facts;
  facts.lineFeedsOnly = std::memchr(contents.data(), '\r', contents.size()) == nullptr &&
                        std::memchr(contents.data(), '\n', contents.size()) != nullptr;
  if (look.utf8) {
    const std::size_t first = firstNonAscii(contents);
    if (first != std::string_view::npos &&
        firstInvalidUtf8(contents.substr(first)) == std::string_view::npos) {
      facts.utf8Line = lineOf(contents, first, ends);
    }
  }
  if (look.invalidUtf8 && firstInvalidUtf8(contents) != std::string_view::npos) {
    SourceFacts::InvalidUtf8 invalid;
    LineReader reader(contents, ends);
    std::string_view line;
    for (std::int64_t number = 1; reader.next(line); ++number) {
      for (std::size_t pos = 0; pos < line.size();) {
        const DecodedChar d = decodeUtf8(line, pos);
        if (!d.valid && invalid.count++ == 0) {
          invalid.line = number;
          invalid.column = pos + 1;
        }
        pos += d.length;
      }
    }
    if (invalid.count > 0) facts.invalidUtf8 = invalid;
  }
  if (look.markup) {
    const std::size_t tag = findMarkup(contents, '<');
    const std::size_t reference = findMarkup(contents, '&');
    const std::size_t at = std::min(tag, reference);
    if (at != std::string_view::npos) {
      facts.markup = MarkupSample{lineOf(contents, at, ends), sampleAt(contents, at)};
    }
  }
  return facts;
}

}  // namespace loom
