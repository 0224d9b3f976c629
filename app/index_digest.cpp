// SPDX-License-Identifier: MIT
#include "app/index_digest.h"

#include <array>
#include <charconv>
#include <string_view>

#include "app/manifest.h"

namespace loom {
namespace {

constexpr std::size_t kBlock = 64 * 1024;

// A text after its length, so that no two lists of texts run together alike.
void addField(std::string& to, std::string_view text) {
  std::array<char, 24> length;
  const char* end = std::to_chars(length.data(), length.data() + length.size(), text.size()).ptr;
  to.append(length.data(), static_cast<std::size_t>(end - length.data()))
      .append(1, ':')
      .append(text);
}

}  // namespace

void IndexDigest::add(const IndexEntry& entry) {
  for (const std::string_view field : {entry.group, entry.pageName, entry.title})
    addField(pending_, field);
  ++entries_;
  if (pending_.size() >= kBlock) {
    hash_ = withPending();
    pending_.clear();
  }
}

std::uint64_t IndexDigest::withPending() const {
  // The hash so far leads the block, so that blocks in another order differ.
  std::string block = hashText(hash_);
  block += pending_;
  return pageHashValue(block);
}

std::string IndexDigest::text(const CompiledRules& rules) const {
  std::string all;
  for (const std::string_view field :
       {std::string_view(LOOMWISE_VERSION), rules.codec->name(),
        std::string_view(rules.settings.header), std::string_view(rules.settings.footer)}) {
    addField(all, field);
  }
  for (const auto& [id, texts] : rules.groups) {
    for (const std::string_view field :
         {std::string_view(id), std::string_view(texts.header), std::string_view(texts.footer)})
      addField(all, field);
  }
  addField(all, std::to_string(entries_));
  addField(all, hashText(withPending()));
  return hashText(pageHashValue(all));
}

}  // namespace loom
