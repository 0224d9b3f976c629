// SPDX-License-Identifier: MIT
#pragma once
// What a source file's bytes say about the settings it needs, found in a
// quick pass before or beside its conversion: lines that end in LF alone,
// and text that a browser would read as markup.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/text.h"

namespace loom {

struct MarkupSample {
  std::int64_t line = 0;  // 1-based, counted with the run's line ends
  std::string text;       // the markup-like text, e.g. "<deltaone@debian.org>"
};

struct SourceFacts {
  // The file holds LF bytes but no CR: with LineEnds::CrLf it is one line.
  bool lineFeedsOnly = false;
  // The first "<" followed by a letter, "/", "!" or "?", or "&" followed by
  // a letter or "#": text a browser takes for a tag or a character
  // reference and does not show as written.
  std::optional<MarkupSample> markup;
  // The file is valid UTF-8 and holds characters of more than one byte: the
  // first line that holds one. Read as Windows-1252, each shows as two or
  // three wrong letters ("CafÃ©").
  std::optional<std::int64_t> utf8Line;
  // Bytes that are not UTF-8 in a file read as UTF-8 (they pass through
  // unchanged): how many, and where the first is.
  struct InvalidUtf8 {
    std::size_t count = 0;
    std::int64_t line = 0;   // 1-based, counted with the run's line ends
    std::size_t column = 0;  // 1-based byte in that line
  };
  std::optional<InvalidUtf8> invalidUtf8;
};

// What to look for besides lone line feeds.
struct SourceLook {
  bool markup = false;
  bool utf8 = false;
  bool invalidUtf8 = false;
};

// Looks at `contents` for the facts above; markup and UTF-8 (valid or not)
// only when `look` asks. Example: "a\nb <x@y.org>\n" with LineEnds::Any gives
// lineFeedsOnly and the markup "<x@y.org>" in line 2.
SourceFacts inspectSource(std::string_view contents, LineEnds ends, SourceLook look);

}  // namespace loom
