// Preloaded into loomwise-batch by the fault tests: makes write() fail with
// the errno named by LOOMWISE_FAULT_ERRNO ("ENOSPC" or "EIO") once
// LOOMWISE_FAULT_AFTER_BYTES bytes have gone into files of the directory
// LOOMWISE_FAULT_DIR. The write that crosses the limit is cut short first, so
// the failure comes in the middle of a file, as on a disk that fills up.
// LOOMWISE_WRITE_DELAY_MS makes every write there wait that long first, so
// that a test can signal a run while it goes.

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

using WriteFn = ssize_t (*)(int, const void*, size_t);

struct Fault {
  bool active = false;
  std::string dir;  // real path, ending in "/"
  int error = EIO;
  long long afterBytes = 0;
  unsigned delayMs = 0;
};

const Fault& fault() {
  static const Fault f = [] {
    Fault out;
    const char* dir = ::getenv("LOOMWISE_FAULT_DIR");
    const char* after = ::getenv("LOOMWISE_FAULT_AFTER_BYTES");
    const char* error = ::getenv("LOOMWISE_FAULT_ERRNO");
    const char* delay = ::getenv("LOOMWISE_WRITE_DELAY_MS");
    char real[PATH_MAX];
    if (dir == nullptr || (after == nullptr && delay == nullptr) ||
        ::realpath(dir, real) == nullptr) {
      return out;
    }
    out.active = true;
    out.dir = std::string(real) + "/";
    out.afterBytes = after != nullptr ? ::atoll(after) : LLONG_MAX;
    out.delayMs = delay != nullptr ? static_cast<unsigned>(::atoi(delay)) : 0;
    if (error != nullptr && std::strcmp(error, "ENOSPC") == 0) out.error = ENOSPC;
    return out;
  }();
  return f;
}

bool inFaultDir(int fd) {
  char link[64];
  char target[PATH_MAX];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = ::readlink(link, target, sizeof target - 1);
  if (n <= 0) return false;
  return std::string(target, static_cast<std::size_t>(n)).rfind(fault().dir, 0) == 0;
}

std::atomic<long long> written{0};

}  // namespace

extern "C" ssize_t write(int fd, const void* buf, size_t count) {
  static const auto real = reinterpret_cast<WriteFn>(::dlsym(RTLD_NEXT, "write"));
  if (!fault().active || !inFaultDir(fd)) return real(fd, buf, count);
  if (fault().delayMs > 0) {
    // The whole delay, also when a signal comes in the middle of it.
    timespec left{static_cast<time_t>(fault().delayMs / 1000),
                  static_cast<long>(fault().delayMs % 1000) * 1000000L};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
  }
  const long long left = fault().afterBytes - written.load();
  if (left <= 0) {
    errno = fault().error;
    return -1;
  }
  const size_t now = count < static_cast<size_t>(left) ? count : static_cast<size_t>(left);
  const ssize_t n = real(fd, buf, now);
  if (n > 0) written += n;
  return n;
}
