// SPDX-License-Identifier: MIT
#pragma once
// What a run's index page is made of, gathered as the run adds its
// entries: kept in the list of pages beside the index page's state, it
// tells a later run that the index page there is the one it would write,
// which then is neither sorted nor written again.
//
//   IndexDigest digest;
//   digest.add({"TXT", "lwnotes.htm", "Notes"});  // in the run's order
//   digest.text(rules)  // 16 hexadecimal digits, as the list holds them

#include <cstdint>
#include <string>

#include "app/rules_compiler.h"
#include "index/index_page.h"

namespace loom {

class IndexDigest {
 public:
  // In the order the run adds the entries to its IndexList: entries that
  // sort as equal keep that order on the page.
  void add(const IndexEntry& entry);
  // With what else shapes the page: the header and footer, the groups'
  // texts, the encoding (which orders the entries) and the program's version.
  std::string text(const CompiledRules& rules) const;

 private:
  // The hash of the blocks so far and `pending_`, the hash leading.
  std::uint64_t withPending() const;

  // The entries, each field after its length, hashed a block at a time so
  // that a run over many files holds no copy of them all.
  std::string pending_;
  std::uint64_t hash_ = 0;
  std::uint64_t entries_ = 0;
};

}  // namespace loom
