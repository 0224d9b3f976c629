// SPDX-License-Identifier: MIT
// Round trips between the encodings, and searching, folding and comparing.

#include "fuzz/entry/fuzz_entry.h"

void loom::fuzz::transcode(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const std::string needle = in.text(), bytes(in.rest);
  const TextCodec& ansi = windows1252Codec();
  const std::string stored = ansi.toStore(bytes);
  LOOMWISE_REQUIRE(validUtf8(stored) && ansi.fromStore(stored, "fuzz") == bytes);
  try {
    LOOMWISE_REQUIRE(ansi.toStore(ansi.fromStore(bytes, "fuzz")) == bytes);
  } catch (const LoomError&) {  // no Windows-1252 form, or not UTF-8: refused, as it must be
  }
  try {
    LOOMWISE_REQUIRE(utf8Codec().fromStore(bytes, "fuzz") == bytes && validUtf8(bytes));
  } catch (const LoomError&) {
    LOOMWISE_REQUIRE(!validUtf8(bytes));
  }
  LOOMWISE_REQUIRE(ansi.upper(bytes).size() == bytes.size() &&
                   ansi.equalNoCase(ansi.upper(bytes), bytes));
  const std::size_t from = in.flags % 8 < bytes.size() ? in.flags % 8 : 0;
  for (const TextCodec* codec : {&ansi, &utf8Codec()}) {
    LOOMWISE_REQUIRE(codec->compareNoCase(bytes, bytes) == 0 &&
                     codec->compareNoCase(needle, bytes) == -codec->compareNoCase(bytes, needle));
    LOOMWISE_REQUIRE(codec->charCount(bytes) <= bytes.size());
    (void)codec->upper(bytes);
    for (const bool matchCase : {true, false}) {
      const Match m = codec->find(bytes, needle, from, matchCase);
      if (!m.found()) continue;
      LOOMWISE_REQUIRE(m.pos >= from && m.pos + m.length <= bytes.size());
      const std::string_view hit = std::string_view(bytes).substr(m.pos, m.length);
      LOOMWISE_REQUIRE(matchCase ? hit == needle
                                 : !validUtf8(bytes, needle) || codec->equalNoCase(hit, needle));
    }
  }
}
