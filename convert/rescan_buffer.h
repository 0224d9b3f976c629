#pragma once
// The working line of an operation that rewrites a line and then searches
// again from the start of what it wrote ("resume at the hit"). Text before the
// point of the last rewrite is final and moves to the result; the rewritten
// text is placed right before the untouched rest, in space the finished
// prefix no longer needs, so a rewrite costs the length of what it writes,
// not the length of the line. When given the line's origin mask, the buffer
// keeps it in step: the kept middle keeps its origin, front and back texts
// come from the rule.

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "convert/line_origin.h"

namespace loom {

class RescanBuffer {
 public:
  explicit RescanBuffer(std::string_view line, const std::string* origin = nullptr)
      : buf_(line), tracked_(origin != nullptr) {
    if (tracked_) origin_ = *origin;
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
    makeRoom(start);
    done_.append(buf_, cursor_, start);
    if (tracked_) originDone_.append(origin_, cursor_, start);
    const std::size_t absEnd = cursor_ + end;
    if (total <= absEnd) {
      const std::size_t dst = absEnd - total;
      char* data = buf_.data();
      if (keep) std::memmove(data + dst + front.size(), data + cursor_ + keepFrom, keep);
      if (!front.empty()) std::memcpy(data + dst, front.data(), front.size());
      if (!back.empty()) std::memcpy(data + absEnd - back.size(), back.data(), back.size());
      if (tracked_) {
        char* mask = origin_.data();
        if (keep) std::memmove(mask + dst + front.size(), mask + cursor_ + keepFrom, keep);
        std::memset(mask + dst, kFromRule, front.size());
        std::memset(mask + absEnd - back.size(), kFromRule, back.size());
      }
      cursor_ = dst;
      return;
    }
    // Not enough room before the rest: rebuild with slack in front, so the
    // next rewrites again fit in place.
    // An eighth of the rest as slack keeps a huge line from being held twice
    // over, and still leaves each rebuild to pay for many rewrites.
    const std::size_t slack = total + (buf_.size() - absEnd) / 8;
    std::string next;
    next.reserve(slack + total + buf_.size() - absEnd);
    next.append(slack, '\0');
    next.append(front);
    next.append(buf_, cursor_ + keepFrom, keep);
    next.append(back);
    next.append(buf_, absEnd, std::string::npos);
    buf_.swap(next);
    if (tracked_) {
      std::string mask;
      mask.reserve(next.capacity());
      mask.append(slack, kFromRule);
      mask.append(front.size(), kFromRule);
      mask.append(origin_, cursor_ + keepFrom, keep);
      mask.append(back.size(), kFromRule);
      mask.append(origin_, absEnd, std::string::npos);
      origin_.swap(mask);
    }
    cursor_ = slack;
  }

  // Marks the first `count` characters of view() as final.
  void skip(std::size_t count) {
    makeRoom(count);
    done_.append(buf_, cursor_, count);
    if (tracked_) originDone_.append(origin_, cursor_, count);
    cursor_ += count;
  }

  // The finished line; `origin`, when the buffer tracks one, receives its
  // mask.
  std::string finish(std::string* origin = nullptr) && {
    makeRoom(buf_.size() - cursor_);
    done_.append(buf_, cursor_, std::string::npos);
    if (tracked_ && origin != nullptr) {
      originDone_.append(origin_, cursor_, std::string::npos);
      origin->swap(originDone_);
    }
    return std::move(done_);
  }

 private:
  // Grows the result by what is still to come rather than by doubling, so
  // that the result of a huge line is not allocated twice its size.
  void makeRoom(std::size_t adding) {
    if (done_.size() + adding <= done_.capacity()) return;
    const std::size_t rest = buf_.size() - cursor_;
    done_.reserve(std::max(done_.size() + adding + rest, done_.capacity() + done_.capacity() / 8));
  }

  std::string buf_;
  std::size_t cursor_ = 0;
  std::string done_;
  bool tracked_;
  std::string origin_;      // beside buf_
  std::string originDone_;  // beside done_
};

}  // namespace loom
