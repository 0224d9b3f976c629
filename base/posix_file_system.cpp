// SPDX-License-Identifier: MIT
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string_view>
#include <utility>

#include "base/error.h"
#include "base/file_descriptor.h"
#include "base/file_system.h"

namespace loom {
namespace {

LoomError ioError(const std::string& what, const std::string& path, int err) {
  return LoomError(ErrorKind::Io, what + " \"" + path + "\": " + std::strerror(err));
}

// The permissions of a file written: those of any file the user creates
// (0666 less the umask, which the kernel takes off as it makes the file, so
// this process never reads or changes its process-wide umask), or exactly
// those of the file it replaces.
struct FileMode {
  bool kept = false;
  mode_t mode = 0666;
};
constexpr FileMode kNewFileMode{};
FileMode keptMode(mode_t mode) { return {true, mode}; }

const char* kindName(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a plain file";
}

// mkostemp's six letters and digits after the process id.
constexpr std::string_view kTemporarySuffix = "XXXXXX";

// The process whose write made a file of this name, or nothing when no
// write of this program makes such a name.
std::optional<pid_t> temporaryOwner(std::string_view name) {
  const std::string_view marker = kTemporaryFilePrefix;
  if (name.substr(0, marker.size()) != marker) return std::nullopt;
  const std::string_view rest = name.substr(marker.size());
  const std::size_t dash = rest.find('-');
  if (dash == std::string_view::npos || dash == 0 || rest[0] == '0' ||
      rest.size() - dash - 1 != kTemporarySuffix.size()) {
    return std::nullopt;
  }
  pid_t pid = 0;
  const auto [end, error] = std::from_chars(rest.data(), rest.data() + dash, pid);
  if (error != std::errc() || end != rest.data() + dash || pid <= 0) return std::nullopt;
  for (const char c : rest.substr(dash + 1)) {
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!alnum) return std::nullopt;
  }
  return pid;
}

// How the failures of a write speak of the file.
struct WriteWords {
  const char* create;
  const char* write;
  const char* rename;
};
constexpr WriteWords kPageWords{"Cannot create a file in the output directory",
                                "Cannot write the page", "Cannot put the page in place"};
constexpr WriteWords kNamedFileWords{"Cannot create a temporary file beside", "Cannot write",
                                     "Cannot replace"};

// This process's id, asked once: it names every temporary file.
pid_t processId() {
  static const pid_t pid = ::getpid();
  return pid;
}

// Gives `name` (to which it appends six letters or digits, as mkostemp
// does) to a new file made by `make(name)`, which returns a descriptor, 0 or
// -1 with errno; a name already taken is tried again with other letters.
template <class Make>
int withTemporaryName(std::string& name, Make&& make) {
  static constexpr std::string_view kAlphabet =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static std::atomic<std::uint64_t> counter{static_cast<std::uint64_t>(std::random_device{}())
                                            << 20};
  const std::size_t at = name.size();
  name.append(kTemporarySuffix);
  for (int attempt = 0; attempt < 1000; ++attempt) {
    // A counter spread by a multiplier: names differ between processes
    // (the seed) and between the threads of one (the counter).
    std::uint64_t bits = (counter++ + 1) * 0x9E3779B97F4A7C15ull;
    for (std::size_t k = 0; k < kTemporarySuffix.size(); ++k) {
      name[at + k] = kAlphabet[(bits >> 58) % kAlphabet.size()];
      bits <<= 6;
    }
    const int result = make(name);
    if (result >= 0 || errno != EEXIST) return result;
  }
  return -1;  // errno is EEXIST
}

// The start of every temporary name of this process in `path`'s directory:
// the process id lets a later run tell the leftovers of a killed run from
// the files of one still writing.
std::string temporaryStem(const std::string& path) {
  return directoryOf(path) + "/" + std::string(kTemporaryFilePrefix) + std::to_string(processId()) +
         "-";
}

void writeAll(int fd, const std::string& bytes, const char* what, const std::string& shown) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw ioError(what, shown, errno);
    }
    written += static_cast<std::size_t>(n);
  }
}

// A new file is made with the mode asked for, less the umask: never more
// than it is to have.
mode_t creationMode(FileMode mode) { return mode.mode; }

// Writes `bytes` into a file just made with creationMode(mode), after giving
// a kept mode back what the umask took from it. A file that cannot have the
// mode of the one it replaces is not put in its place.
void fillNewFile(int fd, const std::string& bytes, FileMode mode, const WriteWords& words,
                 const std::string& shown) {
  if (mode.kept) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) throw ioError(words.write, shown, errno);
    if ((st.st_mode & 07777) != mode.mode && ::fchmod(fd, mode.mode) != 0)
      throw ioError(words.write, shown, errno);
  }
  writeAll(fd, bytes, words.write, shown);
}

// Gives the unnamed file `fd` the name `path`, which must be free: true, or
// false with errno (EEXIST when the name is taken).
bool nameUnnamedFile(int fd, const std::string& path) {
  // Linking a descriptor itself takes a privilege most users lack; its name
  // under /proc does the same for everyone.
  static std::atomic<bool> directRefused{false};
  if (!directRefused.load(std::memory_order_relaxed)) {
    if (::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return true;
    if (errno == EEXIST) return false;
    directRefused.store(true, std::memory_order_relaxed);
  }
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

// Whether files made without a name and named once written work here; a
// file system or kernel without them says so once, and every write then
// goes through a named temporary file.
std::atomic<bool> unnamedFilesWork{true};

// A file without a name in the directory of `path`, holding `bytes`; none
// (a descriptor of -1) when this file system or the process's share of
// descriptors cannot make one now, and nothing is then left behind. Opened
// for reading too, for the bytes to be had back if naming it fails.
FileDescriptor writeUnnamedFile(const std::string& path, const std::string& bytes,
                                const WriteWords& words, FileMode mode, const std::string& shown) {
  FileDescriptor fd(
      ::open(directoryOf(path).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, creationMode(mode)));
  if (fd.get() < 0) {
    // A directory that is gone or not writable is reported by the other way.
    if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) unnamedFilesWork = false;
    return fd;
  }
  fillNewFile(fd.get(), bytes, mode, words, shown);
  return fd;
}

// Puts the unnamed file `fd` at `path`, replacing what is there in one step:
// true, or false when this file system cannot name such files after all.
bool placeUnnamedFile(int fd, const std::string& path, const WriteWords& words,
                      const std::string& shown) {
  // Named while still open, as naming needs the descriptor; the local file
  // systems that have unnamed files report nothing at close that the writes
  // did not.
  if (nameUnnamedFile(fd, path)) return true;
  if (errno != EEXIST) {
    unnamedFilesWork = false;
    return false;
  }
  // The name is taken (by the page of an earlier run, say): the file gets a
  // temporary name and is renamed over it, which replaces it in one step.
  std::string temp = temporaryStem(path);
  if (withTemporaryName(
          temp, [&](const std::string& name) { return nameUnnamedFile(fd, name) ? 0 : -1; }) < 0) {
    throw ioError(words.create, shown, errno);
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    throw ioError(words.rename, shown, err);
  }
  return true;
}

// The unnamed-file way of replaceThroughTemporary: true when the bytes are
// in place, false when this file system cannot make or name such a file
// (nothing is then left behind, and the caller writes the other way).
bool putThroughUnnamedFile(const std::string& path, const std::string& bytes,
                           const WriteWords& words, FileMode mode, const std::string& shown) {
  const FileDescriptor fd = writeUnnamedFile(path, bytes, words, mode, shown);
  return fd.get() >= 0 && placeUnnamedFile(fd.get(), path, words, shown);
}

// What the file `fd` holds, read from its start.
std::string readBack(int fd, const WriteWords& words, const std::string& shown) {
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(bytes.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw ioError(words.write, shown, errno);
    if (n == 0) return bytes;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
}

// Puts `bytes` at `path` so that a reader, a crash or a full disk sees
// either the old file or the complete new one. The bytes go to a file that
// has no name until they are all written; where the file system cannot make
// such a file, to a temporary file in the same directory, which is then
// renamed into place. `named` is the path as the user gave it, for messages.
void replaceThroughTemporary(const std::string& path, const std::string& bytes,
                             const WriteWords& words, FileMode mode,
                             const std::string& named = {}) {
  const std::string& shown = named.empty() ? path : named;
  if (unnamedFilesWork.load(std::memory_order_relaxed) &&
      putThroughUnnamedFile(path, bytes, words, mode, shown)) {
    return;
  }
  std::string temp = temporaryStem(path);
  FileDescriptor fd(withTemporaryName(temp, [&](const std::string& name) {
    return ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, creationMode(mode));
  }));
  if (fd.get() < 0) throw ioError(words.create, shown, errno);
  // From here on, every way out removes the temporary file unless the
  // rename has put it into place.
  struct TempGuard {
    const std::string& name;
    bool keep = false;
    ~TempGuard() {
      if (!keep) ::unlink(name.c_str());
    }
  } guard{temp};
  fillNewFile(fd.get(), bytes, mode, words, shown);
  if (fd.closeNow() != 0) throw ioError(words.write, shown, errno);
  if (::rename(temp.c_str(), path.c_str()) != 0) throw ioError(words.rename, shown, errno);
  guard.keep = true;
}

// The path a chain of symbolic links ends at, whether or not that exists.
std::string followLinks(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n < 0) return path;
    target.resize(static_cast<std::size_t>(n));
    path = !target.empty() && target[0] == '/' ? target : directoryOf(path) + "/" + target;
  }
  throw ioError("Cannot write", path, ELOOP);
}

// /dev/stdout, /dev/fd/N and /proc/self/fd/N stand for a descriptor the
// caller opened: what is behind it is written, whatever it is. Any other
// file under /dev or /proc (one on the tmpfs /dev/shm, say) is a file like
// any, and replaced.
bool namesDescriptor(const std::string& path) {
  if (path == "/dev/stdout" || path == "/dev/stderr" || path.rfind("/dev/fd/", 0) == 0) {
    return true;
  }
  if (path.rfind("/proc/", 0) != 0) return false;
  const std::size_t fd = path.find("/fd/", 6);
  return fd != std::string::npos && path.find('/', 6) == fd;
}

// Writes into a device, a FIFO or a descriptor's file as it is.
void writeThrough(const std::string& path, const std::string& bytes) {
  // Non-blocking, so that a FIFO without a reader is an error, not a hang;
  // appending, so that a file behind /dev/stdout keeps what is already there.
  FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENXIO) {
      throw LoomError(ErrorKind::Io,
                      "Cannot write \"" + path + "\": it is a FIFO that no program is reading");
    }
    throw ioError("Cannot write", path, errno);
  }
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
  writeAll(fd.get(), bytes, "Cannot write", path);
  if (fd.closeNow() != 0) throw ioError("Cannot write", path, errno);
}

FileState stateOf(const struct stat& st) {
  const auto ns = [](const timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
  };
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
          static_cast<std::uint64_t>(st.st_size), ns(st.st_mtim), ns(st.st_ctim)};
}

// A page written into a file without a name, which gets its name at commit.
class UnnamedPage final : public StagedFile {
 public:
  UnnamedPage(FileDescriptor fd, const std::string& path) : fd_(std::move(fd)), path_(path) {}
  void commit() override {
    if (placeUnnamedFile(fd_.get(), path_, kPageWords, path_)) return;
    // This file system cannot name such files after all: the bytes go the
    // other way.
    replaceThroughTemporary(path_, readBack(fd_.get(), kPageWords, path_), kPageWords,
                            kNewFileMode);
  }

 private:
  FileDescriptor fd_;
  std::string path_;
};

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

  std::optional<std::string> unreachable(const std::string& path) const override {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 || errno == ENOENT || errno == ENOTDIR) return std::nullopt;
    switch (errno) {
      case EACCES:
        return std::string(
            "cannot be reached: a directory on its path may not be searched (no permission)");
      case ENAMETOOLONG:
        return std::string("cannot be reached: the path, or a name in it, is too long");
      case ELOOP:
        return std::string("cannot be reached: its symbolic links lead round in a loop");
      default:
        return "cannot be reached: " + std::string(std::strerror(errno));
    }
  }

  PathKind entryKind(const std::string& path) const override {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return PathKind::Missing;
    if (S_ISLNK(st.st_mode) || S_ISREG(st.st_mode)) return PathKind::RegularFile;
    return S_ISDIR(st.st_mode) ? PathKind::Directory : PathKind::Other;
  }

  // The listing that named the files has just found them plain; one that is
  // something else by now is refused when the run opens it. Names are looked
  // up from the directory's descriptor: walking the directory's path again for
  // each of thousands of files cost a quarter of the look.
  std::vector<std::size_t> unreadableFiles(
      const std::string& dir, const std::vector<std::string_view>& names) const override {
    const FileDescriptor at(::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    std::vector<std::size_t> unreadable;
    std::string name;
    for (std::size_t i = 0; i < names.size(); ++i) {
      name.assign(names[i]);
      const bool readable = at.get() >= 0 ? ::faccessat(at.get(), name.c_str(), R_OK, 0) == 0
                                          : ::access((dir + name).c_str(), R_OK) == 0;
      if (!readable) unreadable.push_back(i);
    }
    return unreadable;
  }

  bool isWritableDirectory(const std::string& path) const override {
    return kind(path) == PathKind::Directory && ::access(path.c_str(), W_OK | X_OK) == 0;
  }

  PlainFiles listPlainFiles(const std::string& dir) const override {
    std::unique_ptr<DIR, int (*)(DIR*)> handle(::opendir(dir.c_str()), &::closedir);
    if (!handle) throw ioError("Cannot list the input directory", dir, errno);
    PlainFiles files;
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
      bool link = entry->d_type == DT_LNK;
      if (link || entry->d_type == DT_UNKNOWN) {
        link = link || isSymbolicLink(prefix + name);
        regular = kind(prefix + name) == PathKind::RegularFile;
      }
      if (!regular) continue;
      if (link) files.links.push_back(name);
      files.names.push_back(name);
    }
    if (errno != 0) throw ioError("Cannot list the input directory", dir, errno);
    return files;
  }

  std::optional<std::vector<DirectoryEntry>> listEntries(const std::string& dir) const override {
    std::unique_ptr<DIR, int (*)(DIR*)> handle(::opendir(dir.c_str()), &::closedir);
    if (!handle) return std::nullopt;
    std::vector<DirectoryEntry> entries;
    for (;;) {
      errno = 0;
      const dirent* entry = ::readdir(handle.get());
      if (entry == nullptr) break;
      const std::string_view name = entry->d_name;
      if (name == "." || name == "..") continue;
      // As entryKind() says it: a link counts as a file, whatever it leads to.
      std::optional<PathKind> kind;
      switch (entry->d_type) {
        case DT_REG:
        case DT_LNK:
          kind = PathKind::RegularFile;
          break;
        case DT_DIR:
          kind = PathKind::Directory;
          break;
        case DT_UNKNOWN:
          break;  // this file system does not tell: a look when it matters
        default:
          kind = PathKind::Other;
      }
      entries.push_back({std::string(name), kind});
    }
    if (errno != 0) return std::nullopt;
    return entries;
  }

  std::vector<std::pair<std::string, std::string>> linksIn(const std::string& dir) const override {
    std::vector<std::pair<std::string, std::string>> links;
    std::unique_ptr<DIR, int (*)(DIR*)> handle(::opendir(dir.c_str()), &::closedir);
    if (!handle) return links;
    const std::string prefix = dir.empty() || dir.back() == '/' ? dir : dir + "/";
    while (const dirent* entry = ::readdir(handle.get())) {
      const std::string path = prefix + entry->d_name;
      struct stat st {};
      if (entry->d_type != DT_LNK && (entry->d_type != DT_UNKNOWN ||
                                      ::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))) {
        continue;
      }
      std::unique_ptr<char, void (*)(void*)> real(::realpath(path.c_str(), nullptr), &std::free);
      if (real) links.emplace_back(entry->d_name, real.get());
    }
    return links;
  }

  std::string readFile(const std::string& path) const override {
    std::optional<FileState> unused;
    return readFileWithState(path, unused);
  }

  std::string readFileWithState(const std::string& path,
                                std::optional<FileState>& state) const override {
    // Non-blocking, so that a FIFO put in the place of a listed file cannot
    // stop the run waiting for a writer; what was opened is then checked.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0) throw ioError("Cannot open the input file", path, errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) throw ioError("Cannot read the input file", path, errno);
    if (!S_ISREG(st.st_mode)) {
      throw LoomError(ErrorKind::Io, "The input file \"" + path +
                                         "\" is not a regular file any more (" +
                                         kindName(st.st_mode) + "); it is not read");
    }
    state = stateOf(st);
    std::string bytes;
    // One byte more than the size: the read that meets the end then needs no
    // larger buffer, which would copy the file and clear 64 KiB each time.
    const auto size = static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 0);
    bytes.resize(size + 1);
    std::size_t filled = 0;
    for (;;) {
      if (filled == bytes.size()) bytes.resize(bytes.size() + 65536);
      const ssize_t n = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
      if (n < 0) {
        if (errno == EINTR) continue;
        // A plain file ignores O_NONBLOCK on nearly every file system; the
        // flag is dropped only for one that does not.
        if (errno == EAGAIN) {
          const int flags = ::fcntl(fd.get(), F_GETFL);
          if (flags >= 0 && (flags & O_NONBLOCK) != 0 &&
              ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) == 0) {
            continue;
          }
        }
        throw ioError("Cannot read the input file", path, errno);
      }
      if (n == 0) break;
      filled += static_cast<std::size_t>(n);
      // A read that stops short at the size the file had when opened has met
      // its end: asking once more would only cost a call per file. A file
      // that grows meanwhile is read as it was, as with any later growth.
      if (filled == size) break;
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

  FileMatch compare(const std::string& path, std::string_view bytes) const override {
    // Compared a piece at a time: the old page is never held beside the new.
    // A page that is there but cannot be read is still one that the write
    // changes.
    const auto unreadable = [&] {
      return kind(path) == PathKind::RegularFile ? FileMatch::Differs : FileMatch::NoFile;
    };
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0) {
      // The usual case of a new page costs this one call.
      return errno == ENOENT ? FileMatch::NoFile : unreadable();
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return unreadable();
    if (!S_ISREG(st.st_mode)) return FileMatch::NoFile;
    if (static_cast<std::uint64_t>(st.st_size) != bytes.size()) return FileMatch::Differs;
    char buf[65536];
    std::size_t at = 0;
    for (;;) {
      const ssize_t n = ::read(fd.get(), buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return n == 0 && at == bytes.size() ? FileMatch::Same : FileMatch::Differs;
      const auto got = static_cast<std::size_t>(n);
      if (at + got > bytes.size() || bytes.compare(at, got, std::string_view(buf, got)) != 0) {
        return FileMatch::Differs;
      }
      at += got;
    }
  }

  void createDirectories(const std::string& path) override {
    for (std::size_t at = 1; at <= path.size(); ++at) {
      if (at < path.size() && path[at] != '/') continue;
      const std::string dir = path.substr(0, at);
      if (::mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST)
        throw ioError("Cannot create the directory", dir, errno);
    }
    if (kind(path) != PathKind::Directory)
      throw ioError("Cannot create the directory", path, ENOTDIR);
  }

  std::optional<FileIdentity> identity(const std::string& path) const override {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev),
                        static_cast<std::uint64_t>(st.st_ino)};
  }

  std::vector<std::optional<FileState>> fileStates(
      const std::string& dir, const std::vector<std::string_view>& names) const override {
    std::vector<std::optional<FileState>> states(names.size());
    // One open directory: each look is then a name, not a path, away.
    const FileDescriptor fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0) return states;
    std::string name;
    for (std::size_t i = 0; i < names.size(); ++i) {
      name.assign(names[i]);
      struct stat st {};
      if (::fstatat(fd.get(), name.c_str(), &st, 0) == 0) states[i] = stateOf(st);
    }
    return states;
  }

  void writeFileAtomically(const std::string& path, const std::string& bytes) override {
    replaceThroughTemporary(path, bytes, kPageWords, kNewFileMode);
  }

  std::string absolutePath(const std::string& path) const override {
    std::unique_ptr<char, void (*)(void*)> real(::realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : path;
  }

  bool isSymbolicLink(const std::string& path) const override {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
  }

  // A lock on the directory itself: nothing is added to it, and the lock
  // goes with the process however that ends.
  std::unique_ptr<DirectoryLock> lockDirectory(const std::string& dir,
                                               std::chrono::milliseconds wait) override {
    class Held final : public DirectoryLock {
     public:
      explicit Held(FileDescriptor fd) : fd_(std::move(fd)) {}

     private:
      FileDescriptor fd_;  // closing it drops the lock
    };
    FileDescriptor fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0) return nullptr;
    const auto giveUp = std::chrono::steady_clock::now() + wait;
    while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
      if (errno == EINTR) continue;
      if (errno != EWOULDBLOCK) return nullptr;  // a file system without locks
      if (std::chrono::steady_clock::now() >= giveUp) {
        throw LoomError(ErrorKind::Io,
                        "Another run of Loomwise is writing into the output "
                        "directory \"" +
                            dir + "\"; try again when it has finished");
      }
      ::usleep(50000);
    }
    return std::make_unique<Held>(std::move(fd));
  }

  std::unique_ptr<StagedFile> stageFile(const std::string& path, std::string bytes) override {
    if (unnamedFilesWork.load(std::memory_order_relaxed)) {
      FileDescriptor fd = writeUnnamedFile(path, bytes, kPageWords, kNewFileMode, path);
      if (fd.get() >= 0) return std::make_unique<UnnamedPage>(std::move(fd), path);
    }
    return FileSystem::stageFile(path, std::move(bytes));
  }

  void removeStaleTemporaryFiles(const std::string& dir) override {
    std::unique_ptr<DIR, int (*)(DIR*)> handle(::opendir(dir.c_str()), &::closedir);
    if (!handle) return;
    const std::string prefix = dir.empty() || dir.back() == '/' ? dir : dir + "/";
    while (const dirent* entry = ::readdir(handle.get())) {
      const std::optional<pid_t> owner = temporaryOwner(entry->d_name);
      if (!owner) continue;
      if (::kill(*owner, 0) == 0 || errno != ESRCH) continue;  // that process still runs
      const std::string path = prefix + entry->d_name;
      // A file of another user, or anything but a plain file, is not ours.
      struct stat st {};
      if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        continue;
      }
      ::unlink(path.c_str());
    }
  }

  void removeFile(const std::string& path) override {
    if (::unlink(path.c_str()) != 0) throw ioError("Cannot remove the page", path, errno);
  }

 private:
};

}  // namespace

std::unique_ptr<FileSystem> makePosixFileSystem() { return std::make_unique<PosixFileSystem>(); }

std::string directoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool sameFile(const std::string& a, const std::string& b) {
  const PosixFileSystem fs;
  const std::optional<FileIdentity> first = fs.identity(a);
  return first && first == fs.identity(b);
}

std::string readNamedFile(const std::string& path) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) throw ioError("Cannot read", path, errno);
  std::string bytes;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw ioError("Cannot read", path, errno);
    }
    if (n == 0) return bytes;
    bytes.append(buf, static_cast<std::size_t>(n));
  }
}

void writeNamedFile(const std::string& path, const std::string& bytes) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno != ENOENT) throw ioError("Cannot write", path, errno);
    // A new name, or a link to one: the link stays and its target is made.
    replaceThroughTemporary(followLinks(path), bytes, kNamedFileWords, kNewFileMode, path);
    return;
  }
  if (S_ISDIR(st.st_mode)) {
    throw LoomError(ErrorKind::Io, "Cannot write \"" + path + "\": it is a directory");
  }
  if (!S_ISREG(st.st_mode) || namesDescriptor(path)) return writeThrough(path, bytes);
  // realpath, not followLinks: /dev/stdout and its like end in links that
  // only the kernel can resolve.
  std::unique_ptr<char, void (*)(void*)> real(::realpath(path.c_str(), nullptr), &std::free);
  if (!real) throw ioError("Cannot write", path, errno);
  replaceThroughTemporary(real.get(), bytes, kNamedFileWords, keptMode(st.st_mode & 07777), path);
}

}  // namespace loom
