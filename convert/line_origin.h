// SPDX-License-Identifier: MIT
#pragma once
// Where each byte of a line came from: the source file, or a rule or setting.
// A page may escape what came from the source (so that "a < b" and
// "<someone@example.org>" stay text in a browser) while keeping what the
// rules insert as the HTML its author wrote. Rules match the text alone, so
// the origin rides beside the line, and every operation that rewrites the
// line keeps it in step.
//
// A line's origin is held in one of two forms. A short line's is a byte for
// each of its bytes: keeping that in step with a rewrite is a copy of a few
// dozen bytes. A huge line's lists only the stretches not from the source,
// a few bytes for each text a rule put in: a byte for each byte would hold
// the line's size once more (twice while a rewrite builds the next one).

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

// Lines from this length on are worth not holding once more than needed.
inline constexpr std::size_t kHugeLine = std::size_t{1} << 20;

class OriginReader;

class LineOrigin {
 public:
  // A byte each for a short line, the stretches not from the source for a
  // huge one; operations keep the form of the origin they rewrite.
  enum class Form : char { Bytes, Stretches };
  static Form formFor(std::size_t length) {
    return length >= kHugeLine ? Form::Stretches : Form::Bytes;
  }

  LineOrigin() = default;
  // A line of `length` bytes, every one from `from`, in the form for its
  // length unless told.
  explicit LineOrigin(std::size_t length, char from = kFromSource) { assign(length, from); }
  LineOrigin(std::size_t length, char from, Form form) { assign(length, from, form); }
  void assign(std::size_t length, char from = kFromSource) {
    assign(length, from, formFor(length));
  }
  void assign(std::size_t length, char from, Form form) {
    form_ = form;
    size_ = length;
    groups_ = from == kFromGroup && length != 0;
    stretches_.clear();
    if (form == Form::Bytes) {
      bytes_.assign(length, from);
    } else {
      bytes_.clear();
      if (from != kFromSource) assignStretch(from);
    }
  }
  // The origin of a line of `mask.size()` bytes, the form a byte each.
  static LineOrigin fromMask(std::string mask);

  Form form() const { return form_; }
  // Form::Bytes: the origin of each byte.
  std::string_view bytes() const { return bytes_; }
  std::size_t size() const { return size_; }
  // The memory it holds, in bytes.
  std::size_t capacity() const { return bytes_.capacity() + stretches_.capacity(); }
  // Keeps the bytes [first, first + count) alone.
  void keep(std::size_t first, std::size_t count);
  // One byte for each byte of the line, kFromSource, kFromRule or kFromGroup.
  std::string mask() const;
  // Whether any of it may be group text.
  bool holdsGroupText() const { return groups_; }

  void swap(LineOrigin& other) noexcept {
    bytes_.swap(other.bytes_);
    stretches_.swap(other.stretches_);
    std::swap(size_, other.size_);
    std::swap(groups_, other.groups_);
    std::swap(form_, other.form_);
  }

 private:
  friend class OriginReader;
  friend class OriginBuilder;
  friend class RescanBuffer;
  void assignStretch(char from);
  std::string bytes_;  // Form::Bytes: kFromSource, kFromRule or kFromGroup each
  // Form::Stretches: each stretch as two numbers of 7 bits a byte: its
  // distance from the end of the stretch before (or the line's start), and
  // (length - 1) * 2 + 1 for group text, + 0 for the rule's.
  std::vector<unsigned char> stretches_;
  std::size_t size_ = 0;
  bool groups_ = false;
  Form form_ = Form::Bytes;
};

// Builds an origin from left to right, joining neighbours of one origin.
// Inline: a row adds to it at every hit.
class OriginBuilder {
 public:
  // Builds an origin of the form `form` in `into`, whose contents are
  // dropped (its memory is kept); `into` holds it once finish() is called.
  OriginBuilder(LineOrigin& into, LineOrigin::Form form) : into_(into), form_(form) {
    into.bytes_.clear();
    into.stretches_.clear();
  }

  // The next `count` bytes are from `from`. Inline for a short line's
  // origin, which a rewrite extends at every hit.
  void add(std::size_t count, char from) {
    if (form_ == LineOrigin::Form::Bytes) {
      into_.bytes_.append(count, from);
      groups_ = groups_ || from == kFromGroup;
      size_ += count;
    } else {
      addStretch(count, from);
    }
  }

  // The next bytes are [from, to) of the origin `reader` reads (see
  // OriginReader::visit).
  inline void copy(OriginReader& reader, std::size_t from, std::size_t to);

  void finish() {
    flush();
    into_.size_ = size_;
    into_.groups_ = groups_;
    into_.form_ = form_;
  }

 private:
  // Out of line, so that add() stays small enough to inline.
  [[gnu::noinline]] void addStretch(std::size_t count, char from) {
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
  void copyVisited(OriginReader& reader, std::size_t from, std::size_t to);
  void putLong(std::size_t n) {
    std::vector<unsigned char>& out = into_.stretches_;
    for (; n >= 0x80; n >>= 7) out.push_back(static_cast<unsigned char>(0x80 | (n & 0x7F)));
    out.push_back(static_cast<unsigned char>(n));
  }
  void flush() {
    if (openLength_ == 0) return;
    const std::size_t gap = openStart_ - flushedEnd_;
    const std::size_t code = (openLength_ - 1) * 2 + (openFrom_ == kFromGroup ? 1 : 0);
    if ((gap | code) < 0x80) {  // nearly always: one byte each
      const unsigned char pair[2] = {static_cast<unsigned char>(gap),
                                     static_cast<unsigned char>(code)};
      into_.stretches_.insert(into_.stretches_.end(), pair, pair + 2);
    } else {
      putLong(gap);
      putLong(code);
    }
    flushedEnd_ = openStart_ + openLength_;
    openLength_ = 0;
  }

  LineOrigin& into_;
  std::size_t size_ = 0;
  std::size_t flushedEnd_ = 0;                  // where the last stretch written ends
  std::size_t openStart_ = 0, openLength_ = 0;  // the last stretch, not yet written
  char openFrom_ = kFromRule;
  bool groups_ = false;
  LineOrigin::Form form_;
};

// Reads an origin from left to right.
class OriginReader {
 public:
  OriginReader() = default;  // reads an origin all from the source
  explicit OriginReader(const LineOrigin& origin)
      : origin_(&origin), bytes_(origin.form_ == LineOrigin::Form::Bytes) {
    if (!bytes_) next();
  }

  // Calls each(count, from) for [from, to), one stretch of one origin at a
  // time, left to right. REQUIRES: `from` is no less than an earlier call's
  // `to` (a copy of the reader may go back as far as the original could).
  template <class Each>
  void visit(std::size_t from, std::size_t to, Each&& each) {
    if (bytes_) {
      const std::string& mask = origin_->bytes_;
      for (std::size_t run = from; from < to; from = run) {
        while (run < to && mask[run] == mask[from]) ++run;
        each(run - from, mask[from]);
      }
      return;
    }
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
    if (bytes_) return origin_->bytes_[at];
    while (start_ != kNone && end_ <= at) next();
    return start_ != kNone && start_ <= at ? from_ : kFromSource;
  }

 private:
  friend class OriginBuilder;
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::size_t get() {
    std::size_t n = 0;
    for (unsigned shift = 0;; shift += 7) {
      const unsigned char b = origin_->stretches_[at_++];
      n |= static_cast<std::size_t>(b & 0x7F) << shift;
      if (b < 0x80) return n;
    }
  }
  void next() {
    if (at_ >= origin_->stretches_.size()) {
      start_ = kNone;
      return;
    }
    start_ = end_ + get();
    const std::size_t code = get();
    end_ = start_ + code / 2 + 1;
    from_ = (code & 1) != 0 ? kFromGroup : kFromRule;
  }
  const LineOrigin* origin_ = nullptr;
  bool bytes_ = false;                   // the origin is a byte for each byte
  std::size_t at_ = 0;                   // the next byte of its stretches to decode
  std::size_t start_ = kNone, end_ = 0;  // the stretch at hand; start_ kNone past the last
  char from_ = kFromRule;
};

void OriginBuilder::copy(OriginReader& reader, std::size_t from, std::size_t to) {
  if (reader.bytes_ && form_ == LineOrigin::Form::Bytes) {
    into_.bytes_.append(reader.origin_->bytes_, from, to - from);
    groups_ = groups_ || reader.origin_->groups_;
    size_ += to - from;
  } else {
    copyVisited(reader, from, to);
  }
}

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
