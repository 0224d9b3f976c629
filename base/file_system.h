// SPDX-License-Identifier: MIT
#pragma once
// The file access of a batch run, behind one small interface so that tests
// can run the engine on an in-memory fake and inject failures. Paths are byte
// strings in the platform's form ("/" separated). Every failure is a LoomError
// of kind Io whose message names the path.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/error.h"

namespace loom {

enum class PathKind { Missing, Directory, RegularFile, Other };
enum class FileMatch { NoFile, Differs, Same };

// Which file a path names, links followed: two spellings ("d", "d/.", an
// absolute path, a link) name the same file when their identities are equal.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  auto operator<=>(const FileIdentity&) const = default;
};

// What a file's metadata says of it: which file it is and its state. A file
// whose state is unchanged, times in nanoseconds included, is taken to hold
// the same bytes (see app/batch_plan.h for the edits it cannot see and how
// they are caught).
struct FileState {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t size = 0;
  std::int64_t modifiedNs = 0;  // last change of the bytes
  std::int64_t changedNs = 0;   // last change of the bytes or the metadata
  bool operator==(const FileState&) const = default;
};

// One entry of a directory listing: its name (without directory) and, when
// the listing tells, what entryKind() would say of it.
struct DirectoryEntry {
  std::string name;
  std::optional<PathKind> kind;
  bool operator==(const DirectoryEntry&) const = default;
};

// Writes go through temporary files in the target's directory whose names
// begin with this (and are hidden, so never listed as input files).
inline constexpr std::string_view kTemporaryFilePrefix = ".loomwise-";

// A file whose bytes are written but which is not yet at its path; see
// FileSystem::stageFile.
class StagedFile {
 public:
  virtual ~StagedFile() = default;
  // Puts the file at its path in one step, as writeFileAtomically does.
  virtual void commit() = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  virtual PathKind kind(const std::string& path) const = 0;
  // Why a path of kind Missing cannot be found when it is not simply absent
  // (a directory on the way that may not be searched, a path too long), as
  // words that follow the path in a message; nothing when it does not exist.
  virtual std::optional<std::string> unreachable(const std::string& /*path*/) const {
    return std::nullopt;
  }
  // Which of `names`, plain files of a listing of `dir` (ending in "/")
  // just made, this process may not read, as positions in `names`; one
  // replaced since is found when it is opened.
  virtual std::vector<std::size_t> unreadableFiles(
      const std::string& dir, const std::vector<std::string_view>& names) const {
    std::vector<std::size_t> unreadable;
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (kind(dir + std::string(names[i])) != PathKind::RegularFile) unreadable.push_back(i);
    }
    return unreadable;
  }
  // What the directory entry at `path` itself is, for a write that replaces
  // it: a symbolic link counts as a file (the write replaces the link).
  virtual PathKind entryKind(const std::string& path) const { return kind(path); }
  // Nothing when `path` does not exist.
  virtual std::optional<FileIdentity> identity(const std::string& path) const = 0;
  // The absolute path of an existing `path`, links followed; `path` itself
  // where the file system cannot tell.
  virtual std::string absolutePath(const std::string& path) const { return path; }
  // Whether the entry at `path` is itself a symbolic link.
  virtual bool isSymbolicLink(const std::string& /*path*/) const { return false; }
  // Keeps other runs of this program from writing into `dir` until the lock
  // is dropped, waiting up to `wait` for one that holds it; throws
  // LoomError(Io) naming `dir` when it still does. Nothing is held (and
  // nothing is said) when `dir` cannot be opened: the run reports that.
  class DirectoryLock {
   public:
    virtual ~DirectoryLock() = default;
  };
  virtual std::unique_ptr<DirectoryLock> lockDirectory(const std::string& /*dir*/,
                                                       std::chrono::milliseconds /*wait*/) {
    return nullptr;
  }
  // The states of the files `names` of `dir` (ending in "/"), links
  // followed, one per name, nothing for one that is gone; all nothing where
  // the file system cannot tell, which makes every file count as changed.
  virtual std::vector<std::optional<FileState>> fileStates(
      const std::string& /*dir*/, const std::vector<std::string_view>& names) const {
    return std::vector<std::optional<FileState>>(names.size());
  }
  // Whether new files can be created in the directory.
  virtual bool isWritableDirectory(const std::string& path) const = 0;
  // Names (without directory) of the plain files of `dir`: regular files and
  // links to regular files, not directories, devices, FIFOs or sockets, and
  // not hidden files (names beginning with "."). One snapshot, in the
  // platform's enumeration order (unsorted), with the names among them that
  // are symbolic links, which the listing tells without a look at each.
  struct PlainFiles {
    std::vector<std::string> names;
    std::vector<std::string> links;
  };
  virtual PlainFiles listPlainFiles(const std::string& dir) const = 0;
  // Every entry of `dir`, hidden ones and directories too, or nothing when
  // this file system cannot tell: one listing spares a look at each of many
  // names that are not there, and at the kind of those that are.
  virtual std::optional<std::vector<DirectoryEntry>> listEntries(const std::string& /*dir*/) const {
    return std::nullopt;
  }
  // The entries of `dir` that are symbolic links, each with the path their
  // chain of links ends at (dangling ones left out); none where the file
  // system has no links.
  virtual std::vector<std::pair<std::string, std::string>> linksIn(
      const std::string& /*dir*/) const {
    return {};
  }
  virtual std::string readFile(const std::string& path) const = 0;
  // readFile, and into `state` the state the file had before any of its
  // bytes were read (nothing where the file system cannot tell): a change
  // made while it is read shows in a later look, never the other way round.
  virtual std::string readFileWithState(const std::string& path,
                                        std::optional<FileState>& state) const {
    const std::size_t slash = path.rfind('/') + 1;
    state = fileStates(path.substr(0, slash), {std::string_view(path).substr(slash)}).front();
    return readFile(path);
  }
  // The current contents of a file, or nothing when it cannot be read.
  virtual std::optional<std::string> tryReadFile(const std::string& path) const = 0;
  // What the plain file at `path` holds, against `bytes` about to be
  // written there: one look tells a new page from a changed or unchanged one.
  virtual FileMatch compare(const std::string& path, std::string_view bytes) const {
    if (kind(path) != PathKind::RegularFile) return FileMatch::NoFile;
    const std::optional<std::string> old = tryReadFile(path);
    return old && *old == bytes ? FileMatch::Same : FileMatch::Differs;
  }
  // Replaces the file at `path` with `bytes` so that a reader, a crash or a
  // full disk sees either the old file or the complete new one: the bytes go
  // to a file in the same directory that gets its name (or a temporary name
  // it is then renamed from) only when complete. A link planted at `path` is
  // replaced, its target is not written.
  virtual void writeFileAtomically(const std::string& path, const std::string& bytes) = 0;
  // writeFileAtomically in two steps: the bytes are written now, where a
  // file system can hold a file without a name (else kept until then), and
  // the file gets its name at commit(). A staged file dropped without a
  // commit leaves nothing behind. Lets the thread that made a page write it
  // while another puts the pages in place in their order.
  //   auto staged = fs.stageFile("/out/a.htm", page);  // not in /out/ yet
  //   staged->commit();                                // now it is, whole
  virtual std::unique_ptr<StagedFile> stageFile(const std::string& path, std::string bytes) {
    class Kept final : public StagedFile {
     public:
      Kept(FileSystem& fs, const std::string& path, std::string bytes)
          : fs_(fs), path_(path), bytes_(std::move(bytes)) {}
      void commit() override { fs_.writeFileAtomically(path_, bytes_); }

     private:
      FileSystem& fs_;
      std::string path_, bytes_;
    };
    return std::make_unique<Kept>(*this, path, std::move(bytes));
  }
  // Removes the temporary files that writes of a process that has ended (one
  // killed before its rename, say) left in `dir`; those of running processes
  // stay. Best effort: a file that cannot be removed is left.
  virtual void removeStaleTemporaryFiles(const std::string& /*dir*/) {}
  // Creates the directory `path` and any missing directories above it, as
  // `mkdir -p` does; an existing directory is left as it is. Throws
  // LoomError(Io) naming the directory that cannot be made.
  virtual void createDirectories(const std::string& path) {
    throw LoomError(ErrorKind::Io, "Cannot create \"" + path + "\": not possible here");
  }
  // Removes one file (a page a run wrote and no longer makes). A file system
  // that cannot remove files refuses, so that nothing is removed by mistake.
  virtual void removeFile(const std::string& path) {
    throw LoomError(ErrorKind::Io, "Cannot remove \"" + path + "\": not possible here");
  }
};

// The real file system of this platform.
std::unique_ptr<FileSystem> makePosixFileSystem();

// The directory that holds `path`, without a slash at its end: "a/b" gives
// "a", "/a" gives "/", and a bare name gives ".".
std::string directoryOf(const std::string& path);

// Whether both paths exist and name the same file on the real file system.
bool sameFile(const std::string& a, const std::string& b);

// Writes a file the user named on the command line (not a page of a run),
// never replacing what is not ours: a regular file or a new name is replaced
// through a temporary file and a rename, keeping the file's permissions; a
// symbolic link is followed and its target replaced, the link stays; a
// device or a FIFO is written through (a FIFO that no program reads is
// refused rather than waited for); a directory is refused. Messages name
// `path`.
void writeNamedFile(const std::string& path, const std::string& bytes);
// Reads a file the user named: a pipe such as /dev/stdin is read too.
std::string readNamedFile(const std::string& path);

}  // namespace loom
