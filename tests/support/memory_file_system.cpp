#include "support/memory_file_system.h"

#include <algorithm>
#include <functional>

namespace loom::testing {

std::string MemoryFileSystem::normalizeDir(std::string dir) {
  for (;;) {
    while (dir.size() > 1 && dir.back() == '/' && dir[dir.size() - 2] == '/') dir.pop_back();
    if (dir.size() >= 2 && dir.compare(dir.size() - 2, 2, "/.") == 0) {
      dir.pop_back();
    } else if (dir.size() >= 3 && dir.compare(dir.size() - 3, 3, "/./") == 0) {
      dir.resize(dir.size() - 2);
    } else {
      break;
    }
  }
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

std::optional<FileIdentity> MemoryFileSystem::identity(const std::string& path) const {
  std::lock_guard lock(mutex_);
  const bool file = files_.count(path) > 0;
  if (!file && !dirs_.count(normalizeDir(path))) return std::nullopt;
  return FileIdentity{1, std::hash<std::string>{}(file ? path : normalizeDir(path))};
}

void MemoryFileSystem::addDirectory(const std::string& dir, bool writable) {
  std::lock_guard lock(mutex_);
  dirs_[normalizeDir(dir)] = writable;
}

void MemoryFileSystem::addFile(const std::string& path, const std::string& bytes) {
  std::lock_guard lock(mutex_);
  if (files_.count(path) == 0) order_.push_back(path);
  files_[path] = bytes;
}

void MemoryFileSystem::remove(const std::string& path) {
  std::lock_guard lock(mutex_);
  files_.erase(path);
  order_.erase(std::remove(order_.begin(), order_.end(), path), order_.end());
}

int MemoryFileSystem::writes(const std::string& path) const {
  std::lock_guard lock(mutex_);
  const auto it = writeCounts_.find(path);
  return it == writeCounts_.end() ? 0 : it->second;
}

PathKind MemoryFileSystem::kind(const std::string& path) const {
  std::lock_guard lock(mutex_);
  if (files_.count(path)) return PathKind::RegularFile;
  if (dirs_.count(normalizeDir(path))) return PathKind::Directory;
  return PathKind::Missing;
}

bool MemoryFileSystem::isWritableDirectory(const std::string& path) const {
  std::lock_guard lock(mutex_);
  const auto it = dirs_.find(normalizeDir(path));
  return it != dirs_.end() && it->second;
}

std::vector<std::string> MemoryFileSystem::listPlainFiles(const std::string& dir) const {
  std::lock_guard lock(mutex_);
  const std::string prefix = normalizeDir(dir);
  if (!dirs_.count(prefix)) {
    throw LoomError(ErrorKind::Io, "Cannot list the input directory \"" + dir + "\"");
  }
  std::vector<std::string> names;
  for (const std::string& path : order_) {
    if (path.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string name = path.substr(prefix.size());
    if (name.empty() || name[0] == '.' || name.find('/') != std::string::npos) continue;
    names.push_back(name);
  }
  return names;
}

std::string MemoryFileSystem::readFile(const std::string& path) const {
  std::lock_guard lock(mutex_);
  const auto it = files_.find(path);
  if (it == files_.end()) {
    throw LoomError(ErrorKind::Io, "Cannot open the input file \"" + path + "\": no such file");
  }
  return it->second;
}

std::optional<std::string> MemoryFileSystem::tryReadFile(const std::string& path) const {
  std::lock_guard lock(mutex_);
  const auto it = files_.find(path);
  if (it == files_.end()) return std::nullopt;
  return it->second;
}

void MemoryFileSystem::writeFileAtomically(const std::string& path, const std::string& bytes) {
  std::lock_guard lock(mutex_);
  const std::size_t slash = path.rfind('/');
  const std::string dir =
      normalizeDir(slash == std::string::npos ? "." : path.substr(0, slash + 1));
  if (!isWritableDirectory(dir)) {
    throw LoomError(ErrorKind::Io, "Cannot write the page \"" + path + "\": no writable directory");
  }
  addFile(path, bytes);
  ++writeCounts_[path];
}

void MemoryFileSystem::removeFile(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (!files_.count(path))
    throw LoomError(ErrorKind::Io, "Cannot remove the page \"" + path + "\"");
  remove(path);
}

}  // namespace loom::testing
