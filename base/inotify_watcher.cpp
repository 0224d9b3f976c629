// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "base/error.h"
#include "base/file_watcher.h"

namespace loom {
namespace {

// Not IN_CLOSE_WRITE: closing a file opened for writing reports it even when
// nothing was written, as a rule database opened for reading can be, which
// would make a watch run again after each of its own runs.
constexpr std::uint32_t kEntryEvents = IN_CREATE | IN_MODIFY | IN_DELETE | IN_MOVED_FROM |
                                       IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;

class InotifyWatcher final : public FileWatcher {
 public:
  InotifyWatcher() : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ < 0)
      throw LoomError(ErrorKind::Io,
                      std::string("Cannot watch for changes: ") + std::strerror(errno));
    if (::pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0) {
      const int err = errno;
      ::close(fd_);
      throw LoomError(ErrorKind::Io,
                      std::string("Cannot watch for changes: ") + std::strerror(err));
    }
  }
  ~InotifyWatcher() override {
    ::close(fd_);
    ::close(wake_[0]);
    ::close(wake_[1]);
  }
  InotifyWatcher(const InotifyWatcher&) = delete;  // one owner closes the descriptors
  InotifyWatcher& operator=(const InotifyWatcher&) = delete;

  void watchDirectory(const std::string& dir) override {
    const int wd = ::inotify_add_watch(fd_, dir.c_str(), kEntryEvents | IN_ONLYDIR);
    if (wd < 0) {
      throw LoomError(ErrorKind::Io,
                      "Cannot watch the directory \"" + dir + "\": " + std::strerror(errno));
    }
    dirs_[wd] = dir;
  }

  std::vector<FileChange> wait(std::chrono::milliseconds timeout) override {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    const int ready = ::poll(fds, 2, static_cast<int>(timeout.count()));
    std::vector<FileChange> changes;
    if (ready <= 0) return changes;  // timeout, or a signal: the caller looks again
    if (fds[1].revents) {
      char drain[64];
      while (::read(wake_[0], drain, sizeof drain) > 0) {
      }
      return changes;
    }
    alignas(inotify_event) char buffer[16384];
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n <= 0) break;
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        if (event->mask & IN_IGNORED) {
          dirs_.erase(event->wd);
          continue;
        }
        const auto dir = dirs_.find(event->wd);
        FileChange change;
        if (dir != dirs_.end()) change.dir = dir->second;
        if (event->len > 0 && !(event->mask & (IN_DELETE_SELF | IN_MOVE_SELF))) {
          change.name = event->name;
          if (isUnnamedFile(change, event->mask)) continue;
        }
        changes.push_back(std::move(change));
      }
    }
    return changes;
  }

  // A file made without a name in the directory (as every page is until it
  // is complete) reports its writes under a name the kernel makes up, "#"
  // and its inode number, which is no entry of the directory: nobody can
  // have changed such a file but the writer, and its naming reports itself.
  static bool isUnnamedFile(const FileChange& change, std::uint32_t mask) {
    if ((mask & ~(IN_MODIFY | IN_ATTRIB)) != 0 || change.name.size() < 2 || change.name[0] != '#' ||
        change.name.find_first_not_of("0123456789", 1) != std::string::npos) {
      return false;
    }
    struct stat st {};
    return ::lstat((change.dir + "/" + change.name).c_str(), &st) != 0 && errno == ENOENT;
  }

  void wake() override {
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(wake_[1], &byte, 1);
  }

 private:
  int fd_;
  int wake_[2] = {-1, -1};
  std::map<int, std::string> dirs_;  // watch descriptor -> directory
};

}  // namespace

std::unique_ptr<FileWatcher> makeFileWatcher() { return std::make_unique<InotifyWatcher>(); }

}  // namespace loom
