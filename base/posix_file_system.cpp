#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstring>
#include <string_view>

#include "base/error.h"
#include "base/file_system.h"

namespace loom {
namespace {

LoomError ioError(const std::string& what, const std::string& path, int err) {
  return LoomError(ErrorKind::Io, what + " \"" + path + "\": " + std::strerror(err));
}

// Owns one file descriptor.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;  // one owner closes it
  FileDescriptor& operator=(const FileDescriptor&) = delete;
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

mode_t newFileMode() {
  // New pages get the same permissions as any file the user creates.
  static const mode_t mode = [] {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
  }();
  return mode;
}

std::string directoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

class PosixFileSystem final : public FileSystem {
 public:
  PathKind kind(const std::string& path) const override {
    // "file.txt/" is a file with a slash after it, not a missing directory.
    std::string bare = path;
    while (bare.size() > 1 && bare.back() == '/') bare.pop_back();
    struct stat st {};
    if (::stat(bare.c_str(), &st) != 0) return PathKind::Missing;
    if (S_ISDIR(st.st_mode)) return PathKind::Directory;
    if (S_ISREG(st.st_mode)) return PathKind::RegularFile;
    return PathKind::Other;
  }

  bool isWritableDirectory(const std::string& path) const override {
    return kind(path) == PathKind::Directory && ::access(path.c_str(), W_OK | X_OK) == 0;
  }

  std::vector<std::string> listPlainFiles(const std::string& dir) const override {
    std::unique_ptr<DIR, int (*)(DIR*)> handle(::opendir(dir.c_str()), &::closedir);
    if (!handle) throw ioError("Cannot list the input directory", dir, errno);
    std::vector<std::string> names;
    const std::string prefix = dir.empty() || dir.back() == '/' ? dir : dir + "/";
    for (;;) {
      // readdir reports an error only through errno, which the stat of a
      // dangling link below sets too: clear it before every call.
      errno = 0;
      const dirent* entry = ::readdir(handle.get());
      if (entry == nullptr) break;
      const std::string name = entry->d_name;
      if (name.empty() || name[0] == '.') continue;
      bool regular = entry->d_type == DT_REG;
      if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
        regular = kind(prefix + name) == PathKind::RegularFile;
      }
      if (regular) names.push_back(name);
    }
    if (errno != 0) throw ioError("Cannot list the input directory", dir, errno);
    return names;
  }

  std::string readFile(const std::string& path) const override {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) throw ioError("Cannot open the input file", path, errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) throw ioError("Cannot read the input file", path, errno);
    std::string bytes;
    // One byte more than the size: the read that meets the end then needs no
    // larger buffer, which would copy the file and clear 64 KiB each time.
    bytes.resize(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 0) + 1);
    std::size_t filled = 0;
    for (;;) {
      if (filled == bytes.size()) bytes.resize(bytes.size() + 65536);
      const ssize_t n = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
      if (n < 0) {
        if (errno == EINTR) continue;
        throw ioError("Cannot read the input file", path, errno);
      }
      if (n == 0) break;
      filled += static_cast<std::size_t>(n);
    }
    bytes.resize(filled);
    return bytes;
  }

  std::optional<std::string> tryReadFile(const std::string& path) const override {
    if (kind(path) != PathKind::RegularFile) return std::nullopt;
    try {
      return readFile(path);
    } catch (const LoomError&) {
      return std::nullopt;
    }
  }

  void writeFileAtomically(const std::string& path, const std::string& bytes) override {
    // The name carries the process id, so that a later run can tell the
    // leftovers of a killed run from the files of one still writing.
    std::string temp = directoryOf(path) + "/" + std::string(temporaryPrefix()) +
                       std::to_string(::getpid()) + "-XXXXXX";
    FileDescriptor fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd.get() < 0) throw ioError("Cannot create a file in the output directory", path, errno);
    // From here on, every way out removes the temporary file unless the
    // rename has put it into place.
    struct TempGuard {
      const std::string& name;
      bool keep = false;
      ~TempGuard() {
        if (!keep) ::unlink(name.c_str());
      }
    } guard{temp};
    ::fchmod(fd.get(), newFileMode());
    std::size_t written = 0;
    while (written < bytes.size()) {
      const ssize_t n = ::write(fd.get(), bytes.data() + written, bytes.size() - written);
      if (n < 0) {
        if (errno == EINTR) continue;
        throw ioError("Cannot write the page", path, errno);
      }
      written += static_cast<std::size_t>(n);
    }
    if (fd.closeNow() != 0) throw ioError("Cannot write the page", path, errno);
    if (::rename(temp.c_str(), path.c_str()) != 0) {
      throw ioError("Cannot put the page in place", path, errno);
    }
    guard.keep = true;
  }

  void removeStaleTemporaryFiles(const std::string& dir) override {
    std::unique_ptr<DIR, int (*)(DIR*)> handle(::opendir(dir.c_str()), &::closedir);
    if (!handle) return;
    const std::string prefix = dir.empty() || dir.back() == '/' ? dir : dir + "/";
    const std::string_view marker = temporaryPrefix();
    while (const dirent* entry = ::readdir(handle.get())) {
      const std::string_view name = entry->d_name;
      if (name.substr(0, marker.size()) != marker) continue;
      const std::string_view rest = name.substr(marker.size());
      pid_t pid = 0;
      const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
      if (error != std::errc() || pid <= 0 || end == rest.data() + rest.size() || *end != '-') {
        continue;
      }
      if (::kill(pid, 0) == 0 || errno != ESRCH) continue;  // that process still runs
      ::unlink((prefix + std::string(name)).c_str());
    }
  }

 private:
  static std::string_view temporaryPrefix() { return ".loomwise-"; }
};

}  // namespace

std::unique_ptr<FileSystem> makePosixFileSystem() { return std::make_unique<PosixFileSystem>(); }

}  // namespace loom
