// The encodings: Windows-1252 bytes survive a round trip through the
// database's UTF-8, stored text either translates or is refused with a
// LoomError, and searching, folding and comparing keep their promises.

#include "fuzz/entry/fuzz_entry.h"

void loom::fuzz::transcode(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const std::string needle = in.text();
  const std::string bytes = in.rest();
  const TextCodec& ansi = windows1252Codec();

  const std::string stored = ansi.toStore(bytes);
  require(validUtf8(stored), "Windows-1252 bytes stored as invalid UTF-8");
  require(ansi.fromStore(stored, "fuzz") == bytes, "Windows-1252 bytes lost in a round trip");
  try {
    require(ansi.toStore(ansi.fromStore(bytes, "fuzz")) == bytes,
            "stored text changed in a round trip");
  } catch (const LoomError&) {
    // Text with no Windows-1252 form, or not UTF-8: refused, as it must be.
  }
  try {
    require(utf8Codec().fromStore(bytes, "fuzz") == bytes, "UTF-8 text changed on reading");
    require(validUtf8(bytes), "invalid UTF-8 accepted");
  } catch (const LoomError&) {
    require(!validUtf8(bytes), "valid UTF-8 refused");
  }

  require(ansi.upper(bytes).size() == bytes.size(), "upper-casing changed the length");
  require(ansi.equalNoCase(ansi.upper(bytes), bytes), "upper-casing changed more than the case");
  const std::size_t from = in.flags % 8 < bytes.size() ? in.flags % 8 : 0;
  for (const TextCodec* codec : {&ansi, &utf8Codec()}) {
    require(codec->compareNoCase(bytes, bytes) == 0, "a text differs from itself");
    require(codec->compareNoCase(needle, bytes) == -codec->compareNoCase(bytes, needle),
            "comparison is not antisymmetric");
    require(codec->charCount(bytes) <= bytes.size(), "more characters than bytes");
    (void)codec->upper(bytes);
    for (const bool caseSensitive : {true, false}) {
      const Match m = codec->find(bytes, needle, from, caseSensitive);
      if (!m.found()) continue;
      require(m.pos >= from && m.pos + m.length <= bytes.size(), "a hit outside the searched text");
      const std::string_view hit = std::string_view(bytes).substr(m.pos, m.length);
      require(!caseSensitive || hit == needle, "a case-sensitive hit differs");
      require(caseSensitive || !validUtf8(bytes, needle) || codec->equalNoCase(hit, needle),
              "a hit that does not match");
    }
  }
}
