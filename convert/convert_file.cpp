// SPDX-License-Identifier: MIT
#include "convert/convert_file.h"

#include <algorithm>
#include <bit>
#include <optional>
#include <span>
#include <vector>

#include "base/text.h"
#include "convert/byte_filter.h"
#include "convert/constraint_ops.h"
#include "convert/line_origin.h"
#include "convert/pattern_row.h"
#include "convert/row_screen.h"

namespace loom {
namespace {

// The line as written, less the spaces and tabs at its end, which show
// nothing and would only keep a blank line from being empty.
std::string_view withoutTrailingBlanks(std::string_view line) {
  std::size_t end = line.size();
  while (end > 0 && (line[end - 1] == ' ' || line[end - 1] == '\t')) --end;
  return line.substr(0, end);
}

void appendLine(std::string& page, std::string_view item) {
  page.append(item);
  page.append("\r\n");
}

// Rows leave most lines alone. Each case first looks for what the row acts on
// and touches the line only on a hit, so a line no row changes is never
// copied, and the rewrites build in `buffers` kept from line to line.
// `mayHit` false says the caller knows the row's texts do not occur;
// `facts` are the row's, worked out once. Returns true when the line may now
// hold text it did not hold before -- text the row put in, or text joined
// where it took a block out -- so that the rows after it must be screened
// again; false when the line is unchanged or only cut or trimmed at its
// ends, which brings no key and no byte in. `origin`, when given, is the
// line's origin and is kept in step with it. Inlined: it runs for every
// row tried on every line, and a call passes its last argument on the stack.
[[gnu::always_inline]] inline bool applyRow(std::string& line, OpBuffers& buffers,
                                            const CompiledConstraint& row, const RowFacts& facts,
                                            const TextCodec& codec, bool mayHit,
                                            LineOrigin* origin) {
  if (row.type == ConstraintType::HeaderLine) {
    return mayHit && ApplyHeaderLine(line, row.searchString, row.replaceString, origin);
  }
  if (row.searchString.empty())
    return false;  // an empty search text or begin marker changes nothing
  if (row.type == ConstraintType::RemoveBlock && row.replaceString == kEndOfLineMarker) {
    // Trims the line also when the begin marker does not occur; when the
    // screen knows it does not, trimming is all the operation would do.
    if (mayHit) {
      ApplyRemoveToEndOfLine(line, row.searchString, row.caseSensitive, codec, origin);
    } else {
      trimInPlace(line, origin);
    }
    return false;
  }
  if (!mayHit) return false;
  switch (row.type) {  // each operation's own search is the test
    case ConstraintType::SearchReplace:
      return SearchReplaceInPlace(line, buffers, row.searchString, row.replaceString,
                                  row.caseSensitive, codec, origin, &facts.way);
    case ConstraintType::RemoveBlock:
      return RemoveBlockInPlace(line, buffers, row.searchString, row.replaceString,
                                row.caseSensitive, codec, origin);
    case ConstraintType::ReplaceFormatting:
      return ReplaceFormattingInPlace(line, buffers, row.searchString, row.replaceString,
                                      row.caseSensitive, row.rFirst, row.rLast, facts.neverEnds,
                                      codec, origin);
    case ConstraintType::PatternReplace:
      return row.pattern->replaceAll(line, buffers, origin);
    case ConstraintType::HeaderLine:  // done above
      break;
  }
  return false;
}

}  // namespace

void compileRows(PageRules& rules, const TextCodec& codec) {
  rules.screen = std::make_shared<const RowScreen>(rules.constraints, codec);
}

void applyConstraint(std::string& line, const CompiledConstraint& row, const TextCodec& codec) {
  OpBuffers buffers;
  applyRow(line, buffers, row, factsOf(row, codec), codec, true, nullptr);
}

namespace {

// The line to work on: a copy of `raw`, or, when `raw` is the last line of
// contents the caller gave away, the contents' own buffer, so that a file of
// one huge line is not held twice. Returns whether it took the buffer, after
// which the contents must not be read any more.
bool takeLine(std::string& line, std::string_view raw, std::string* owned) {
  if (owned != nullptr && raw.size() >= kHugeLine) {
    const std::size_t from = static_cast<std::size_t>(raw.data() - owned->data());
    const std::string_view tail = std::string_view(*owned).substr(from + raw.size());
    if (tail.empty() || tail == "\r" || tail == "\n" || tail == "\r\n") {
      owned->erase(from + raw.size());
      owned->erase(0, from);
      line = std::move(*owned);
      return true;
    }
  }
  line.assign(raw);
  return false;
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

// `kTraced` false compiles the run without a trace, so that runs pay
// nothing for --explain.
template <bool kTraced>
ConvertedPage convert(std::string_view contents, std::string* owned, std::string_view path,
                      const PageRules& rules, const PageSettings& settings, const TextCodec& codec,
                      ConvertTrace* trace) {
  ConvertedPage page;
  // Room for the whole page at once; a file of a huge line gets its room
  // when the line is done, so that it is not held beside the line's
  // rewrites.
  page.bytes.reserve((contents.size() >= kHugeLine ? 0 : contents.size() + contents.size() / 8) +
                     settings.header.size() + settings.footer.size() + 64);
  appendLine(page.bytes, settings.header);
  if (!rules.beginSection.empty()) appendLine(page.bytes, rules.beginSection);

  std::optional<RowScreen> uncompiled;
  const RowScreen* screen = rules.screen.get();
  if (screen == nullptr) screen = &uncompiled.emplace(rules.constraints, codec, false);
  RowScreen::Scratch scratch = screen->scratch();

  LineBytes bytes(screen->byteClasses());
  // A file type without rows (text turned into pages as it is) has nothing
  // to look for in a line, and rules not compiled try every row on it.
  const bool scansBytes = screen->size() != 0 && screen->screensBytes();
  LineReader reader(contents, settings.lineEnds);
  std::string_view raw;
  std::string line;
  OpBuffers buffers;  // what rewrites build the line in, swapped with it
  LineOrigin lineOrigin;
  LineOrigin* origin = settings.escapeText ? &lineOrigin : nullptr;
  std::string escaped;  // the page line, with escaping only
  const std::string lineEnd = settings.endOfLineTag + "\r\n";
  std::int64_t lineNumber = 0;
  bool taken = false;
  std::string source, before;  // with a trace only

  while (!taken && reader.next(raw)) {
    ++lineNumber;
    const std::size_t rest =
        static_cast<std::size_t>(contents.data() + contents.size() - (raw.data() + raw.size()));
    taken = takeLine(line, raw, owned);
    if constexpr (kTraced) source = line;
    if (origin) origin->assign(line.size());
    if (scansBytes) bytes.scan(line);
    // Pattern rows leave the title line alone: the title is the page's
    // <TITLE>, where a browser shows markup as text, and the index page's
    // link text, where a link inside a link breaks both.
    const bool titleLine = lineNumber == rules.titleLine;
    const auto tryRow = [&](std::uint32_t i, bool mayMatch) {
      const CompiledConstraint& row = rules.constraints[i];
      if (titleLine && row.type == ConstraintType::PatternReplace) return false;
      if constexpr (kTraced) before = line;
      const bool grown = applyRow(line, buffers, row, screen->facts(i), codec, mayMatch, origin);
      if constexpr (kTraced) {
        if (line != before) trace->rowChanged(lineNumber, source, i, line);
      }
      return grown;
    };
    // After a row changed the line, the rows after it are screened again on
    // what it made.
    if (screen->screensRowBits()) {
      std::uint64_t matched = 0, met = bytes.needsMet();
      for (std::uint64_t todo = screen->rowBitsToTry(met, 0, matched); todo != 0;) {
        const auto i = static_cast<std::uint32_t>(std::countr_zero(todo));
        todo &= todo - 1;
        // Only needs the rewrite may newly meet can add rows to try.
        if (tryRow(i, ((matched >> i) & 1) != 0) && (screen->filter(i).insertedMask() & ~met)) {
          met |= screen->filter(i).insertedMask();
          todo = screen->rowBitsToTry(met, i + 1, matched);
        }
      }
    } else {
      std::span<const std::uint32_t> rows = screen->rowsToTry(line, 0, scratch);
      for (std::size_t at = 0; at < rows.size();) {
        const std::uint32_t i = rows[at++];
        const RowFilter& filter = screen->filter(i);
        const bool mayMatch = !scansBytes || filter.mayMatch(bytes);
        if (!mayMatch && !filter.actsWithoutMatch()) continue;
        if (tryRow(i, mayMatch)) {
          filter.addInserted(bytes);
          rows = screen->rowsAfterChange(line, i, rows.subspan(at), scratch);
          at = 0;
        }
      }
    }
    const std::size_t following =
        rest + rest / 8 + rules.endSection.size() + settings.footer.size() + 64;
    std::string_view trimmed =
        settings.lines == LineLayout::Keep ? withoutTrailingBlanks(line) : trimSpaces(line);
    if (line.size() >= kHugeLine) {
      // The rewrites' buffers let go before the page takes the line, so that
      // a huge line is held at most twice: as it is and in the page.
      releaseIfHuge(buffers.spare);
      releaseIfHuge(buffers.originSpare);
    }
    if (origin) {
      const std::size_t first = trimmed.empty() ? 0 : trimmed.data() - line.data();
      if (titleLine) {
        // Escaped straight into the title, which keeps it.
        page.title.clear();
        page.title.reserve(trimmed.size() + trimmed.size() / 8);
        appendEscaped(page.title, trimmed, *origin, first);
        trimmed = page.title;
      } else if (line.size() >= kHugeLine && !trimmed.empty()) {
        // Escaped straight into the page, not through a copy.
        page.bytes.reserve(page.bytes.size() + trimmed.size() + trimmed.size() / 8 + following);
        appendEscaped(page.bytes, trimmed, *origin, first);
        page.bytes.append(lineEnd);
        continue;
      } else {
        escaped.clear();
        releaseIfHuge(escaped);
        appendEscaped(escaped, trimmed, *origin, first);
        trimmed = escaped;
      }
    }
    if (titleLine) {
      const std::string_view title = trimSpaces(trimmed);
      if (origin) {  // the escaped title is already in place: trimmed there
        const auto from = static_cast<std::size_t>(title.data() - page.title.data());
        page.title.erase(title.empty() ? 0 : from + title.size());
        page.title.erase(0, title.empty() ? 0 : from);
      } else {
        page.title.assign(title);
      }
      if (line.size() >= kHugeLine) {  // the title holds it now
        std::string().swap(line);
        if (origin) *origin = LineOrigin();
      }
      appendPageLine(page.bytes, {"<TITLE>", page.title, "</TITLE>", lineEnd}, following);
      continue;
    }
    if (trimmed.empty()) {
      // Laid out as written, a blank line stays: it parts paragraphs.
      if (settings.lines == LineLayout::Keep) page.bytes.append("\r\n");
      continue;
    }
    appendPageLine(page.bytes, {trimmed, lineEnd}, following);
  }

  if (!rules.endSection.empty()) appendLine(page.bytes, rules.endSection);
  appendLine(page.bytes, settings.footer);
  if (page.title.empty()) {
    // A file's name is source text like its lines.
    if (settings.escapeText) {
      page.title = escapeMarkup(trimSpaces(path));
    } else {
      page.title.assign(trimSpaces(path));
    }
  }
  return page;
}

}  // namespace

ConvertedPage ConvertFile(std::string_view contents, std::string_view path, const PageRules& rules,
                          const PageSettings& settings, const TextCodec& codec,
                          ConvertTrace* trace) {
  if (trace) return convert<true>(contents, nullptr, path, rules, settings, codec, trace);
  return convert<false>(contents, nullptr, path, rules, settings, codec, nullptr);
}

ConvertedPage ConvertOwnedFile(std::string&& contents, std::string_view path,
                               const PageRules& rules, const PageSettings& settings,
                               const TextCodec& codec) {
  return convert<false>(contents, &contents, path, rules, settings, codec, nullptr);
}

}  // namespace loom
