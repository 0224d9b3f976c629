// The four constraint operations on arbitrary rows and lines, in both
// encodings. Every call must end (libFuzzer's timeout catches a row that
// never finishes a line) and keep a few properties any result has.

#include "base/codec.h"
#include "base/text.h"
#include "base/utf8.h"
#include "convert/constraint_kind.h"
#include "convert/constraint_ops.h"
#include "fuzz/entry/fuzz_entry.h"

namespace loom::fuzz {

void constraintOps(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const std::uint8_t flags = in.byte();
  const TextCodec& codec = (flags & 0x08) ? utf8Codec() : windows1252Codec();
  const bool caseSensitive = (flags & 0x10) != 0;
  const std::string first = in.text();
  std::string second = in.text();
  if (flags & 0x20) second = std::string(kEndOfLineMarker);
  const std::string front = in.text();
  const std::string back = in.text();
  const std::string line = in.rest();
  // With valid UTF-8 in, the UTF-8 codec must never cut a character apart.
  const bool checkUtf8 = codec.encoding() == Encoding::Utf8 && validUtf8(first) &&
                         validUtf8(second) && validUtf8(front) && validUtf8(back) &&
                         validUtf8(line);
  std::string out;
  switch (flags % 4) {
    case 0:
      out = ApplySearchReplace(line, first, second, caseSensitive, codec);
      if (first.empty() || !codec.find(line, first, 0, caseSensitive).found()) {
        require(out == line, "search and replace changed a line without a hit");
      }
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
      if (first.empty() || !codec.find(line, first, 0, caseSensitive).found()) {
        require(out == line, "replace formatting changed a line without a begin marker");
      }
      break;
    case 3:
      out = line;
      ApplyHeaderLine(out, first, second);
      require(out == line || out == second, "a header line became a third text");
      break;
  }
  if (checkUtf8) require(validUtf8(out), "a UTF-8 line came out with a broken character");
}

}  // namespace loom::fuzz
