// The encodings: Windows-1252 bytes survive a round trip through the
// database's UTF-8, stored text either translates or is refused with a
// LoomError, and searching, folding and comparing keep their promises.

#include "base/codec.h"
#include "base/error.h"
#include "base/utf8.h"
#include "fuzz/entry/fuzz_entry.h"

namespace loom::fuzz {
namespace {

void checkFind(const TextCodec& codec, std::string_view hay, std::string_view needle,
               std::size_t from, bool caseSensitive) {
  const Match m = codec.find(hay, needle, from, caseSensitive);
  if (!m.found()) return;
  require(m.pos >= from && m.pos + m.length <= hay.size(), "a hit outside the searched text");
  if (caseSensitive) require(hay.substr(m.pos, m.length) == needle, "a case-sensitive hit differs");
  if (!caseSensitive && validUtf8(hay) && validUtf8(needle)) {
    require(codec.equalNoCase(hay.substr(m.pos, m.length), needle), "a hit that does not match");
  }
}

}  // namespace

void transcode(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const std::uint8_t flags = in.byte();
  const std::string needle = in.text();
  const std::string bytes = in.rest();
  const TextCodec& ansi = windows1252Codec();
  const TextCodec& utf8 = utf8Codec();

  const std::string stored = ansi.toStore(bytes);
  require(validUtf8(stored), "Windows-1252 bytes stored as invalid UTF-8");
  require(ansi.fromStore(stored, "fuzz") == bytes, "Windows-1252 bytes lost in a round trip");
  try {
    const std::string back = ansi.fromStore(bytes, "fuzz");
    require(ansi.toStore(back) == bytes, "stored text changed in a round trip");
  } catch (const LoomError&) {
    // Text with no Windows-1252 form, or not UTF-8: refused, as it must be.
  }
  try {
    require(utf8.fromStore(bytes, "fuzz") == bytes, "UTF-8 text changed on reading");
    require(validUtf8(bytes), "invalid UTF-8 accepted");
  } catch (const LoomError&) {
    require(!validUtf8(bytes), "valid UTF-8 refused");
  }

  require(ansi.upper(bytes).size() == bytes.size(), "upper-casing changed the length");
  require(ansi.equalNoCase(ansi.upper(bytes), bytes), "upper-casing changed more than the case");
  const std::size_t from = flags % 8 < bytes.size() ? flags % 8 : 0;
  for (const TextCodec* codec : {&ansi, &utf8}) {
    require(codec->compareNoCase(bytes, bytes) == 0, "a text differs from itself");
    require(codec->compareNoCase(needle, bytes) == -codec->compareNoCase(bytes, needle),
            "comparison is not antisymmetric");
    require(codec->charCount(bytes) <= bytes.size(), "more characters than bytes");
    (void)codec->upper(bytes);
    checkFind(*codec, bytes, needle, from, true);
    checkFind(*codec, bytes, needle, from, false);
  }
}

}  // namespace loom::fuzz
