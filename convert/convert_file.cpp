#include "convert/convert_file.h"

#include "base/text.h"
#include "convert/constraint_ops.h"

namespace loom {
namespace {

void appendLine(std::string& page, std::string_view item) {
  page.append(item);
  page.append("\r\n");
}

// A row changes a line only when its first search text occurs in it; testing
// that first saves building a new string for the lines a row leaves alone.
bool mayChange(std::string_view line, const PreparedConstraint& row, const TextCodec& codec) {
  if (row.kind == ConstraintType::HeaderLine) return true;
  if (row.kind == ConstraintType::RemoveBlock && row.replace == kEndOfLineMarker) {
    return true;  // trims the line even without a hit
  }
  return row.search.empty() || codec.find(line, row.search, 0, row.caseSensitive).found();
}

}  // namespace

void applyConstraint(std::string& line, const PreparedConstraint& row, const TextCodec& codec) {
  if (!mayChange(line, row, codec)) return;
  switch (row.kind) {
    case ConstraintType::SearchReplace:
      line = ApplySearchReplace(line, row.search, row.replace, row.caseSensitive, codec);
      break;
    case ConstraintType::RemoveBlock:
      line = ApplyRemoveBlock(line, row.search, row.replace, row.caseSensitive, codec);
      break;
    case ConstraintType::ReplaceFormatting:
      line = ApplyReplaceFormatting(line, row.search, row.replace, row.caseSensitive, row.front,
                                    row.back, codec);
      break;
    case ConstraintType::HeaderLine:
      line = ApplyHeaderLine(line, row.search, row.replace);
      break;
  }
}

ConvertedPage ConvertFile(std::string_view contents, std::string_view path, const PageRules& rules,
                          const PageSettings& settings, const TextCodec& codec) {
  ConvertedPage page;
  page.bytes.reserve(contents.size() + contents.size() / 8 + settings.header.size() +
                     settings.footer.size() + 64);
  appendLine(page.bytes, settings.header);
  if (!rules.beginSection.empty()) appendLine(page.bytes, rules.beginSection);

  LineReader reader(contents);
  std::string_view raw;
  std::string line;
  std::int64_t lineNumber = 0;
  while (reader.next(raw)) {
    ++lineNumber;
    line.assign(raw);
    for (const PreparedConstraint& row : rules.constraints) applyConstraint(line, row, codec);
    std::string_view trimmed = trimSpaces(line);
    if (lineNumber == rules.titleLine) {
      page.title.assign(trimmed);
      line = "<TITLE>" + page.title + "</TITLE>";
      trimmed = line;
    }
    if (trimmed.empty()) continue;
    page.bytes.append(trimmed);
    page.bytes.append(settings.endOfLineTag);
    page.bytes.append("\r\n");
  }

  if (!rules.endSection.empty()) appendLine(page.bytes, rules.endSection);
  appendLine(page.bytes, settings.footer);
  if (page.title.empty()) page.title.assign(trimSpaces(path));
  return page;
}

}  // namespace loom
