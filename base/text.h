// SPDX-License-Identifier: MIT
#pragma once
// Byte-string helpers used across the engine.

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

namespace loom {

// Removes leading and trailing space characters (code 32) only; tabs and line
// breaks stay. trimSpaces("  a\tb  ") == "a\tb". Inline: every line of every
// page passes here, most of them with no space at either end.
inline std::string_view trimSpaces(std::string_view s) {
  std::size_t first = 0, end = s.size();
  while (first != end && s[first] == ' ') ++first;
  if (first == end) return {};
  while (s[end - 1] == ' ') --end;
  return s.substr(first, end - first);
}

// `s` with A-Z made a-z; other bytes stay. For keys and names that compare
// without regard to ASCII letter case ("EndofLine", "UTF-8", "charset").
std::string asciiLower(std::string_view s);
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);

// A name as it can be shown in one message line: control characters, NUL
// among them, as escapes (a line feed as "\\n", escape as "\\e", others as
// "\\x1F", and the C1 characters U+0080 to U+009F as "\\u009B"), so that
// bytes from a file's name or text can never move a terminal's cursor,
// clear its screen or retitle its window.
std::string visibleName(std::string_view name);
// The same for text of several lines: its line feeds stay.
std::string visibleLines(std::string_view text);

// `text` in double quotes, as messages name what the user gave.
inline std::string quoted(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('"');
  out.append(text);
  out.push_back('"');
  return out;
}

// What ends a line of a source file. Text from the platform the rules were
// first written for ends its lines in CR LF (or CR), and there a lone LF is
// a character inside the line; text from this platform ends them in LF.
enum class LineEnds {
  CrLf,  // CR LF or a lone CR; a lone LF stays inside the line
  Any,   // CR LF, a lone CR or a lone LF
};

// The setting's value, "crlf" or "any", letter case and surrounding spaces
// ignored; nothing for any other text.
std::optional<LineEnds> lineEndsByName(std::string_view name);
const char* lineEndsName(LineEnds ends);

// Splits file contents into lines. The terminator is not part of the line,
// and a last line without terminator counts too, so "a\r\nb" gives
// {"a", "b"}, "a\r\n" gives {"a"} and "" gives no line at all. With
// LineEnds::CrLf, "a\nb\r\n" is the one line "a\nb"; with LineEnds::Any it is
// {"a", "b"}.
class LineReader {
 public:
  explicit LineReader(std::string_view contents, LineEnds ends = LineEnds::CrLf);
  // Stores the next line in `line` (a view into the contents) and returns
  // true, or returns false at the end. Inline: it runs once for every line
  // of every page.
  bool next(std::string_view& line) {
    constexpr std::size_t npos = std::string_view::npos;
    if (pos_ >= text_.size()) return false;
    if (cr_ != npos && cr_ < pos_) cr_ = findByte(text_, '\r', pos_);
    if (lf_ != npos && lf_ < pos_) lf_ = findByte(text_, '\n', pos_);
    const std::size_t end = std::min({cr_, lf_, text_.size()});
    line = text_.substr(pos_, end - pos_);
    pos_ = end;
    if (end < text_.size()) {
      ++pos_;  // the CR or LF
      if (text_[end] == '\r' && pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
    }
    return true;
  }

 private:
  // The offset of the first `c` at or after `from`, or npos.
  static std::size_t findByte(std::string_view text, char c, std::size_t from);

  std::string_view text_;
  std::size_t pos_ = 0;
  // Offsets of the next CR and LF at or after pos_ (npos: none, or LF does
  // not end lines). Each is searched again only once passed, so a file whose
  // lines all end in the other byte is not searched to its end per line.
  std::size_t cr_;
  std::size_t lf_;
};

}  // namespace loom
