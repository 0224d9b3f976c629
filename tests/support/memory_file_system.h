// SPDX-License-Identifier: MIT
#pragma once
// An in-memory FileSystem, listing files in the order added, like a platform's unsorted listing.

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "base/file_system.h"

namespace loom::testing {

class MemoryFileSystem : public FileSystem {
 public:
  void addDirectory(const std::string& dir, bool writable = true);
  void removeDirectory(const std::string& dir);  // with nothing in it checked
  // Adds (or replaces) a file; its directory must have been added.
  void addFile(const std::string& path, const std::string& bytes);
  bool has(const std::string& path) const { return files_.count(path) > 0; }
  const std::string& contents(const std::string& path) const { return files_.at(path); }
  int writes(const std::string& path) const;   // how often `path` was written
  int listings(const std::string& dir) const;  // how often listEntries listed `dir`
  // How many files of `dir` (ending in "/") were read, or how often the file `path` was.
  int reads(const std::string& dir) const {
    std::lock_guard lock(mutex_);
    return reads_.count(dir) ? reads_.at(dir) : 0;
  }

  PathKind kind(const std::string& path) const override;
  std::optional<FileIdentity> identity(const std::string& path) const override;
  bool isWritableDirectory(const std::string& path) const override;
  PlainFiles listPlainFiles(const std::string& dir) const override;
  std::optional<std::vector<DirectoryEntry>> listEntries(const std::string& dir) const override;
  std::vector<std::optional<FileState>> fileStates(
      const std::string& dir, const std::vector<std::string_view>& names) const override;
  // Sets a file's modification time back, as `touch -d` does; its change
  // time still moves on.
  void setModified(const std::string& path, std::int64_t ns);
  std::string readFile(const std::string& path) const override;
  std::optional<std::string> tryReadFile(const std::string& path) const override;
  void writeFileAtomically(const std::string& path, const std::string& bytes) override;
  void removeFile(const std::string& path) override;
  void createDirectories(const std::string& path) override { addDirectory(path); }

 private:
  std::map<std::string, bool> dirs_;  // directory (ending in "/") -> writable
  std::map<std::string, std::string> files_;
  std::vector<std::string> order_;
  std::map<std::string, int> writeCounts_;
  // Per file: its inode and times. The clock moves a second a write, so that
  // no write is racily recent to the next run.
  std::map<std::string, FileState> states_;
  std::int64_t clockNs_ = 1'000'000'000;
  void touch(const std::string& path, std::size_t size);
  mutable std::map<std::string, int> listCounts_;
  mutable std::map<std::string, int> reads_;  // per directory
  mutable std::recursive_mutex mutex_;        // runs with several jobs write from workers
};

}  // namespace loom::testing
