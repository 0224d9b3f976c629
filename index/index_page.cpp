// SPDX-License-Identifier: MIT
#include "index/index_page.h"

#include <algorithm>
#include <string_view>

#include "base/error.h"

namespace loom {

namespace {

// Large enough that a block's unused tail is small beside it, small enough
// that a run of a few files does not reserve much.
constexpr std::size_t kBlockSize = 64 * 1024;

}  // namespace

void IndexList::add(const IndexEntry& entry) {
  const std::size_t size = entry.group.size() + 3 + entry.pageName.size() + 3 + entry.title.size();
  if (blocks_.empty() || blocks_.back().capacity() - blocks_.back().size() < size) {
    blocks_.emplace_back().reserve(std::max(size, kBlockSize));
  }
  std::string& block = blocks_.back();
  const std::size_t at = block.size();
  block.append(entry.group).append("-=-").append(entry.pageName).append("-+-").append(entry.title);
  slots_.push_back({block.data() + at, static_cast<std::uint32_t>(entry.group.size()),
                    static_cast<std::uint32_t>(entry.pageName.size()), entry.title.size()});
  sorted_ = false;
}

std::string_view IndexList::joined(const Slot& slot) {
  return {slot.text, slot.groupLength + 3 + slot.pageLength + 3 + slot.titleLength};
}

IndexEntry IndexList::operator[](std::size_t k) const {
  if (!sorted_) {
    // Stable, so that entries that compare equal keep the order they were
    // added in: those already sorted are in that order, and later ones
    // follow them.
    std::stable_sort(slots_.begin(), slots_.end(), [this](const Slot& a, const Slot& b) {
      return codec_->compareNoCase(joined(a), joined(b)) < 0;
    });
    sorted_ = true;
  }
  const Slot& slot = slots_[k];
  const std::string_view text = joined(slot);
  return {text.substr(0, slot.groupLength), text.substr(slot.groupLength + 3, slot.pageLength),
          text.substr(slot.groupLength + 3 + slot.pageLength + 3)};
}

namespace {

// Bytes a browser would read as something else than part of the name: the
// quote ends the attribute, "#" and "?" start a fragment or a query, "%" an
// escape, "&" an entity, "\\" a directory separator.
bool plainInLink(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b >= 0x20 && b < 0x7F && std::string_view("\"#%&?\\").find(c) == std::string_view::npos;
}

std::size_t linkAddressSize(std::string_view pageName) {
  return pageName.size() + 2 +
         2 * static_cast<std::size_t>(std::count_if(pageName.begin(), pageName.end(),
                                                    [](char c) { return !plainInLink(c); }));
}

}  // namespace

std::string linkAddress(std::string_view pageName) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  // A name with a ":" could read as a scheme ("lw:30 no.htm"); one that
  // begins in this directory cannot.
  if (pageName.find(':') != std::string_view::npos) out = "./";
  for (char c : pageName) {
    const auto b = static_cast<unsigned char>(c);
    if (plainInLink(c)) {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(hex[b >> 4]);
      out.push_back(hex[b & 15]);
    }
  }
  return out;
}

std::string WriteIndexPage(const IndexList& entries, const std::string& header,
                           const std::string& footer, const GroupLookup& lookupGroup) {
  std::string page;
  // Room for the whole page at once: a page of huge titles is not held twice
  // while it grows. Group texts are few and short: a sixteenth covers them.
  std::size_t size = header.size() + footer.size() + 4096;
  for (std::size_t k = 0; k < entries.size(); ++k)
    size += entries[k].title.size() + linkAddressSize(entries[k].pageName) + 21;
  size += size / 16;
  page.reserve(size);
  auto appendLine = [&page](std::string_view item) {
    page.append(item);
    page.append("\r\n");
  };
  appendLine(header);
  std::optional<std::string_view> previousGroup;
  std::string groupFooter;
  for (std::size_t k = 0; k < entries.size(); ++k) {
    const IndexEntry entry = entries[k];
    const bool sameGroup = previousGroup ? *previousGroup == entry.group : entry.group.empty();
    if (!sameGroup) {
      if (!groupFooter.empty()) appendLine(groupFooter);
      const std::string group(entry.group);
      const std::optional<GroupTexts> texts = lookupGroup(group);
      if (!texts) throw LoomError(ErrorKind::Rules, "Groups has no row for \"" + group + "\"");
      groupFooter = texts->footer;
      appendLine(texts->header);
    }
    page.append("<A HREF=\"");
    page.append(linkAddress(entry.pageName));
    page.append("\">");
    page.append(entry.title);
    page.append("</a><BR>\r\n");
    previousGroup = entry.group;
  }
  if (!groupFooter.empty()) appendLine(groupFooter);
  appendLine(footer);
  return page;
}

}  // namespace loom
