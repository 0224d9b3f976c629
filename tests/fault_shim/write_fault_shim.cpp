// SPDX-License-Identifier: MIT
// Preloaded by the fault tests. Once LOOMWISE_FAULT_AFTER_BYTES bytes have gone into files of
// LOOMWISE_FAULT_DIR, write() fails with ENOSPC, the write that crosses the limit cut short
// first, as on a disk that fills up. LOOMWISE_WRITE_DELAY_MS delays every write there, so that
// a test can signal a run while it goes. LOOMWISE_NO_UNNAMED_FILES makes open() refuse
// O_TMPFILE, as a file system without unnamed files does; LOOMWISE_NO_DIRECT_LINK makes
// linkat() refuse to link a descriptor itself, as it does for a user without the privilege;
// LOOMWISE_NO_LINK makes it refuse every link, as a file system without hard links does.
// LOOMWISE_FAULT_READS makes read() of a file in LOOMWISE_FAULT_DIR fail with EIO, as a
// failing disk does.

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <string>

namespace {

struct Fault {
  std::string dir;  // real path and "/"; empty when no fault is asked for
  long long afterBytes = LLONG_MAX;
  long delayMs = 0;
  bool failReads = false;
};

const Fault& fault() {
  static const Fault f = [] {
    Fault out;
    const char* dir = ::getenv("LOOMWISE_FAULT_DIR");
    char real[PATH_MAX];
    if (dir == nullptr || ::realpath(dir, real) == nullptr) return out;
    out.dir = std::string(real) + "/";
    if (const char* after = ::getenv("LOOMWISE_FAULT_AFTER_BYTES")) out.afterBytes = ::atoll(after);
    if (const char* delay = ::getenv("LOOMWISE_WRITE_DELAY_MS")) out.delayMs = ::atol(delay);
    out.failReads = ::getenv("LOOMWISE_FAULT_READS") != nullptr;
    return out;
  }();
  return f;
}

bool inFaultDir(int fd) {
  char target[PATH_MAX];
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
  return n > 0 && std::string(target, static_cast<std::size_t>(n)).starts_with(fault().dir);
}

std::atomic<long long> written{0};

}  // namespace

extern "C" ssize_t write(int fd, const void* buf, size_t count) {
  using WriteFn = ssize_t (*)(int, const void*, size_t);
  static const auto real = reinterpret_cast<WriteFn>(::dlsym(RTLD_NEXT, "write"));
  if (fault().dir.empty() || !inFaultDir(fd)) return real(fd, buf, count);
  // The whole delay, also when a signal comes in the middle of it.
  timespec left{fault().delayMs / 1000, fault().delayMs % 1000 * 1000000L};
  while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
  const long long room = fault().afterBytes - written.load();
  if (room <= 0) {
    errno = ENOSPC;
    return -1;
  }
  const ssize_t n = real(fd, buf, std::min(count, static_cast<size_t>(room)));
  if (n > 0) written += n;
  return n;
}

extern "C" ssize_t read(int fd, void* buf, size_t count) {
  using ReadFn = ssize_t (*)(int, void*, size_t);
  static const auto real = reinterpret_cast<ReadFn>(::dlsym(RTLD_NEXT, "read"));
  if (fault().failReads && inFaultDir(fd)) {
    errno = EIO;
    return -1;
  }
  return real(fd, buf, count);
}

namespace {

int openUnlessUnnamed(const char* path, int flags, std::va_list args) {
  using OpenFn = int (*)(const char*, int, ...);
  static const auto real = reinterpret_cast<OpenFn>(::dlsym(RTLD_NEXT, "open"));
  const bool unnamed = (flags & O_TMPFILE) == O_TMPFILE;
  const mode_t mode = (flags & O_CREAT) != 0 || unnamed ? va_arg(args, mode_t) : 0;
  if (unnamed && ::getenv("LOOMWISE_NO_UNNAMED_FILES") != nullptr) {
    errno = EOPNOTSUPP;
    return -1;
  }
  return real(path, flags, mode);
}

}  // namespace

extern "C" int open(const char* path, int flags, ...) {
  std::va_list args;
  va_start(args, flags);
  const int fd = openUnlessUnnamed(path, flags, args);
  va_end(args);
  return fd;
}

// The same function under the name a program built for large files calls.
extern "C" int open64(const char* path, int flags, ...) __attribute__((alias("open")));

extern "C" int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
  using LinkFn = int (*)(int, const char*, int, const char*, int);
  static const auto real = reinterpret_cast<LinkFn>(::dlsym(RTLD_NEXT, "linkat"));
  if ((flags & AT_EMPTY_PATH) != 0 && ::getenv("LOOMWISE_NO_DIRECT_LINK") != nullptr) {
    errno = ENOENT;
    return -1;
  }
  if (::getenv("LOOMWISE_NO_LINK") != nullptr) {
    errno = EPERM;
    return -1;
  }
  return real(fromDir, from, toDir, to, flags);
}
