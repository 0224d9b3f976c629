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
// come from the rule. An origin of a byte for each byte lies beside the
// text in the same layout; one of stretches is kept by a RescanOrigin.

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
  // must stay as it is until finish(); the result's is built in `into`
  // (which then receives the line's) with `pieces` the memory of its
  // working pieces, both needed with `origin`.
  explicit RescanBuffer(std::string_view line, const LineOrigin* origin = nullptr,
                        std::size_t room = 0, std::string storage = {}, LineOrigin* into = nullptr,
                        OriginPieces* pieces = nullptr)
      : buf_(std::move(storage)), cursor_(room), into_(into) {
    buf_.clear();
    buf_.reserve(room + line.size());
    buf_.append(room, '\0').append(line);
    if (origin == nullptr) return;
    if (origin->form() == LineOrigin::Form::Stretches) {
      stretches_.emplace(*origin, *into, *pieces);
      return;
    }
    masked_ = true;
    groups_ = origin->holdsGroupText();
    mask_.swap(into->bytes_);
    mask_.clear();
    mask_.reserve(buf_.size());
    mask_.append(room, kFromRule).append(origin->bytes_);
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
    if (stretches_) {
      stretches_->rewrite(end - start, keep ? keepFrom - start : 0, keep, front.size(),
                          back.size());
    }
    if (done_ + total <= absEnd) {
      const std::size_t dst = absEnd - total;
      place(buf_, dst, front, keepAt, keep, back, absEnd, false);
      if (masked_) place(mask_, dst, front, keepAt, keep, back, absEnd, true);
      cursor_ = dst;
      return;
    }
    // The gap is used up: rebuild with a new one of an eighth of the buffer,
    // which keeps a huge line from being held twice over and still leaves
    // each rebuild to pay for many rewrites. (An eighth of the rest alone
    // made a line that grows near its end rebuild at every rewrite, copying
    // all it had finished each time.)
    const std::size_t slack = total + buf_.size() / 8;
    rebuild(buf_, slack, front, keepAt, keep, back, absEnd, false);
    if (masked_) rebuild(mask_, slack, front, keepAt, keep, back, absEnd, true);
    cursor_ = done_ + slack;
  }

  // Marks the first `count` characters of view() as final.
  void skip(std::size_t count) {
    if (cursor_ != done_) {
      std::memmove(buf_.data() + done_, buf_.data() + cursor_, count);
      if (masked_) std::memmove(mask_.data() + done_, mask_.data() + cursor_, count);
    }
    if (stretches_) stretches_->skip(count);
    done_ += count;
    cursor_ += count;
  }

  // The finished line; `origin`, when the buffer tracks one, receives its
  // origin, and the buffer's `into` the origin it replaced.
  std::string finish(LineOrigin* origin = nullptr) && {
    skip(buf_.size() - cursor_);
    buf_.resize(done_);
    if (origin == nullptr || into_ == nullptr) return std::move(buf_);
    if (stretches_) {
      stretches_->finish();
    } else if (masked_) {
      mask_.resize(done_);
      into_->bytes_.swap(mask_);
      into_->stretches_.clear();
      into_->size_ = done_;
      into_->groups_ = groups_;  // text kept keeps its group text, if any
      into_->form_ = LineOrigin::Form::Bytes;
    }
    origin->swap(*into_);
    return std::move(buf_);
  }

 private:
  // Writes front + [keepAt, keepAt + keep) + back so that it ends at `end`;
  // in the mask, front and back are the rule's.
  static void place(std::string& text, std::size_t dst, std::string_view front, std::size_t keepAt,
                    std::size_t keep, std::string_view back, std::size_t end, bool mask) {
    char* data = text.data();
    if (keep) std::memmove(data + dst + front.size(), data + keepAt, keep);
    if (mask) {
      std::memset(data + dst, kFromRule, front.size());
      std::memset(data + end - back.size(), kFromRule, back.size());
      return;
    }
    if (!front.empty()) std::memcpy(data + dst, front.data(), front.size());
    if (!back.empty()) std::memcpy(data + end - back.size(), back.data(), back.size());
  }

  // The finished text, a gap of `slack`, front + kept part + back, and the
  // rest from `end` on, in a new buffer.
  void rebuild(std::string& text, std::size_t slack, std::string_view front, std::size_t keepAt,
               std::size_t keep, std::string_view back, std::size_t end, bool mask) const {
    std::string next;
    next.reserve(done_ + slack + front.size() + keep + back.size() + text.size() - end);
    next.append(text, 0, done_);
    next.append(slack, mask ? kFromRule : '\0');
    if (mask) {
      next.append(front.size(), kFromRule)
          .append(text, keepAt, keep)
          .append(back.size(), kFromRule);
    } else {
      next.append(front).append(text, keepAt, keep).append(back);
    }
    next.append(text, end, std::string::npos);
    text.swap(next);
  }

  std::string buf_;
  std::size_t done_ = 0;  // buf_[0, done_) is final
  std::size_t cursor_;    // view() starts here; done_ <= cursor_
  LineOrigin* into_;
  bool masked_ = false, groups_ = false;
  std::string mask_;  // a byte for each byte of buf_, in the same layout
  std::optional<RescanOrigin> stretches_;
};

}  // namespace loom
