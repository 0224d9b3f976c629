// SPDX-License-Identifier: MIT
#include "convert/line_origin.h"

#include <utility>

#include "base/byte_search.h"
#include "base/text.h"

namespace loom {
namespace {

const char* referenceFor(char c) {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    default:
      return nullptr;
  }
}

void putNumber(std::string& out, std::size_t n) {
  for (; n >= 0x80; n >>= 7) out.push_back(static_cast<char>(0x80 | (n & 0x7F)));
  out.push_back(static_cast<char>(n));
}

std::size_t getNumber(const std::string& in, std::size_t& at) {
  std::size_t n = 0;
  for (unsigned shift = 0;; shift += 7) {
    const auto b = static_cast<unsigned char>(in[at++]);
    n |= static_cast<std::size_t>(b & 0x7F) << shift;
    if (b < 0x80) return n;
  }
}

// Source text: most of it holds no markup character, so the search looks at
// sixteen bytes a step and copies the stretches between in one piece.
void appendSourceEscaped(std::string& out, std::string_view text) {
  const char* const begin = text.data();
  const auto any = [](const char*) { return true; };
  std::size_t from = 0;
  while (from < text.size()) {
    const char* at = findByStart(begin + from, begin + text.size() - 1, "&<>", any);
    if (at == nullptr) break;
    const auto i = static_cast<std::size_t>(at - begin);
    out.append(text, from, i - from).append(referenceFor(*at));
    from = i + 1;
  }
  out.append(text, from);
}

// Group text is rare and short: a byte at a time will do.
void appendGroupEscaped(std::string& out, std::string_view text) {
  for (const char c : text) {
    if (const char* reference = referenceFor(c)) {
      out += reference;
    } else if (c == '"' || c == '\'') {
      out += c == '"' ? "&quot;" : "&#39;";
    } else {
      out += c;
    }
  }
}

}  // namespace

void LineOrigin::assign(std::size_t length, char from) {
  stretches_.clear();
  size_ = length;
  if (from != kFromSource && length != 0) {
    OriginBuilder built(std::move(*this));
    built.add(length, from);
    *this = std::move(built).finish();
  }
}

void LineOrigin::keep(std::size_t first, std::size_t count) {
  if (stretches_.empty()) {
    size_ = count;
    return;
  }
  OriginBuilder built;
  OriginReader(*this).visit(first, first + count,
                            [&](std::size_t n, char from) { built.add(n, from); });
  *this = std::move(built).finish();
}

std::string LineOrigin::mask() const {
  std::string mask;
  OriginReader(*this).visit(0, size_, [&](std::size_t n, char from) { mask.append(n, from); });
  return mask;
}

OriginBuilder::OriginBuilder(LineOrigin storage) : out_(std::move(storage.stretches_)) {
  out_.clear();
}

void OriginBuilder::add(std::size_t count, char from) {
  if (count == 0) return;
  if (from != kFromSource) {
    if (openLength_ != 0 && openFrom_ == from && openStart_ + openLength_ == size_) {
      openLength_ += count;
    } else {
      flush();
      openStart_ = size_;
      openLength_ = count;
      openFrom_ = from;
    }
  }
  size_ += count;
}

void OriginBuilder::flush() {
  if (openLength_ == 0) return;
  putNumber(out_, openStart_ - flushedEnd_);
  putNumber(out_, (openLength_ - 1) * 2 + (openFrom_ == kFromGroup ? 1 : 0));
  flushedEnd_ = openStart_ + openLength_;
  openLength_ = 0;
}

LineOrigin OriginBuilder::finish() && {
  flush();
  LineOrigin origin;
  origin.stretches_ = std::move(out_);
  origin.size_ = size_;
  return origin;
}

void OriginReader::next() {
  if (at_ >= text_->size()) {
    start_ = kNone;
    return;
  }
  start_ = end_ + getNumber(*text_, at_);
  const std::size_t code = getNumber(*text_, at_);
  end_ = start_ + code / 2 + 1;
  from_ = (code & 1) != 0 ? kFromGroup : kFromRule;
}

void appendEscaped(std::string& out, std::string_view line, const LineOrigin& origin,
                   std::size_t first) {
  std::size_t at = 0;
  OriginReader(origin).visit(first, first + line.size(), [&](std::size_t n, char from) {
    const std::string_view part = line.substr(at, n);
    at += n;
    if (from == kFromSource) {
      appendSourceEscaped(out, part);
    } else if (from == kFromGroup) {
      appendGroupEscaped(out, part);
    } else {
      out.append(part);
    }
  });
}

std::string escapeMarkup(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  appendSourceEscaped(out, text);
  return out;
}

void trimInPlace(std::string& line, LineOrigin* origin) {
  // Rows that cut a line at a marker trim every line they meet, and most
  // lines have no space at either end.
  if (line.empty() || (line.front() != ' ' && line.back() != ' ')) return;
  const std::string_view kept = trimSpaces(line);
  const std::size_t first = kept.empty() ? 0 : static_cast<std::size_t>(kept.data() - line.data());
  const std::size_t size = kept.size();
  line.erase(first + size);
  line.erase(0, first);
  if (origin) origin->keep(first, size);
}

}  // namespace loom
