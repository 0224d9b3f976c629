#include "convert/constraint_ops.h"

#include "base/text.h"
#include "convert/rescan_buffer.h"
#include "rules/constraint_row.h"

namespace loom {
namespace {

// A row that does not make a new block somewhere after a rewrite ends within
// this many rewrites of a line; past it the row is taken to be one that never
// ends and is re-run resuming after each replaced block.
std::size_t rewriteLimit(std::string_view line, std::size_t textsLength) {
  return 16 * (line.size() + textsLength + 8);
}

}  // namespace

std::string_view insertedText(std::string_view search, std::string_view replacement) {
  if (!search.empty() && search[0] == '"') return "\"";
  if (!search.empty() && search[0] == '\'') return "'";
  return replacement;
}

bool searchReplaceNeverEnds(std::string_view search, std::string_view replacement,
                            bool caseSensitive, const TextCodec& codec) {
  return !search.empty() &&
         codec.find(insertedText(search, replacement), search, 0, caseSensitive).found();
}

std::string ApplySearchReplace(std::string_view line, std::string_view search,
                               std::string_view replacement, bool caseSensitive,
                               const TextCodec& codec) {
  if (search.empty()) return std::string(line);
  Match hit = codec.find(line, search, 0, caseSensitive);
  if (!hit.found()) return std::string(line);
  const std::string_view inserted = insertedText(search, replacement);
  // Resuming at the hit ends only when the inserted text cannot itself hold
  // the search text; otherwise the row would insert forever.
  const bool resumeAfter = searchReplaceNeverEnds(search, replacement, caseSensitive, codec);
  RescanBuffer work(line);
  while (hit.found()) {
    work.rewrite(hit.pos, hit.pos + hit.length, inserted, 0, 0, {});
    if (resumeAfter) work.skip(inserted.size());
    hit = codec.find(work.view(), search, 0, caseSensitive);
  }
  return std::move(work).finish();
}

std::string ApplyRemoveBlock(std::string_view line, std::string_view begin, std::string_view end,
                             bool caseSensitive, const TextCodec& codec) {
  if (end == kEndOfLineMarker) return ApplyRemoveToEndOfLine(line, begin, caseSensitive, codec);
  if (begin.empty() || end.empty()) return std::string(line);
  RescanBuffer work(line);
  for (;;) {
    const std::string_view text = work.view();
    const Match s = codec.find(text, begin, 0, caseSensitive);
    if (!s.found()) break;
    const Match e = codec.find(text, end, s.pos + codec.charLength(text, s.pos), caseSensitive);
    if (!e.found()) break;
    work.rewrite(s.pos, e.pos + e.length, {}, 0, 0, {});
  }
  return std::move(work).finish();
}

std::string ApplyRemoveToEndOfLine(std::string_view line, std::string_view begin,
                                   bool caseSensitive, const TextCodec& codec) {
  if (begin.empty()) return std::string(line);
  const Match s = codec.find(line, begin, 0, caseSensitive);
  return std::string(trimSpaces(s.found() ? line.substr(0, s.pos) : line));
}

std::string ApplyReplaceFormatting(std::string_view line, std::string_view begin,
                                   std::string_view end, bool caseSensitive,
                                   std::string_view front, std::string_view back,
                                   const TextCodec& codec) {
  if (end == kEndOfLineMarker) {
    return ApplyReplaceFormattingToEndOfLine(line, begin, caseSensitive, front, back, codec);
  }
  if (begin.empty() || end.empty()) return std::string(line);
  const std::size_t limit =
      rewriteLimit(line, begin.size() + end.size() + front.size() + back.size());
  for (bool resumeAfter : {false, true}) {
    RescanBuffer work(line);
    std::size_t rewrites = 0;
    for (;;) {
      const std::string_view text = work.view();
      const Match s = codec.find(text, begin, 0, caseSensitive);
      if (!s.found()) return std::move(work).finish();
      const Match e = codec.find(text, end, s.pos + codec.charLength(text, s.pos), caseSensitive);
      if (!e.found()) return std::move(work).finish();
      if (++rewrites > limit) break;
      const std::size_t middleFrom = s.pos + s.length;
      const std::size_t middleTo = e.pos > middleFrom ? e.pos : middleFrom;
      work.rewrite(s.pos, e.pos + e.length, front, middleFrom, middleTo, back);
      if (resumeAfter) work.skip(front.size() + (middleTo - middleFrom) + back.size());
    }
  }
  return std::string(line);  // not reached: resuming after each block always ends
}

std::string ApplyReplaceFormattingToEndOfLine(std::string_view line, std::string_view begin,
                                              bool caseSensitive, std::string_view front,
                                              std::string_view back, const TextCodec& codec) {
  if (begin.empty()) return std::string(line);
  const Match s = codec.find(line, begin, 0, caseSensitive);
  if (!s.found()) return std::string(line);
  std::string out;
  out.reserve(line.size() + front.size() + back.size());
  out.append(line.substr(0, s.pos)).append(front).append(line.substr(s.pos + s.length)).append(back);
  return out;
}

std::string ApplyHeaderLine(std::string_view line, std::string_view header,
                            std::string_view replacement) {
  if (trimSpaces(line) == trimSpaces(header)) return std::string(replacement);
  return std::string(line);
}

}  // namespace loom
