// SPDX-License-Identifier: MIT
#pragma once
// Page conversion: one input text file becomes the bytes of one page and its
// title. Pure: reads no database, file or window.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/codec.h"
#include "convert/page_rules.h"

namespace loom {

// Told of every change a row makes to a line, in the order the rows ran:
// what explains a conversion. A run passes none and pays nothing for it.
class ConvertTrace {
 public:
  virtual ~ConvertTrace() = default;
  // Row `row` (an index into PageRules::constraints) changed line
  // `lineNumber` (1-based), read as `source`, into `after`.
  virtual void rowChanged(std::int64_t lineNumber, std::string_view source, std::size_t row,
                          std::string_view after) = 0;
};

struct ConvertedPage {
  std::string bytes;  // every page line followed by CR LF
  std::string title;
};

// Builds the page: the header, the opening section text if any, every line
// that is not blank after the constraints (trimmed of spaces, followed by the
// end-of-line tag; the title line wrapped in "<TITLE>" and "</TITLE>"), the
// closing section text if any, and the footer. Lines of `contents` end as
// `settings.lineEnds` says. The title is the title line trimmed, or `path`
// trimmed when that is empty or there is none. Example: the contents
// "  Hello world  \r\n" with no rows, tag "<P>" and no title line give a line
// "Hello world<P>" between header and footer. With `settings.escapeText`,
// every "&", "<" and ">" that comes from the source (lines, title, path) is
// written as a character reference, while rows match the text as it was:
// "a<b" with a row "<" -> "<BR>" gives "a<BR>b", and "a<c" gives "a&lt;c".
// With `settings.lines` Keep, rows see each line as read, and a page line
// keeps its leading blanks and tabs (only those at its end go) while a blank
// line becomes an empty page line: "  a  \n\n" gives "  a<P>", "". The
// title is still the title line trimmed. Pattern rows (kind 5) leave the
// title line as it is.
ConvertedPage ConvertFile(std::string_view contents, std::string_view path, const PageRules& rules,
                          const PageSettings& settings, const TextCodec& codec,
                          ConvertTrace* trace = nullptr);
// The same, using the contents' buffer for a huge last line (a file of one
// line), so that the file is not held twice; `contents` is left unspecified.
ConvertedPage ConvertOwnedFile(std::string&& contents, std::string_view path,
                               const PageRules& rules, const PageSettings& settings,
                               const TextCodec& codec);

// Applies one prepared row to a line, in place.
void applyConstraint(std::string& line, const CompiledConstraint& row, const TextCodec& codec);

}  // namespace loom
