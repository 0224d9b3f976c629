// SPDX-License-Identifier: MIT
#pragma once
// The text encoding seam. The engine works on byte strings in the encoding of
// the run; the rule database stores UTF-8. Everything that depends on the
// encoding -- transcoding at the database edge, what a "character" is, how
// letters fold for case-insensitive matching and upper-casing -- goes through
// one TextCodec, chosen once per run.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace loom {

enum class Encoding { Windows1252, Utf8 };

// A hit of a search: byte offset and byte length of the matched text in the
// searched string. A case-insensitive UTF-8 hit may differ in byte length
// from the needle; every other hit has the needle's length.
struct Match {
  static constexpr std::size_t npos = std::string_view::npos;
  std::size_t pos = npos;
  std::size_t length = 0;
  bool found() const { return pos != npos; }
};

class TextCodec {
 public:
  virtual ~TextCodec() = default;
  virtual Encoding encoding() const = 0;
  virtual std::string_view name() const = 0;

  // Database text (UTF-8) to engine bytes. `where` names the table, row and
  // column for the message of the LoomError thrown when the text holds a
  // character this encoding cannot write (never a silent '?').
  virtual std::string fromStore(std::string_view utf8, std::string_view where) const = 0;
  // Engine bytes to database text (UTF-8).
  virtual std::string toStore(std::string_view bytes) const = 0;

  // Byte length of the character that starts at `pos` (1 past the end).
  virtual std::size_t charLength(std::string_view s, std::size_t pos) const = 0;
  // Number of characters in `s`.
  virtual std::size_t charCount(std::string_view s) const = 0;

  // First hit of `needle` in `hay` that starts at byte offset `from` or later,
  // on a character boundary. Case-insensitive matching folds letters of this
  // encoding (not only A-Z). An empty needle is found at `from` when `from`
  // lies inside `hay`.
  virtual Match find(std::string_view hay, std::string_view needle, std::size_t from,
                     bool caseSensitive) const = 0;

  virtual std::string upper(std::string_view s) const = 0;
  // Case-insensitive three-way comparison, for the sorted index entries.
  virtual int compareNoCase(std::string_view a, std::string_view b) const = 0;
  bool equalNoCase(std::string_view a, std::string_view b) const {
    return compareNoCase(a, b) == 0;
  }
};

// The codec of Windows-1252 ("ANSI") text: one byte is one character.
const TextCodec& windows1252Codec();
// The codec of UTF-8 text: characters are code points, case folding is
// Unicode simple case folding.
const TextCodec& utf8Codec();
// The codec for an encoding name, "windows-1252" or "utf-8", letter case
// ignored; nullptr for any other name.
const TextCodec* codecByName(std::string_view name);

}  // namespace loom
