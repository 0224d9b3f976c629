// SPDX-License-Identifier: MIT
#include "base/text.h"

#include <algorithm>
#include <cstring>

namespace loom {

namespace {

char asciiLowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

}  // namespace

std::string asciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = asciiLowerChar(c);
  return out;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (asciiLowerChar(a[i]) != asciiLowerChar(b[i])) return false;
  }
  return true;
}

std::optional<LineEnds> lineEndsByName(std::string_view name) {
  const std::string_view t = trimSpaces(name);
  if (equalsIgnoringAsciiCase(t, "crlf")) return LineEnds::CrLf;
  if (equalsIgnoringAsciiCase(t, "any")) return LineEnds::Any;
  return std::nullopt;
}

const char* lineEndsName(LineEnds ends) { return ends == LineEnds::Any ? "any" : "crlf"; }

std::size_t LineReader::findByte(std::string_view text, char c, std::size_t from) {
  if (from >= text.size()) return std::string_view::npos;
  const void* hit = std::memchr(text.data() + from, c, text.size() - from);
  return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text.data())
             : std::string_view::npos;
}

LineReader::LineReader(std::string_view contents, LineEnds ends)
    : text_(contents),
      cr_(findByte(contents, '\r', 0)),
      lf_(ends == LineEnds::Any ? findByte(contents, '\n', 0) : std::string_view::npos) {}

namespace {

std::string escapeControls(std::string_view text, bool keepLineFeeds) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    if (b == 0xC2 && next >= 0x80 && next <= 0x9F) {
      // A C1 control in UTF-8: terminals take U+009B as the start of a
      // command, as they do escape and "[".
      out += "\\u00";
      out += hex[next >> 4];
      out += hex[next & 15];
      ++i;
    } else if (b >= 0x20 && b != 0x7F) {
      out += text[i];
    } else if (b == '\n') {
      out += keepLineFeeds ? "\n" : "\\n";
    } else if (b == 0x1B) {
      out += "\\e";
    } else {
      out += "\\x";
      out += hex[b >> 4];
      out += hex[b & 15];
    }
  }
  return out;
}

}  // namespace

std::string visibleName(std::string_view name) { return escapeControls(name, false); }

std::string visibleLines(std::string_view text) { return escapeControls(text, true); }

}  // namespace loom
