// SPDX-License-Identifier: MIT
#pragma once
// The entries of one directory at one moment, for a run that asks about
// many names in it: a name the listing did not hold needs no look of its
// own, which for a new output directory spares a system call per page. When
// the file system cannot list the directory, every name may be there and is
// looked at as before.
//
//   const DirectorySnapshot out(fs, "site/");  // site/ holds lwa.htm and img/
//   out.mayHold("lwb.htm")  // false: no look needed
//   out.kindOf("img")       // PathKind::Directory, from the listing alone

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_system.h"

namespace loom {

class DirectorySnapshot {
 public:
  DirectorySnapshot(const FileSystem& fs, const std::string& dir) : entries_(fs.listEntries(dir)) {
    if (entries_) {
      std::sort(entries_->begin(), entries_->end(),
                [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
    }
  }

  // False only when the listing did not hold `name`; a name with a "/" in it
  // lies below the directory and may be anywhere.
  bool mayHold(std::string_view name) const {
    return !entries_ || name.find('/') != std::string_view::npos || find(name) != nullptr;
  }

  // What entryKind() would say of `name` at the listing's moment (Missing
  // for a name it did not hold), or nothing when the listing cannot tell.
  std::optional<PathKind> kindOf(std::string_view name) const {
    if (!entries_ || name.find('/') != std::string_view::npos) return std::nullopt;
    const DirectoryEntry* entry = find(name);
    return entry ? entry->kind : PathKind::Missing;
  }

  // False only when the listing held no name beginning with `prefix`.
  bool mayHoldNameStartingWith(std::string_view prefix) const {
    if (!entries_) return true;
    const auto it = std::lower_bound(
        entries_->begin(), entries_->end(), prefix,
        [](const DirectoryEntry& e, std::string_view name) { return e.name < name; });
    return it != entries_->end() && it->name.starts_with(prefix);
  }

 private:
  const DirectoryEntry* find(std::string_view name) const {
    const auto it =
        std::lower_bound(entries_->begin(), entries_->end(), name,
                         [](const DirectoryEntry& e, std::string_view n) { return e.name < n; });
    return it != entries_->end() && it->name == name ? &*it : nullptr;
  }

  std::optional<std::vector<DirectoryEntry>> entries_;  // sorted by name
};

}  // namespace loom
