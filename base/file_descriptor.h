// SPDX-License-Identifier: MIT
#pragma once
// Owns one file descriptor of this platform and closes it.

#include <unistd.h>

#include <utility>

namespace loom {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;  // one owner closes it
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  int get() const { return fd_; }
  // Closes now and reports the error; close can be the first to see a
  // failed write on some file systems.
  int closeNow() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

}  // namespace loom
