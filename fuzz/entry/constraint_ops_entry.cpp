// The four constraint operations on arbitrary rows and lines, in both
// encodings; libFuzzer's timeout catches a row that never finishes a line.

#include "convert/constraint_kind.h"
#include "convert/constraint_ops.h"
#include "fuzz/entry/fuzz_entry.h"

void loom::fuzz::constraintOps(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const TextCodec& codec = in.codec();
  const bool caseSensitive = (in.flags & 0x10) != 0;
  std::string first = in.text(), second = in.text(), front = in.text(), back = in.text();
  if (in.flags & 0x20) second = kEndOfLineMarker;
  const std::string line = in.rest();
  const bool hit = !first.empty() && codec.find(line, first, 0, caseSensitive).found();
  std::string out = line;
  switch (in.flags % 4) {
    case 0:
      out = ApplySearchReplace(line, first, second, caseSensitive, codec);
      require(hit || out == line, "search and replace changed a line without a hit");
      break;
    case 1:
      out = ApplyRemoveBlock(line, first, second, caseSensitive, codec);
      require(out.size() <= line.size(), "removing blocks made the line longer");
      if (second == kEndOfLineMarker && !first.empty()) {
        require(out == trimSpaces(out), "removing to the end of the line left outer spaces");
      } else if (first.empty() || second.empty()) {
        require(out == line, "an empty marker changed the line");
      }
      break;
    case 2:
      out = ApplyReplaceFormatting(line, first, second, caseSensitive, front, back, codec);
      require(hit || out == line, "replace formatting changed a line without a begin marker");
      break;
    default:
      ApplyHeaderLine(out, first, second);
      require(out == line || out == second, "a header line became a third text");
  }
  // With valid UTF-8 in, the UTF-8 codec must never cut a character apart.
  require(codec.encoding() != Encoding::Utf8 || !validUtf8(first, second, front, back, line) ||
              validUtf8(out),
          "a UTF-8 line came out with a broken character");
}
