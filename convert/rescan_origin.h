// SPDX-License-Identifier: MIT
#pragma once
// The origin of a RescanBuffer's working line. The text still being worked
// on is, from its start, what the rewrites wrote (their front and back
// texts and the parts they kept), then the rest of the line as it was: so
// the origin of that rest is read from the line's own, and only what the
// rewrites wrote is held here, as pieces. A piece is a run of one origin,
// or a stretch of the line as it was that a rewrite kept, read from the
// line's origin when it becomes final; so a block whose middle is most of a
// huge line costs one piece, not one for each text the rows put in there.
// What becomes final is appended to the finished origin. Nothing here costs
// a byte for each byte of the line.

#include <algorithm>
#include <cstddef>
#include <vector>

#include "convert/line_origin.h"

namespace loom {

// A piece of what the rewrites wrote: a run of one origin, or a stretch of
// the line as it was.
struct OriginPiece {
  std::size_t length;
  char from = kFromRule;  // a run of one origin, unless `ofLine`
  bool ofLine = false;    // the line as it was, from `lineAt` on
  std::size_t lineAt = 0;
  OriginReader reader{};  // stands at or before lineAt
};

// The memory of the pieces, kept by the caller from line to line.
struct OriginPieces {
  std::vector<OriginPiece> written;  // what the rewrites wrote, its first piece last
  std::vector<OriginPiece> kept;     // the kept part of a rewrite, first piece first
};

class RescanOrigin {
 public:
  // `line` is the origin of the line the buffer starts from, which must
  // outlive this; the finished origin is built in `into`, the pieces in
  // `pieces`, whatever they held.
  RescanOrigin(const LineOrigin& line, LineOrigin& into, OriginPieces& pieces)
      : line_(&line),
        reader_(line),
        written_(pieces.written),
        kept_(pieces.kept),
        done_(into, LineOrigin::Form::Stretches) {
    written_.clear();
  }

  // The first `count` bytes of the working text are final. This and
  // rewrite() are kept out of line: only a huge line's rewrites come here,
  // and the short lines' rewrites that would inline them stay small.
  [[gnu::noinline]] void skip(std::size_t count) {
    const auto add = [&](std::size_t n, char from) { done_.add(n, from); };
    count = takeWritten(count, [&](Piece& piece, std::size_t n) {
      if (piece.ofLine) {
        piece.reader.visit(piece.lineAt, piece.lineAt + n, add);
      } else {
        done_.add(n, piece.from);
      }
    });
    if (count == 0) return;
    reader_.visit(lineAt_, lineAt_ + count, add);
    lineAt_ += count;
  }

  // The working text's [0, end) gives way to `front` bytes of the rule,
  // the `keep` bytes of it from `keepFrom` on, and `back` bytes of the rule.
  // REQUIRES: keepFrom + keep <= end.
  [[gnu::noinline]] void rewrite(std::size_t end, std::size_t keepFrom, std::size_t keep,
                                 std::size_t front, std::size_t back) {
    kept_.clear();
    if (keep != 0) {
      drop(keepFrom);
      std::size_t rest = takeWritten(keep, [&](Piece& piece, std::size_t n) {
        kept_.push_back(piece);
        kept_.back().length = n;
      });
      if (rest != 0) {
        // The line as it was: one piece, with a copy of the reader as it stands.
        kept_.push_back({rest, kFromSource, true, lineAt_, reader_});
        lineAt_ += rest;
      }
      drop(end - keepFrom - keep);
    } else {
      drop(end);
    }
    push({back, kFromRule});
    for (auto piece = kept_.rbegin(); piece != kept_.rend(); ++piece) push(*piece);
    push({front, kFromRule});
  }

  // Builds the origin of the finished line, the working text all final.
  void finish() {
    std::size_t rest = line_->size() - lineAt_;
    for (const Piece& piece : written_) rest += piece.length;
    skip(rest);
    done_.finish();
  }

 private:
  using Piece = OriginPiece;

  // Hands the first `count` bytes of the working text that the rewrites
  // wrote, piece by piece, to each(piece, n), which reads its first n bytes,
  // and takes them away; returns how many of `count` the line as it was has
  // to give.
  template <class Each>
  std::size_t takeWritten(std::size_t count, Each&& each) {
    for (; count > 0 && !written_.empty(); written_.pop_back()) {
      Piece& piece = written_.back();
      const std::size_t n = std::min(count, piece.length);
      each(piece, n);
      count -= n;
      piece.length -= n;
      piece.lineAt += n;
      if (piece.length != 0) break;
    }
    return count;
  }

  // Takes away the first `count` bytes of the working text.
  void drop(std::size_t count) {
    lineAt_ += takeWritten(count, [](Piece&, std::size_t) {});
  }

  // Puts `piece` before the working text.
  void push(const Piece& piece) {
    if (piece.length == 0) return;
    Piece* top = written_.empty() ? nullptr : &written_.back();
    if (top && !piece.ofLine && !top->ofLine && top->from == piece.from) {
      top->length += piece.length;
    } else {
      written_.push_back(piece);
    }
  }

  const LineOrigin* line_;
  OriginReader reader_;
  std::size_t lineAt_ = 0;  // the rest of the line as it was starts here
  std::vector<Piece>& written_;
  std::vector<Piece>& kept_;
  OriginBuilder done_;
};

}  // namespace loom
