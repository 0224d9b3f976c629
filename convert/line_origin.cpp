// SPDX-License-Identifier: MIT
#include "convert/line_origin.h"

#include <cstring>

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

}  // namespace

void appendEscaped(std::string& out, std::string_view line, std::string_view origin, bool groups) {
  if (groups) {
    // Only lines a pattern row rewrote come here: a byte at a time will do.
    for (std::size_t i = 0; i < line.size(); ++i) {
      const char c = line[i];
      const char from = origin[i];
      if (from != kFromRule && referenceFor(c) != nullptr) {
        out += referenceFor(c);
      } else if (from == kFromGroup && (c == '"' || c == '\'')) {
        out += c == '"' ? "&quot;" : "&#39;";
      } else {
        out += c;
      }
    }
    return;
  }
  // Most lines hold no markup character from the source: the search looks at
  // sixteen bytes a step and copies the stretches between in one piece.
  const char* const begin = line.data();
  const auto fromSource = [&](const char* at) { return origin[at - begin] == kFromSource; };
  std::size_t from = 0;
  while (from < line.size()) {
    const char* at = findByStart(begin + from, begin + line.size() - 1, "&<>", fromSource);
    if (at == nullptr) break;
    const auto i = static_cast<std::size_t>(at - begin);
    out.append(line, from, i - from).append(referenceFor(*at));
    from = i + 1;
  }
  out.append(line, from);
}

std::string escapeMarkup(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  appendEscaped(out, text, sourceOrigin(text.size()));
  return out;
}

void trimInPlace(std::string& line, std::string* origin) {
  // Rows that cut a line at a marker trim every line they meet, and most
  // lines have no space at either end.
  if (line.empty() || (line.front() != ' ' && line.back() != ' ')) return;
  const std::string_view kept = trimSpaces(line);
  const std::size_t first = kept.empty() ? 0 : static_cast<std::size_t>(kept.data() - line.data());
  const std::size_t size = kept.size();
  line.erase(first + size);
  line.erase(0, first);
  if (origin) {
    origin->erase(first + size);
    origin->erase(0, first);
  }
}

}  // namespace loom
