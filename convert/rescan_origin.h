// SPDX-License-Identifier: MIT
#pragma once
// The origin of a RescanBuffer's working line. The text still being worked
// on is, from its start, what the rewrites wrote (their front and back
// texts and the parts they kept), then the rest of the line as it was: so
// the origin of that rest is read from the line's own, and only what the
// rewrites wrote is held here, as runs of one origin. What becomes final is
// appended to the finished origin. Nothing here costs a byte for each byte
// of the line.

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "convert/line_origin.h"

namespace loom {

class RescanOrigin {
 public:
  // `line` is the origin of the line the buffer starts from, which must
  // outlive this; the finished origin is built in the memory of `storage`.
  RescanOrigin(const LineOrigin& line, LineOrigin storage)
      : line_(&line), reader_(line), done_(std::move(storage)) {}

  // The first `count` bytes of the working text are final.
  void skip(std::size_t count) {
    take(count, [&](std::size_t n, char from) { done_.add(n, from); });
  }

  // The working text's [0, end) gives way to `front` bytes of the rule,
  // the `keep` bytes of it from `keepFrom` on, and `back` bytes of the rule.
  // REQUIRES: keepFrom + keep <= end.
  void rewrite(std::size_t end, std::size_t keepFrom, std::size_t keep, std::size_t front,
               std::size_t back) {
    kept_.clear();
    if (keep != 0) {
      drop(keepFrom);
      take(keep, [&](std::size_t n, char from) { kept_.push_back({n, from}); });
      drop(end - keepFrom - keep);
    } else {
      drop(end);
    }
    push(back, kFromRule);
    for (auto run = kept_.rbegin(); run != kept_.rend(); ++run) push(run->length, run->from);
    push(front, kFromRule);
  }

  // The origin of the finished line, the working text all final.
  LineOrigin finish() && {
    while (!written_.empty()) {
      done_.add(written_.back().length, written_.back().from);
      written_.pop_back();
    }
    skip(line_->size() - lineAt_);
    return std::move(done_).finish();
  }

 private:
  struct Run {
    std::size_t length;
    char from;
  };

  // Hands the first `count` bytes of the working text, run by run, to
  // each(n, from), and takes them away.
  template <class Each>
  void take(std::size_t count, Each&& each) {
    for (; count > 0 && !written_.empty(); written_.pop_back()) {
      Run& run = written_.back();
      const std::size_t n = std::min(count, run.length);
      each(n, run.from);
      count -= n;
      run.length -= n;
      if (run.length != 0) return;
    }
    if (count == 0) return;
    reader_.visit(lineAt_, lineAt_ + count, each);
    lineAt_ += count;
  }

  // Takes away the first `count` bytes of the working text.
  void drop(std::size_t count) {
    for (; count > 0 && !written_.empty(); written_.pop_back()) {
      Run& run = written_.back();
      const std::size_t n = std::min(count, run.length);
      count -= n;
      run.length -= n;
      if (run.length != 0) return;
    }
    lineAt_ += count;
  }

  // Puts `length` bytes from `from` before the working text.
  void push(std::size_t length, char from) {
    if (length == 0) return;
    if (!written_.empty() && written_.back().from == from) {
      written_.back().length += length;
    } else {
      written_.push_back({length, from});
    }
  }

  const LineOrigin* line_;
  OriginReader reader_;
  std::size_t lineAt_ = 0;    // the rest of the line as it was starts here
  std::vector<Run> written_;  // what the rewrites wrote, its first run last
  std::vector<Run> kept_;     // the kept part of a rewrite, first run first
  OriginBuilder done_;
};

}  // namespace loom
