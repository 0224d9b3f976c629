// SPDX-License-Identifier: MIT
#include "app/look_at_files.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <utility>

#include "base/side_work.h"

namespace loom {

void lookAtFiles(const FileSystem& fs, const std::vector<FileLook*>& looks) {
  // Small enough that a thread starting late finds work left, large enough
  // that opening the directory once a chunk costs little beside its looks.
  constexpr std::size_t kChunk = 64;
  // Fewer names than this are looked at sooner than a thread starts.
  constexpr std::size_t kWorthAThread = 256;
  std::vector<std::pair<FileLook*, std::size_t>> chunks;  // a look and its first name
  std::size_t names = 0;
  for (FileLook* look : looks) {
    look->states.assign(look->names.size(), std::nullopt);
    for (std::size_t first = 0; first < look->names.size(); first += kChunk)
      chunks.emplace_back(look, first);
    names += look->names.size();
  }
  std::atomic<std::size_t> next{0};
  const auto takeChunks = [&] {
    for (std::size_t c = next++; c < chunks.size(); c = next++) {
      const auto [look, first] = chunks[c];
      const std::size_t end = std::min(first + kChunk, look->names.size());
      const auto from = look->names.begin() + static_cast<std::ptrdiff_t>(first);
      const std::vector<std::optional<FileState>> states = fs.fileStates(
          look->dir,
          std::vector<std::string_view>(from, from + static_cast<std::ptrdiff_t>(end - first)));
      std::copy(states.begin(), states.end(),
                look->states.begin() + static_cast<std::ptrdiff_t>(first));
    }
  };
  if (names < kWorthAThread) {
    takeChunks();
    return;
  }
  SideWork helper(takeChunks);
  takeChunks();
  helper.wait();
}

}  // namespace loom
