#include "convert/convert_file.h"

#include <vector>

#include "base/text.h"
#include "convert/byte_filter.h"
#include "convert/constraint_ops.h"

namespace loom {
namespace {

void appendLine(std::string& page, std::string_view item) {
  page.append(item);
  page.append("\r\n");
}

// Removes leading and trailing spaces in place, keeping the line's buffer.
void trimInPlace(std::string& line) {
  const std::string_view kept = trimSpaces(line);
  if (kept.empty()) {
    line.clear();
    return;
  }
  const std::size_t first = static_cast<std::size_t>(kept.data() - line.data());
  line.erase(first + kept.size());
  line.erase(0, first);
}

// Rows leave most lines alone. Each case first looks for what the row acts on
// and touches the line only on a hit, so a line no row changes is never
// copied, and the cases that can be done in place keep the line's buffer.
// `mayHit` false says the caller knows the row's texts do not occur. Returns
// whether the line may have changed other than by losing bytes.
bool applyRow(std::string& line, const PreparedConstraint& row, const TextCodec& codec,
              bool mayHit) {
  if (row.kind == ConstraintType::HeaderLine) {
    if (!mayHit || trimSpaces(line) != trimSpaces(row.search)) return false;
    line.assign(row.replace);
    return true;
  }
  if (row.search.empty()) return false;  // an empty search text or begin marker changes nothing
  const Match hit = mayHit ? codec.find(line, row.search, 0, row.caseSensitive) : Match{};
  if (row.kind == ConstraintType::RemoveBlock && row.replace == kEndOfLineMarker) {
    if (hit.found()) line.erase(hit.pos);
    trimInPlace(line);  // also when the begin marker does not occur
    return false;
  }
  if (!hit.found()) return false;
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
      break;
  }
  return true;
}

}  // namespace

void applyConstraint(std::string& line, const PreparedConstraint& row, const TextCodec& codec) {
  applyRow(line, row, codec, true);
}

namespace {

// Lines from this length on are worth not holding twice.
constexpr std::size_t kHugeLine = std::size_t{1} << 20;

// The line to work on: a copy of `raw`, or, when `raw` is the last line of
// contents the caller gave away, the contents' own buffer, so that a file of
// one huge line is not held twice.
void takeLine(std::string& line, std::string_view raw, std::string* owned) {
  if (owned != nullptr && raw.size() >= kHugeLine) {
    const std::size_t from = static_cast<std::size_t>(raw.data() - owned->data());
    const std::string_view tail = std::string_view(*owned).substr(from + raw.size());
    if (tail.empty() || tail == "\r" || tail == "\r\n") {
      owned->erase(from + raw.size());
      owned->erase(0, from);
      line = std::move(*owned);
      return;
    }
  }
  line.assign(raw);
}

// Appends the parts of one page line; a huge line gets room for exactly
// itself and an estimate of what follows, not twice the page.
void appendPageLine(std::string& page, std::initializer_list<std::string_view> parts,
                    std::size_t following) {
  std::size_t size = 0;
  for (const std::string_view part : parts) size += part.size();
  if (size >= kHugeLine && page.size() + size > page.capacity()) {
    page.reserve(page.size() + size + following);
  }
  for (const std::string_view part : parts) page.append(part);
}

ConvertedPage convert(std::string_view contents, std::string* owned, std::string_view path,
                      const PageRules& rules, const PageSettings& settings,
                      const TextCodec& codec) {
  ConvertedPage page;
  page.bytes.reserve(contents.size() + contents.size() / 8 + settings.header.size() +
                     settings.footer.size() + 64);
  appendLine(page.bytes, settings.header);
  if (!rules.beginSection.empty()) appendLine(page.bytes, rules.beginSection);

  std::vector<RowFilter> filters;
  filters.reserve(rules.constraints.size());
  for (const PreparedConstraint& row : rules.constraints) filters.emplace_back(row, codec);

  LineBytes bytes;
  LineReader reader(contents);
  std::string_view raw;
  std::string line;
  std::int64_t lineNumber = 0;
  while (reader.next(raw)) {
    ++lineNumber;
    const std::size_t rest = static_cast<std::size_t>(contents.data() + contents.size() -
                                                      (raw.data() + raw.size()));
    takeLine(line, raw, owned);
    bytes.scan(line);
    for (std::size_t i = 0; i < filters.size(); ++i) {
      const bool mayMatch = filters[i].mayMatch(bytes);
      if (!mayMatch && !filters[i].actsWithoutMatch()) continue;
      if (applyRow(line, rules.constraints[i], codec, mayMatch)) filters[i].addInserted(bytes);
    }
    const std::size_t following = rest + rest / 8 + rules.endSection.size() + settings.footer.size() + 64;
    const std::string_view trimmed = trimSpaces(line);
    if (lineNumber == rules.titleLine) {
      page.title.assign(trimmed);
      if (line.size() >= kHugeLine) std::string().swap(line);  // the title holds it now
      appendPageLine(page.bytes, {"<TITLE>", page.title, "</TITLE>", settings.endOfLineTag, "\r\n"},
                     following);
      continue;
    }
    if (trimmed.empty()) continue;
    appendPageLine(page.bytes, {trimmed, settings.endOfLineTag, "\r\n"}, following);
  }

  if (!rules.endSection.empty()) appendLine(page.bytes, rules.endSection);
  appendLine(page.bytes, settings.footer);
  if (page.title.empty()) page.title.assign(trimSpaces(path));
  return page;
}

}  // namespace

ConvertedPage ConvertFile(std::string_view contents, std::string_view path, const PageRules& rules,
                          const PageSettings& settings, const TextCodec& codec) {
  return convert(contents, nullptr, path, rules, settings, codec);
}

ConvertedPage ConvertFile(std::string&& contents, std::string_view path, const PageRules& rules,
                          const PageSettings& settings, const TextCodec& codec) {
  return convert(contents, &contents, path, rules, settings, codec);
}

}  // namespace loom
