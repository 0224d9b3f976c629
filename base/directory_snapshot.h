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
#include <unordered_map>
#include <vector>

#include "base/file_system.h"

namespace loom {

class DirectorySnapshot {
 public:
  DirectorySnapshot(const FileSystem& fs, const std::string& dir) : entries_(fs.listEntries(dir)) {
    if (!entries_) return;
    // Looked up by name once or twice for each page of a run: hashed, as a
    // directory of a site holds tens of thousands of names.
    kinds_.reserve(entries_->size());
    for (const DirectoryEntry& e : *entries_) kinds_.emplace(e.name, e.kind);
  }
  // The index holds views of the entries' names, which a move keeps where
  // they are and a copy would not.
  DirectorySnapshot(DirectorySnapshot&&) = default;
  DirectorySnapshot& operator=(DirectorySnapshot&&) = default;
  DirectorySnapshot(const DirectorySnapshot&) = delete;
  DirectorySnapshot& operator=(const DirectorySnapshot&) = delete;

  // False only when the listing did not hold `name`; a name with a "/" in it
  // lies below the directory and may be anywhere.
  bool mayHold(std::string_view name) const {
    return !entries_ || name.find('/') != std::string_view::npos || kinds_.count(name) != 0;
  }

  // What entryKind() would say of `name` at the listing's moment (Missing
  // for a name it did not hold), or nothing when the listing cannot tell.
  std::optional<PathKind> kindOf(std::string_view name) const {
    if (!entries_ || name.find('/') != std::string_view::npos) return std::nullopt;
    const auto it = kinds_.find(name);
    return it == kinds_.end() ? PathKind::Missing : it->second;
  }

  // The names of the entries that are not plain files, or whose kind the
  // listing does not tell; nothing when the directory could not be listed.
  std::optional<std::vector<std::string_view>> namesOfOtherThanFiles() const {
    if (!entries_) return std::nullopt;
    std::vector<std::string_view> names;
    for (const DirectoryEntry& e : *entries_) {
      if (e.kind != PathKind::RegularFile) names.push_back(e.name);
    }
    return names;
  }

  // False only when the listing held no name beginning with `prefix`.
  bool mayHoldNameStartingWith(std::string_view prefix) const {
    return !entries_ || std::any_of(entries_->begin(), entries_->end(),
                                    [prefix](const auto& e) { return e.name.starts_with(prefix); });
  }

 private:
  std::optional<std::vector<DirectoryEntry>> entries_;
  std::unordered_map<std::string_view, std::optional<PathKind>> kinds_;  // of entries_, by name
};

}  // namespace loom
