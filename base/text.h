#pragma once
// Byte-string helpers used across the engine.

#include <string>
#include <string_view>

namespace loom {

// Removes leading and trailing space characters (code 32) only; tabs and line
// breaks stay. trimSpaces("  a\tb  ") == "a\tb".
std::string_view trimSpaces(std::string_view s);

// Splits file contents into lines. A line ends at CR LF or at a lone CR; a
// lone LF does not end a line and stays in it. The terminator is not part of
// the line, and a last line without terminator counts too, so "a\r\nb" gives
// {"a", "b"}, "a\r\n" gives {"a"} and "" gives no line at all.
class LineReader {
 public:
  explicit LineReader(std::string_view contents) : rest_(contents) {}
  // Stores the next line in `line` (a view into the contents) and returns
  // true, or returns false at the end.
  bool next(std::string_view& line);

 private:
  std::string_view rest_;
};

}  // namespace loom
