// SPDX-License-Identifier: MIT
#pragma once
// The states of many files (see FileSystem::fileStates), looked at in
// chunks taken in turn by this thread and by one more as soon as that one
// has started. A second thread may start late, well after it was asked for
// on a busy or virtual machine: then this thread takes on its share, and
// neither waits for the other with work left.
//
//   FileLook sources{"/in/", {"a.txt", "b.txt"}}, pages{"/out/", {"lwa.htm", "lwb.htm"}};
//   lookAtFiles(fs, {&sources, &pages});
//   // sources.states[1]: the state of /in/b.txt, or none when it is gone

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_system.h"

namespace loom {

struct FileLook {
  std::string dir;
  std::vector<std::string_view> names;
  std::vector<std::optional<FileState>> states;  // one a name, filled in by lookAtFiles
};

void lookAtFiles(const FileSystem& fs, const std::vector<FileLook*>& looks);

}  // namespace loom
