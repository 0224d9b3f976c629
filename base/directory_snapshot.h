// SPDX-License-Identifier: MIT
#pragma once
// The entries of one directory at one moment, for a run that asks about
// many names in it: a name the listing did not hold needs no look of its
// own, which for a new output directory spares a system call per page. When
// the file system cannot list the directory, every name may be there and is
// looked at as before.
//
//   const DirectorySnapshot out(fs, "site/");
//   if (out.mayHold("lwa.htm")) kind = fs.entryKind("site/lwa.htm");

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "base/file_system.h"

namespace loom {

class DirectorySnapshot {
 public:
  DirectorySnapshot(const FileSystem& fs, const std::string& dir) : names_(fs.listAllNames(dir)) {
    if (names_) std::sort(names_->begin(), names_->end());
  }

  // False only when the listing did not hold `name`; a name with a "/" in it
  // lies below the directory and may be anywhere.
  bool mayHold(const std::string& name) const {
    return !names_ || name.find('/') != std::string::npos ||
           std::binary_search(names_->begin(), names_->end(), name);
  }

 private:
  std::optional<std::vector<std::string>> names_;  // sorted
};

}  // namespace loom
