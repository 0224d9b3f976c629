// SPDX-License-Identifier: MIT
#pragma once
// Where each byte of a line came from: the source file, or a rule or setting.
// A page may escape what came from the source (so that "a < b" and
// "<someone@example.org>" stay text in a browser) while keeping what the
// rules insert as the HTML its author wrote. Rules match the text alone, so
// the origin rides beside the line, and every operation that rewrites the
// line keeps it in step.
//
// Nearly every byte of a line is the source's, so the origin lists only the
// stretches that are not: a line no rule wrote into costs nothing, and a
// huge one a few bytes for each text a rule put in, not a byte for each
// byte of the line, which would hold a huge line's size once more (twice
// while a rewrite builds the next one).

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace loom {

inline constexpr char kFromSource = 0;
inline constexpr char kFromRule = 1;
// Source text a pattern row's group put where its template says, perhaps
// inside an attribute value: escaped as source text, its quotes too.
inline constexpr char kFromGroup = 2;

class LineOrigin {
 public:
  LineOrigin() = default;
  // A line of `length` bytes, every one from `from`.
  explicit LineOrigin(std::size_t length, char from = kFromSource) { assign(length, from); }
  void assign(std::size_t length, char from = kFromSource);

  std::size_t size() const { return size_; }
  // The memory it holds, in bytes.
  std::size_t capacity() const { return stretches_.capacity(); }
  // Keeps the bytes [first, first + count) alone.
  void keep(std::size_t first, std::size_t count);
  // One byte for each byte of the line, kFromSource, kFromRule or kFromGroup.
  std::string mask() const;
  // Whether any of it is group text.
  bool holdsGroupText() const { return groups_; }

  friend bool operator==(const LineOrigin&, const LineOrigin&) = default;

 private:
  friend class OriginReader;
  friend class OriginBuilder;
  // Each stretch as two numbers of 7 bits a byte: its distance from the end
  // of the stretch before (or the line's start), and (length - 1) * 2 + 1
  // for group text, + 0 for the rule's.
  std::vector<unsigned char> stretches_;
  std::size_t size_ = 0;
  bool groups_ = false;
};

// Builds an origin from left to right, joining neighbours of one origin.
// Inline: a row adds to it at every hit.
class OriginBuilder {
 public:
  // Builds in the memory of `storage`, whose stretches are dropped.
  explicit OriginBuilder(LineOrigin storage = {}) : out_(std::move(storage.stretches_)) {
    out_.clear();
  }

  // The next `count` bytes are from `from`.
  void add(std::size_t count, char from) {
    if (from != kFromSource && count != 0) {
      if (openLength_ != 0 && openFrom_ == from && openStart_ + openLength_ == size_) {
        openLength_ += count;
      } else {
        flush();
        openStart_ = size_;
        openLength_ = count;
        openFrom_ = from;
        groups_ = groups_ || from == kFromGroup;
      }
    }
    size_ += count;
  }

  std::size_t size() const { return size_; }
  LineOrigin finish() && {
    flush();
    LineOrigin origin;
    origin.stretches_ = std::move(out_);
    origin.size_ = size_;
    origin.groups_ = groups_;
    return origin;
  }

 private:
  void putLong(std::size_t n) {
    for (; n >= 0x80; n >>= 7) out_.push_back(static_cast<unsigned char>(0x80 | (n & 0x7F)));
    out_.push_back(static_cast<unsigned char>(n));
  }
  void flush() {
    if (openLength_ == 0) return;
    const std::size_t gap = openStart_ - flushedEnd_;
    const std::size_t code = (openLength_ - 1) * 2 + (openFrom_ == kFromGroup ? 1 : 0);
    if ((gap | code) < 0x80) {  // nearly always: one byte each
      const unsigned char pair[2] = {static_cast<unsigned char>(gap),
                                     static_cast<unsigned char>(code)};
      out_.insert(out_.end(), pair, pair + 2);
    } else {
      putLong(gap);
      putLong(code);
    }
    flushedEnd_ = openStart_ + openLength_;
    openLength_ = 0;
  }

  std::vector<unsigned char> out_;
  std::size_t size_ = 0;
  std::size_t flushedEnd_ = 0;                  // where the last stretch written ends
  std::size_t openStart_ = 0, openLength_ = 0;  // the last stretch, not yet written
  char openFrom_ = kFromRule;
  bool groups_ = false;
};

// Reads an origin from left to right.
class OriginReader {
 public:
  OriginReader() = default;  // reads an origin all from the source
  explicit OriginReader(const LineOrigin& origin) : text_(&origin.stretches_) { next(); }

  // Calls each(count, from) for [from, to), one stretch of one origin at a
  // time, left to right. REQUIRES: `from` is no less than an earlier call's
  // `to` (a copy of the reader may go back as far as the original could).
  template <class Each>
  void visit(std::size_t from, std::size_t to, Each&& each) {
    while (start_ != kNone && end_ <= from) next();
    while (from < to) {
      if (start_ >= to) {
        each(to - from, kFromSource);
        return;
      }
      if (start_ > from) {
        each(start_ - from, kFromSource);
        from = start_;
      }
      const std::size_t until = end_ < to ? end_ : to;
      each(until - from, from_);
      from = until;
      if (end_ <= to) next();
    }
  }

  // The origin of the byte at `at`. REQUIRES: `at` is no less than an
  // earlier call's, nor than the `to` of an earlier visit().
  char at(std::size_t at) {
    while (start_ != kNone && end_ <= at) next();
    return start_ != kNone && start_ <= at ? from_ : kFromSource;
  }

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::size_t get() {
    std::size_t n = 0;
    for (unsigned shift = 0;; shift += 7) {
      const unsigned char b = (*text_)[at_++];
      n |= static_cast<std::size_t>(b & 0x7F) << shift;
      if (b < 0x80) return n;
    }
  }
  void next() {
    if (at_ >= text_->size()) {
      start_ = kNone;
      return;
    }
    start_ = end_ + get();
    const std::size_t code = get();
    end_ = start_ + code / 2 + 1;
    from_ = (code & 1) != 0 ? kFromGroup : kFromRule;
  }
  const std::vector<unsigned char>* text_ = nullptr;
  std::size_t at_ = 0;                   // the next byte of *text_ to decode
  std::size_t start_ = kNone, end_ = 0;  // the stretch at hand; start_ kNone past the last
  char from_ = kFromRule;
};

// Appends `line` to `out`, writing each "&", "<" and ">" whose origin is not
// a rule's as "&amp;", "&lt;" and "&gt;", and each '"' and "'" of group text
// as "&quot;" and "&#39;"; bytes from rules are copied as they are. `line`
// is the part of the line of `origin` that starts at `first`:
//   appendEscaped(out, "a<b <I>", origin of "a<b " from the source and "<I>" from a rule)
//   appends "a&lt;b <I>".
void appendEscaped(std::string& out, std::string_view line, const LineOrigin& origin,
                   std::size_t first = 0);

// Removes leading and trailing spaces of `line` in place, keeping its
// buffer, and the same bytes of `origin` when it is given.
void trimInPlace(std::string& line, LineOrigin* origin);

// `text` with every "&", "<" and ">" written as a character reference, as
// when all of it came from the source.
std::string escapeMarkup(std::string_view text);

}  // namespace loom
