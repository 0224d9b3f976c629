#include "base/text.h"

#include <cstring>

namespace loom {

std::string_view trimSpaces(std::string_view s) {
  const std::size_t first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const std::size_t last = s.find_last_not_of(' ');
  return s.substr(first, last - first + 1);
}

bool LineReader::next(std::string_view& line) {
  if (rest_.empty()) return false;
  const void* cr = std::memchr(rest_.data(), '\r', rest_.size());
  if (cr == nullptr) {
    line = rest_;
    rest_ = {};
    return true;
  }
  const std::size_t end = static_cast<const char*>(cr) - rest_.data();
  line = rest_.substr(0, end);
  std::size_t skip = end + 1;
  if (skip < rest_.size() && rest_[skip] == '\n') ++skip;
  rest_.remove_prefix(skip);
  return true;
}

}  // namespace loom
