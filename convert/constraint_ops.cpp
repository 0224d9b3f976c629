// SPDX-License-Identifier: MIT
#include "convert/constraint_ops.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>

#include "base/text.h"
#include "convert/constraint_kind.h"
#include "convert/rescan_buffer.h"

namespace loom {
namespace {

// The first block of `text`: a begin marker and the first end marker after
// its first character.
struct Block {
  Match begin, end;
  bool found() const { return end.found(); }
};
Block findBlock(std::string_view text, std::string_view begin, std::string_view end,
                bool caseSensitive, const TextCodec& codec) {
  const Match s = codec.find(text, begin, 0, caseSensitive);
  if (!s.found()) return {};
  return {s, codec.find(text, end, s.pos + codec.charLength(text, s.pos), caseSensitive)};
}

bool holdsBlock(std::string_view text, std::string_view begin, std::string_view end,
                bool caseSensitive, const TextCodec& codec) {
  return findBlock(text, begin, end, caseSensitive, codec).found();
}

// A row that neither ends nor comes back to a state it has been in within
// this budget of rewrites or of line length is taken as one that grows
// forever. Rows that end get there long before: the budget only guards
// against a run that would never finish.
// Each rewrite searches the whole rest of the line again, so a row that
// keeps growing the line is also cut off by the bytes searched in all: a
// handful of rewrites' worth of a long line, never hours for one line.
bool pastBudget(std::size_t rewrites, std::size_t length, std::size_t searched,
                std::size_t lineLength, std::size_t textsLength) {
  const std::size_t size = lineLength + textsLength;
  return rewrites > 4096 + 256 * size || length > (std::size_t{16} << 20) + 4 * lineLength ||
         searched > (std::size_t{64} << 20) + 16 * size * size;
}

// Whether a hit can begin inside a text inserted at the previous hit and run
// on past its end: an end of the inserted text is a beginning of the search
// text. (Whether the search text occurs within it is asked separately.)
bool insertedStartsHit(std::string_view inserted, std::string_view search, bool caseSensitive,
                       const TextCodec& codec) {
  const std::size_t most = std::min(inserted.size(), search.size() - 1);
  for (std::size_t k = 1; k <= most; ++k) {
    const std::string_view tail = inserted.substr(inserted.size() - k);
    const std::string_view head = search.substr(0, k);
    if (caseSensitive ? tail == head : codec.equalNoCase(tail, head)) return true;
  }
  return false;
}

// How much a huge line grows when each hit of `search`, left to right, gives
// way to `inserted`: the room its working buffer gets up front, so that the
// line is not copied once more as it grows. Hits that the inserted texts make
// themselves may need more, which the buffer then finds itself.
std::size_t growthOfHits(std::string_view line, std::string_view search, std::string_view inserted,
                         bool caseSensitive, const TextCodec& codec) {
  std::size_t growth = 0;
  if (line.size() < kHugeLine || inserted.size() <= search.size()) return growth;
  for (Match m = codec.find(line, search, 0, caseSensitive); m.found();
       m = codec.find(line, search, m.pos + m.length, caseSensitive)) {
    growth += inserted.size() - std::min(inserted.size(), m.length);
  }
  return growth;
}

// The same for the blocks of a formatting row, each of which gives way to
// front + middle + back.
std::size_t growthOfBlocks(std::string_view line, std::string_view begin, std::string_view end,
                           std::size_t texts, bool caseSensitive, const TextCodec& codec) {
  std::size_t growth = 0;
  if (line.size() < kHugeLine) return growth;
  for (Match s = codec.find(line, begin, 0, caseSensitive); s.found();) {
    const Match e = codec.find(line, end, s.pos + codec.charLength(line, s.pos), caseSensitive);
    if (!e.found()) break;
    const std::size_t middleFrom = s.pos + s.length;
    const std::size_t middle = e.pos > middleFrom ? e.pos - middleFrom : 0;
    const std::size_t removed = e.pos + e.length - s.pos - middle;
    if (texts > removed) growth += texts - removed;
    s = codec.find(line, begin, e.pos + e.length, caseSensitive);
  }
  return growth;
}

// Builds in `out` the line with the begin marker at `s` replaced by `front`
// and `back` appended; `origin`, when given, becomes the result's, built in
// `storage`, which receives the old one.
void formatToEndOfLine(std::string_view line, Match s, std::string_view front,
                       std::string_view back, std::string& out, LineOrigin* origin,
                       LineOrigin& storage) {
  out.clear();
  out.reserve(line.size() + front.size() + back.size());
  out.append(line.substr(0, s.pos))
      .append(front)
      .append(line.substr(s.pos + s.length))
      .append(back);
  if (origin) {
    OriginBuilder built(storage, origin->form());
    OriginReader old(*origin);
    built.copy(old, 0, s.pos);
    built.add(front.size(), kFromRule);
    built.copy(old, s.pos + s.length, line.size());
    built.add(back.size(), kFromRule);
    built.finish();
    origin->swap(storage);
  }
}

// A huge line's buffers are not held for the lines after it.
void dropIfHuge(OpBuffers& buffers) {
  releaseIfHuge(buffers.spare);
  releaseIfHuge(buffers.originSpare);
}

// Makes `result` the line; the line's old buffer is kept for the next
// rewrite, unless it is a huge line's.
void takeResult(std::string& line, OpBuffers& buffers, std::string&& result) {
  buffers.spare = std::move(line);
  line = std::move(result);
  dropIfHuge(buffers);
}

// The working line of a rewrite, in the buffers kept from line to line.
RescanBuffer workIn(OpBuffers& buffers, std::string_view line, const LineOrigin* origin,
                    std::size_t room) {
  return RescanBuffer(line, origin, room, std::move(buffers.spare), &buffers.originSpare,
                      &buffers.pieces);
}

// Makes the finished working line the line, and its origin `origin`.
void finishIn(OpBuffers& buffers, RescanBuffer&& work, std::string& line, LineOrigin* origin) {
  takeResult(line, buffers, std::move(work).finish(origin));
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

bool replaceFormattingNeverEnds(std::string_view begin, std::string_view end,
                                std::string_view front, std::string_view back, bool caseSensitive,
                                const TextCodec& codec) {
  if (begin.empty() || end.empty() || end == kEndOfLineMarker) return false;
  // After a rewrite the search starts again at the front text, so a block
  // inside the front or back text, or one from a begin marker in the front to
  // an end marker in the back, is found again after every rewrite, whatever
  // the middle holds.
  return holdsBlock(front, begin, end, caseSensitive, codec) ||
         holdsBlock(back, begin, end, caseSensitive, codec) ||
         (codec.find(front, begin, 0, caseSensitive).found() &&
          codec.find(back, end, 0, caseSensitive).found());
}

std::string ApplySearchReplace(std::string_view line, std::string_view search,
                               std::string_view replacement, bool caseSensitive,
                               const TextCodec& codec, LineOrigin* origin) {
  std::string out(line);
  OpBuffers buffers;
  SearchReplaceInPlace(out, buffers, search, replacement, caseSensitive, codec, origin);
  return out;
}

SearchReplaceWay searchReplaceWay(std::string_view search, std::string_view replacement,
                                  bool caseSensitive, const TextCodec& codec) {
  // Resuming at the hit ends only when the inserted text cannot itself hold
  // the search text; otherwise the row would insert forever.
  //
  // When no hit can begin inside the inserted text, resuming at the hit meets
  // the same hits as one pass from left to right over the line, which builds
  // the result without moving the rest of the line at every hit. Only for
  // one byte per character: in UTF-8 an inserted text can also move the
  // character boundaries of what follows it (a lead byte at its end joins
  // a stray continuation byte after it), and folding may change lengths.
  // That one pass is also what resuming after the inserted text does, so
  // the (dearer) question of resuming is asked only when it decides.
  const std::string_view inserted = insertedText(search, replacement);
  const bool onePassEligible = codec.encoding() == Encoding::Windows1252;
  const bool startsHit = !onePassEligible || search.empty() ||
                         insertedStartsHit(inserted, search, caseSensitive, codec);
  const bool resumeAfter =
      startsHit && searchReplaceNeverEnds(search, replacement, caseSensitive, codec);
  return {onePassEligible && (resumeAfter || !startsHit), resumeAfter};
}

bool SearchReplaceInPlace(std::string& text, OpBuffers& buffers, std::string_view search,
                          std::string_view replacement, bool caseSensitive, const TextCodec& codec,
                          LineOrigin* origin, const SearchReplaceWay* known) {
  if (search.empty()) return false;
  const std::string_view line = text;
  Match hit = codec.find(line, search, 0, caseSensitive);
  if (!hit.found()) return false;
  const std::string_view inserted = insertedText(search, replacement);
  const SearchReplaceWay way =
      known != nullptr ? *known : searchReplaceWay(search, replacement, caseSensitive, codec);
  const bool resumeAfter = way.resumeAfter;
  if (way.onePass) {
    std::string& out = buffers.spare;
    out.clear();
    std::size_t size = line.size() + inserted.size() + 16;
    // A huge line gets exactly its result's room, not twice it.
    out.reserve(size + growthOfHits(line, search, inserted, caseSensitive, codec));
    std::optional<OriginBuilder> built;
    std::optional<OriginReader> old;
    if (origin) {
      built.emplace(buffers.originSpare, origin->form());
      old.emplace(*origin);
    }
    std::size_t from = 0;
    while (hit.found()) {
      out.append(line.substr(from, hit.pos - from)).append(inserted);
      if (origin) {
        built->copy(*old, from, hit.pos);
        built->add(inserted.size(), kFromRule);
      }
      from = hit.pos + hit.length;
      hit = codec.find(line, search, from, caseSensitive);
    }
    out.append(line.substr(from));
    if (origin) {
      built->copy(*old, from, line.size());
      built->finish();
      origin->swap(buffers.originSpare);
    }
    text.swap(out);
    dropIfHuge(buffers);
    return true;
  }
  // An ordinary line gets room for a few hits, so that its first rewrites
  // do not copy it again; it is built in the spare buffer.
  const std::size_t room = line.size() < kHugeLine
                               ? 4 * inserted.size()
                               : growthOfHits(line, search, inserted, caseSensitive, codec);
  RescanBuffer work = workIn(buffers, line, origin, room);
  while (hit.found()) {
    work.rewrite(hit.pos, hit.pos + hit.length, inserted, 0, 0, {});
    if (resumeAfter) work.skip(inserted.size());
    hit = codec.find(work.view(), search, 0, caseSensitive);
  }
  finishIn(buffers, std::move(work), text, origin);
  return true;
}

std::string ApplyRemoveBlock(std::string_view line, std::string_view begin, std::string_view end,
                             bool caseSensitive, const TextCodec& codec, LineOrigin* origin) {
  if (end == kEndOfLineMarker && !begin.empty()) {
    // Only what stays is copied, once: a cut early in a long line keeps little.
    const Match s = codec.find(line, begin, 0, caseSensitive);
    const std::string_view kept = trimSpaces(s.found() ? line.substr(0, s.pos) : line);
    if (origin) {
      const std::size_t first =
          kept.empty() ? 0 : static_cast<std::size_t>(kept.data() - line.data());
      origin->keep(first, kept.size());
    }
    return std::string(kept);
  }
  std::string out(line);
  OpBuffers buffers;
  RemoveBlockInPlace(out, buffers, begin, end, caseSensitive, codec, origin);
  return out;
}

bool RemoveBlockInPlace(std::string& line, OpBuffers& buffers, std::string_view begin,
                        std::string_view end, bool caseSensitive, const TextCodec& codec,
                        LineOrigin* origin) {
  if (end == kEndOfLineMarker) {
    ApplyRemoveToEndOfLine(line, begin, caseSensitive, codec, origin);
    return true;
  }
  if (begin.empty() || end.empty()) return false;
  Block block = findBlock(line, begin, end, caseSensitive, codec);
  if (!block.found()) return false;
  RescanBuffer work = workIn(buffers, line, origin, 0);
  do {
    work.rewrite(block.begin.pos, block.end.pos + block.end.length, {}, 0, 0, {});
    block = findBlock(work.view(), begin, end, caseSensitive, codec);
  } while (block.found());
  finishIn(buffers, std::move(work), line, origin);
  return true;
}

void ApplyRemoveToEndOfLine(std::string& line, std::string_view begin, bool caseSensitive,
                            const TextCodec& codec, LineOrigin* origin) {
  if (begin.empty()) return;
  const Match s = codec.find(line, begin, 0, caseSensitive);
  if (s.found()) {
    line.erase(s.pos);
    if (origin) origin->keep(0, s.pos);
  }
  trimInPlace(line, origin);
}

std::string ApplyReplaceFormatting(std::string_view line, std::string_view begin,
                                   std::string_view end, bool caseSensitive, std::string_view front,
                                   std::string_view back, const TextCodec& codec,
                                   LineOrigin* origin) {
  if (end == kEndOfLineMarker) {
    return ApplyReplaceFormattingToEndOfLine(line, begin, caseSensitive, front, back, codec,
                                             origin);
  }
  std::string out(line);
  OpBuffers buffers;
  ReplaceFormattingInPlace(
      out, buffers, begin, end, caseSensitive, front, back,
      replaceFormattingNeverEnds(begin, end, front, back, caseSensitive, codec), codec, origin);
  return out;
}

bool ReplaceFormattingInPlace(std::string& line, OpBuffers& buffers, std::string_view begin,
                              std::string_view end, bool caseSensitive, std::string_view front,
                              std::string_view back, bool neverEnds, const TextCodec& codec,
                              LineOrigin* origin) {
  if (end == kEndOfLineMarker) {
    if (begin.empty()) return false;
    const Match s = codec.find(line, begin, 0, caseSensitive);
    if (!s.found()) return false;
    formatToEndOfLine(line, s, front, back, buffers.spare, origin, buffers.originSpare);
    line.swap(buffers.spare);
    dropIfHuge(buffers);
    return true;
  }
  if (begin.empty() || end.empty()) return false;
  const Block first = findBlock(line, begin, end, caseSensitive, codec);
  if (!first.found()) return false;
  const std::size_t textsLength = begin.size() + end.size() + front.size() + back.size();
  bool resumeAfter = neverEnds;
  // The line stays as it was beside its working copy: the search may have to
  // start again from there. An ordinary line gets room for a few blocks, so
  // that its first rewrites do not copy it again.
  const std::size_t room =
      line.size() < kHugeLine
          ? 4 * (front.size() + back.size())
          : growthOfBlocks(line, begin, end, front.size() + back.size(), caseSensitive, codec);
  for (;;) {
    // A second pass starts from fresh buffers: the first took the kept ones.
    RescanBuffer work = workIn(buffers, line, origin, room);
    // Brent's cycle check: a row that comes back to a line it has had
    // before, seen from where the search starts, loops forever.
    // A huge line is remembered by its first bytes and its hash, not held
    // once more; a collision (one in 2^64) would only end a search early. The
    // hash is taken only when length and first bytes agree, so hashing does
    // not make each rewrite cost the whole line.
    const bool huge = line.size() >= kHugeLine;
    constexpr std::size_t kHead = 256;
    std::string& seen = buffers.seen;
    seen.clear();
    std::size_t seenHash = 0, seenSize = std::string::npos;
    std::size_t rewrites = 0, searched = 0, sinceSeen = 0, span = 1;
    for (Block block = first;; block = findBlock(work.view(), begin, end, caseSensitive, codec)) {
      if (!block.found()) {
        finishIn(buffers, std::move(work), line, origin);
        return true;
      }
      const std::size_t middleFrom = block.begin.pos + block.begin.length;
      const std::size_t middleTo = std::max(block.end.pos, middleFrom);
      work.rewrite(block.begin.pos, block.end.pos + block.end.length, front, middleFrom, middleTo,
                   back);
      if (resumeAfter) {
        work.skip(front.size() + (middleTo - middleFrom) + back.size());
        continue;
      }
      const std::string_view now = work.view();
      searched += now.size();
      const bool again = huge ? now.size() == seenSize && now.substr(0, kHead) == seen &&
                                    std::hash<std::string_view>{}(now) == seenHash
                              : now == seen;
      if (again || pastBudget(++rewrites, now.size(), searched, line.size(), textsLength)) {
        break;
      }
      if (++sinceSeen == span) {
        if (huge) {
          seenHash = std::hash<std::string_view>{}(now);
          seenSize = now.size();
          seen.assign(now.substr(0, kHead));
        } else {
          seen.assign(now);
        }
        span *= 2;
        sinceSeen = 0;
      }
    }
    resumeAfter = true;  // start again, resuming after each replaced block
  }
}

std::string ApplyReplaceFormattingToEndOfLine(std::string_view line, std::string_view begin,
                                              bool caseSensitive, std::string_view front,
                                              std::string_view back, const TextCodec& codec,
                                              LineOrigin* origin) {
  if (begin.empty()) return std::string(line);
  const Match s = codec.find(line, begin, 0, caseSensitive);
  if (!s.found()) return std::string(line);
  std::string out;
  LineOrigin storage;
  formatToEndOfLine(line, s, front, back, out, origin, storage);
  return out;
}

bool ApplyHeaderLine(std::string& line, std::string_view header, std::string_view replacement,
                     LineOrigin* origin) {
  if (trimSpaces(line) != trimSpaces(header)) return false;
  line.assign(replacement);
  if (origin) origin->assign(line.size(), kFromRule);
  return true;
}

}  // namespace loom
