#include "convert/line_origin.h"

#include <cstring>

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

void appendEscaped(std::string& out, std::string_view line, std::string_view origin) {
  std::size_t from = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char* reference = referenceFor(line[i]);
    if (reference == nullptr || origin[i] != kFromSource) continue;
    out.append(line, from, i - from).append(reference);
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

}  // namespace loom
