// SPDX-License-Identifier: MIT
#include "convert/line_origin.h"

#include <algorithm>
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

// Most text holds no markup character, so the search looks at sixteen bytes
// a step and copies the stretches between in one piece; `escapes(at)` says
// whether the character found at `at` is to be written as a reference.
template <class Escapes>
void appendMarkupEscaped(std::string& out, std::string_view text, Escapes&& escapes) {
  const char* const begin = text.data();
  std::size_t from = 0;
  while (from < text.size()) {
    const char* at = findByStart(begin + from, begin + text.size() - 1, "&<>", escapes);
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

void OriginBuilder::copyVisited(OriginReader& reader, std::size_t from, std::size_t to) {
  reader.visit(from, to, [&](std::size_t n, char origin) { add(n, origin); });
}

void LineOrigin::assignStretch(char from) {
  OriginBuilder built(*this, Form::Stretches);
  built.add(size_, from);
  built.finish();
}

LineOrigin LineOrigin::fromMask(std::string mask) {
  LineOrigin origin;
  origin.size_ = mask.size();
  origin.groups_ = mask.find(kFromGroup) != std::string::npos;
  origin.bytes_ = std::move(mask);
  return origin;
}

void LineOrigin::keep(std::size_t first, std::size_t count) {
  size_ = count;
  if (form_ == Form::Bytes) {
    bytes_.erase(first + count);
    bytes_.erase(0, first);
    return;
  }
  if (stretches_.empty()) return;
  // Rewritten in place: no stretch kept takes more bytes than it took, so
  // what is written never overtakes what is still to be read.
  const std::size_t end = first + count;
  std::size_t read = 0, write = 0, was = 0, now = 0;  // was, now: where the last stretch ended
  const auto get = [&] {
    std::size_t n = 0;
    for (unsigned shift = 0;; shift += 7) {
      const unsigned char b = stretches_[read++];
      n |= static_cast<std::size_t>(b & 0x7F) << shift;
      if (b < 0x80) return n;
    }
  };
  const auto put = [&](std::size_t n) {
    for (; n >= 0x80; n >>= 7) stretches_[write++] = static_cast<unsigned char>(0x80 | (n & 0x7F));
    stretches_[write++] = static_cast<unsigned char>(n);
  };
  groups_ = false;
  while (read < stretches_.size()) {
    const std::size_t start = was + get(), code = get();
    was = start + code / 2 + 1;
    const std::size_t from = std::max(start, first), to = std::min(was, end);
    if (start >= end) break;
    if (from >= to) continue;
    put(from - first - now);
    put((to - from - 1) * 2 + (code & 1));
    now = to - first;
    groups_ = groups_ || (code & 1) != 0;
  }
  stretches_.resize(write);
}

std::string LineOrigin::mask() const {
  if (form_ == Form::Bytes) return bytes_;
  std::string mask;
  OriginReader(*this).visit(0, size_, [&](std::size_t n, char from) { mask.append(n, from); });
  return mask;
}

void appendEscaped(std::string& out, std::string_view line, const LineOrigin& origin,
                   std::size_t first) {
  const char* const begin = line.data();
  if (origin.form() == LineOrigin::Form::Bytes) {
    const std::string_view mask = origin.bytes().substr(first, line.size());
    if (origin.holdsGroupText()) {
      // Only lines a pattern row rewrote come here: a byte at a time will do.
      for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (mask[i] != kFromRule && referenceFor(c) != nullptr) {
          out += referenceFor(c);
        } else if (mask[i] == kFromGroup && (c == '"' || c == '\'')) {
          out += c == '"' ? "&quot;" : "&#39;";
        } else {
          out += c;
        }
      }
      return;
    }
    appendMarkupEscaped(out, line, [&](const char* at) { return mask[at - begin] == kFromSource; });
    return;
  }
  OriginReader reader(origin);
  if (!origin.holdsGroupText()) {
    // The markup characters found, left to right, are looked up in the
    // origin: the rule's stay.
    appendMarkupEscaped(out, line, [&](const char* at) {
      return reader.at(first + static_cast<std::size_t>(at - begin)) == kFromSource;
    });
    return;
  }
  std::size_t done = 0;
  reader.visit(first, first + line.size(), [&](std::size_t n, char from) {
    const std::string_view part = line.substr(done, n);
    done += n;
    if (from == kFromSource) {
      appendMarkupEscaped(out, part, [](const char*) { return true; });
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
  appendMarkupEscaped(out, text, [](const char*) { return true; });
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
