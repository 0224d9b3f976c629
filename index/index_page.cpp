#include "index/index_page.h"

#include <algorithm>
#include <string_view>

#include "base/error.h"

namespace loom {

void IndexList::add(IndexEntry entry) {
  entries_.push_back(std::move(entry));
  sorted_ = false;
}

const std::vector<IndexEntry>& IndexList::entries() const {
  if (!sorted_ && entries_.size() < 2) sorted_ = true;  // nothing to sort, no key to copy
  if (!sorted_) {
    std::vector<std::pair<std::string, std::size_t>> keys;
    keys.reserve(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i) keys.emplace_back(entries_[i].joined(), i);
    // A stable sort keeps equal entries in the order they were added.
    std::stable_sort(keys.begin(), keys.end(), [this](const auto& a, const auto& b) {
      return codec_->compareNoCase(a.first, b.first) < 0;
    });
    std::vector<IndexEntry> sorted;
    sorted.reserve(entries_.size());
    for (const auto& key : keys) sorted.push_back(std::move(entries_[key.second]));
    entries_.swap(sorted);
    sorted_ = true;
  }
  return entries_;
}

std::string linkAddress(const std::string& pageName) {
  static const char* hex = "0123456789ABCDEF";
  // Bytes a browser would read as something else than part of the name: the
  // quote ends the attribute, "#" and "?" start a fragment or a query, "%"
  // an escape, "&" an entity, "\\" a directory separator.
  const auto plain = [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b >= 0x20 && b < 0x7F && std::string_view("\"#%&?\\").find(c) == std::string_view::npos;
  };
  std::string out;
  for (char c : pageName) {
    const auto b = static_cast<unsigned char>(c);
    if (plain(c)) {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(hex[b >> 4]);
      out.push_back(hex[b & 15]);
    }
  }
  return out;
}

std::string WriteIndexPage(const std::vector<IndexEntry>& entries, const std::string& header,
                           const std::string& footer, const GroupLookup& lookupGroup) {
  std::string page;
  // Room for the whole page at once: a page of huge titles is not held twice
  // while it grows. Group texts are few and short: a sixteenth covers them.
  std::size_t size = header.size() + footer.size() + 4096;
  for (const IndexEntry& entry : entries)
    size += entry.title.size() + 3 * entry.pageName.size() + 24;
  size += size / 16;
  page.reserve(size);
  auto appendLine = [&page](std::string_view item) {
    page.append(item);
    page.append("\r\n");
  };
  appendLine(header);
  const std::string* previousGroup = nullptr;
  std::string groupFooter;
  for (const IndexEntry& entry : entries) {
    const bool sameGroup = previousGroup ? *previousGroup == entry.group : entry.group.empty();
    if (!sameGroup) {
      if (!groupFooter.empty()) appendLine(groupFooter);
      const std::optional<GroupTexts> texts = lookupGroup(entry.group);
      if (!texts) {
        throw LoomError(ErrorKind::Rules, "Groups has no row for \"" + entry.group + "\"");
      }
      groupFooter = texts->footer;
      appendLine(texts->header);
    }
    page.append("<A HREF=\"");
    page.append(linkAddress(entry.pageName));
    page.append("\">");
    page.append(entry.title);
    page.append("</a><BR>\r\n");
    previousGroup = &entry.group;
  }
  if (!groupFooter.empty()) appendLine(groupFooter);
  appendLine(footer);
  return page;
}

}  // namespace loom
