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

std::string visibleName(std::string_view name) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (const char c : name) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b != 0x7F) {
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += "\\x";
      out += hex[b >> 4];
      out += hex[b & 15];
    }
  }
  return out;
}

}  // namespace loom
