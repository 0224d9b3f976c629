// SPDX-License-Identifier: MIT
#pragma once
// Word of changes in directories, behind a small interface next to the
// file-system one, so that the watch loop does not depend on the platform's
// notification API.

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace loom {

struct FileChange {
  std::string dir;   // as given to watchDirectory
  std::string name;  // the entry that changed; empty when the directory itself went or
                     // changes were lost (the watcher's queue overflowed): assume anything changed
};

class FileWatcher {
 public:
  virtual ~FileWatcher() = default;
  // Reports entries of `dir` created, written, removed, renamed in or out,
  // or whose permissions change. Calling it again for the same path picks up
  // a directory that was replaced since.
  virtual void watchDirectory(const std::string& dir) = 0;
  // Waits until changes arrive or `timeout` passes; returns them (none on
  // timeout or after wake()).
  virtual std::vector<FileChange> wait(std::chrono::milliseconds timeout) = 0;
  // Makes the wait in progress, or the next one, return at once. Safe to
  // call from a signal handler.
  virtual void wake() = 0;
};

// Watches through the platform's notifications (inotify).
std::unique_ptr<FileWatcher> makeFileWatcher();

}  // namespace loom
