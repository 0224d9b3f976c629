// SPDX-License-Identifier: MIT
#pragma once
// The working line of an operation that rewrites a line and then searches
// again from the start of what it wrote ("resume at the hit"). One buffer
// holds, in this order, the finished text, a gap, and the text still being
// worked on. A rewrite puts its text right before the untouched rest, in the
// gap the finished text has not used yet, so a rewrite costs the length of
// what it writes, not the length of the line; text that becomes final moves
// down to the end of the finished text. Only when the gap runs out is the
// buffer rebuilt with more. When given the line's origin, the buffer
// keeps it in step: the kept middle keeps its origin, front and back texts
// come from the rule.

#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "convert/line_origin.h"
#include "convert/rescan_origin.h"

namespace loom {

class RescanBuffer {
 public:
  // `room` is how much the line is expected to grow: given up front, a huge
  // line is not copied again when its rewrites lengthen it. `storage`, when
  // given, is a buffer to work in whose memory is reused (its bytes are not);
  // it must not hold `line`. `origin`, when given, is the line's, which
  // must stay as it is until finish(); `originStorage` is memory to build
  // the result's in, and `pieces` (needed with `origin`) the memory of its
  // working pieces.
  explicit RescanBuffer(std::string_view line, const LineOrigin* origin = nullptr,
                        std::size_t room = 0, std::string storage = {},
                        LineOrigin originStorage = {}, OriginPieces* pieces = nullptr)
      : buf_(std::move(storage)), cursor_(room) {
    buf_.clear();
    buf_.reserve(room + line.size());
    buf_.append(room, '\0').append(line);
    if (origin != nullptr) origin_.emplace(*origin, std::move(originStorage), *pieces);
  }

  // The text still being worked on; positions of the operations count from
  // its start.
  std::string_view view() const { return std::string_view(buf_).substr(cursor_); }

  // Replaces [start, end) of view() with front + view()[keepFrom, keepTo) +
  // back, after which view() begins with front. The kept part may overlap the
  // replaced range (it is the middle of a block).
  void rewrite(std::size_t start, std::size_t end, std::string_view front, std::size_t keepFrom,
               std::size_t keepTo, std::string_view back) {
    const std::size_t keep = keepTo > keepFrom ? keepTo - keepFrom : 0;
    const std::size_t total = front.size() + keep + back.size();
    const std::size_t keepAt = cursor_ + keepFrom;  // the kept part lies after `start`
    const std::size_t absEnd = cursor_ + end;
    skip(start);
    if (origin_) {
      origin_->rewrite(end - start, keep ? keepFrom - start : 0, keep, front.size(), back.size());
    }
    if (done_ + total <= absEnd) {
      const std::size_t dst = absEnd - total;
      place(dst, front, keepAt, keep, back, absEnd);
      cursor_ = dst;
      return;
    }
    // The gap is used up: rebuild with a new one of an eighth of the buffer,
    // which keeps a huge line from being held twice over and still leaves
    // each rebuild to pay for many rewrites. (An eighth of the rest alone
    // made a line that grows near its end rebuild at every rewrite, copying
    // all it had finished each time.)
    const std::size_t slack = total + buf_.size() / 8;
    rebuild(slack, front, keepAt, keep, back, absEnd);
    cursor_ = done_ + slack;
  }

  // Marks the first `count` characters of view() as final.
  void skip(std::size_t count) {
    if (cursor_ != done_) std::memmove(buf_.data() + done_, buf_.data() + cursor_, count);
    if (origin_) origin_->skip(count);
    done_ += count;
    cursor_ += count;
  }

  // The finished line; `origin`, when the buffer tracks one, receives its
  // origin, and `oldOrigin`, when given, the origin it replaced.
  std::string finish(LineOrigin* origin = nullptr, LineOrigin* oldOrigin = nullptr) && {
    skip(buf_.size() - cursor_);
    buf_.resize(done_);
    if (origin_ && origin != nullptr) {
      LineOrigin finished = std::move(*origin_).finish();
      origin_.reset();
      if (oldOrigin != nullptr) *oldOrigin = std::move(*origin);
      *origin = std::move(finished);
    }
    return std::move(buf_);
  }

 private:
  // Writes front + [keepAt, keepAt + keep) + back so that it ends at `end`.
  void place(std::size_t dst, std::string_view front, std::size_t keepAt, std::size_t keep,
             std::string_view back, std::size_t end) {
    char* data = buf_.data();
    if (keep) std::memmove(data + dst + front.size(), data + keepAt, keep);
    if (!front.empty()) std::memcpy(data + dst, front.data(), front.size());
    if (!back.empty()) std::memcpy(data + end - back.size(), back.data(), back.size());
  }

  // The finished text, a gap of `slack`, front + kept part + back, and the
  // rest from `end` on, in a new buffer.
  void rebuild(std::size_t slack, std::string_view front, std::size_t keepAt, std::size_t keep,
               std::string_view back, std::size_t end) {
    std::string next;
    next.reserve(done_ + slack + front.size() + keep + back.size() + buf_.size() - end);
    next.append(buf_, 0, done_);
    next.append(slack, '\0');
    next.append(front).append(buf_, keepAt, keep).append(back);
    next.append(buf_, end, std::string::npos);
    buf_.swap(next);
  }

  std::string buf_;
  std::size_t done_ = 0;  // buf_[0, done_) is final
  std::size_t cursor_;    // view() starts here; done_ <= cursor_
  std::optional<RescanOrigin> origin_;
};

}  // namespace loom
