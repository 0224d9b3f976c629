// SPDX-License-Identifier: MIT
// Constraint operations on any row and line; libFuzzer times out endless ones.

#include "convert/constraint_kind.h"
#include "convert/constraint_ops.h"
#include "fuzz/entry/fuzz_entry.h"

void loom::fuzz::constraintOps(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const TextCodec& codec = in.codec();
  const bool matchCase = (in.flags & 0x10) != 0;
  std::string first = in.text(), second = in.text(), front = in.text(), back = in.text();
  if (in.flags & 0x20) second = kEndOfLineMarker;
  const std::string line(in.rest);
  const bool hit = !first.empty() && codec.find(line, first, 0, matchCase).found();
  const int kind = in.flags % 4;  // search and replace, remove blocks, formatting, header line
  std::string out = line;
  if (kind == 0) out = ApplySearchReplace(line, first, second, matchCase, codec);
  if (kind == 1) out = ApplyRemoveBlock(line, first, second, matchCase, codec);
  if (kind == 2) out = ApplyReplaceFormatting(line, first, second, matchCase, front, back, codec);
  if (kind == 3) ApplyHeaderLine(out, first, second);
  LOOMWISE_REQUIRE(kind % 2 == 1 || hit || out == line);
  LOOMWISE_REQUIRE(kind != 1 || out.size() <= line.size());
  const bool toEnd = second == kEndOfLineMarker && !first.empty();
  LOOMWISE_REQUIRE(kind != 1 || !toEnd || out == trimSpaces(out));
  LOOMWISE_REQUIRE(kind != 1 || toEnd || (!first.empty() && !second.empty()) || out == line);
  LOOMWISE_REQUIRE(kind != 3 || out == line || out == second);
  LOOMWISE_REQUIRE(codec.encoding() != Encoding::Utf8 ||
                   !validUtf8(first, second, front, back, line) || validUtf8(out));
}
