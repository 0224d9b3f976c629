#pragma once
// Page conversion: one input text file becomes the bytes of one page and its
// title. Pure: reads no database, file or window.

#include <string>
#include <string_view>

#include "base/codec.h"
#include "convert/page_rules.h"

namespace loom {

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
ConvertedPage ConvertFile(std::string_view contents, std::string_view path, const PageRules& rules,
                          const PageSettings& settings, const TextCodec& codec);

// Applies one prepared row to a line, in place.
void applyConstraint(std::string& line, const PreparedConstraint& row, const TextCodec& codec);

}  // namespace loom
