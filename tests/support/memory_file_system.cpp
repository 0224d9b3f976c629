// SPDX-License-Identifier: MIT
#include "support/memory_file_system.h"

#include <algorithm>
#include <functional>

namespace loom::testing {
namespace {

// "d", "d/", "d//" and "d/." name the same directory.
std::string normalizeDir(std::string dir) {
  while (dir.ends_with("/") || dir.ends_with("/.")) dir.erase(dir.rfind('/'));
  return dir + "/";
}

}  // namespace

void MemoryFileSystem::addDirectory(const std::string& dir, bool writable) {
  std::lock_guard lock(mutex_);
  dirs_[normalizeDir(dir)] = writable;
}

void MemoryFileSystem::addFile(const std::string& path, const std::string& bytes) {
  std::lock_guard lock(mutex_);
  if (files_.count(path) == 0) order_.push_back(path);
  files_[path] = bytes;
  touch(path, bytes.size());
}

void MemoryFileSystem::touch(const std::string& path, std::size_t size) {
  clockNs_ += 1'000'000'000;
  FileState& state = states_[path];
  state = {1, std::hash<std::string>{}(path), size, clockNs_, clockNs_};
}

void MemoryFileSystem::setModified(const std::string& path, std::int64_t ns) {
  std::lock_guard lock(mutex_);
  clockNs_ += 1'000'000'000;
  states_.at(path).modifiedNs = ns;
  states_.at(path).changedNs = clockNs_;
}

std::vector<std::optional<FileState>> MemoryFileSystem::fileStates(
    const std::string& dir, const std::vector<std::string_view>& names) const {
  std::lock_guard lock(mutex_);
  std::vector<std::optional<FileState>> states;
  for (const std::string_view name : names) {
    const auto it = states_.find(normalizeDir(dir) + std::string(name));
    states.push_back(it == states_.end() || !files_.count(it->first) ? std::nullopt
                                                                     : std::optional(it->second));
  }
  return states;
}

void MemoryFileSystem::removeDirectory(const std::string& dir) {
  std::lock_guard lock(mutex_);
  dirs_.erase(normalizeDir(dir));
}

int MemoryFileSystem::writes(const std::string& path) const {
  std::lock_guard lock(mutex_);
  return writeCounts_.contains(path) ? writeCounts_.at(path) : 0;
}

int MemoryFileSystem::listings(const std::string& dir) const {
  std::lock_guard lock(mutex_);
  return listCounts_.contains(dir) ? listCounts_.at(dir) : 0;
}

PathKind MemoryFileSystem::kind(const std::string& path) const {
  std::lock_guard lock(mutex_);
  if (files_.count(path)) return PathKind::RegularFile;
  return dirs_.count(normalizeDir(path)) ? PathKind::Directory : PathKind::Missing;
}

std::optional<FileIdentity> MemoryFileSystem::identity(const std::string& path) const {
  std::lock_guard lock(mutex_);
  const PathKind k = kind(path);
  if (k == PathKind::Missing) return std::nullopt;
  return FileIdentity{
      1, std::hash<std::string>{}(k == PathKind::Directory ? normalizeDir(path) : path)};
}

bool MemoryFileSystem::isWritableDirectory(const std::string& path) const {
  std::lock_guard lock(mutex_);
  const auto it = dirs_.find(normalizeDir(path));
  return it != dirs_.end() && it->second;
}

FileSystem::PlainFiles MemoryFileSystem::listPlainFiles(const std::string& dir) const {
  std::lock_guard lock(mutex_);
  const std::string prefix = normalizeDir(dir);
  if (!dirs_.count(prefix)) throw LoomError(ErrorKind::Io, "Cannot list \"" + dir + "\"");
  PlainFiles files;
  for (const std::string& path : order_) {
    const std::string name = path.substr(std::min(prefix.size(), path.size()));
    if (path.starts_with(prefix) && !name.starts_with(".") && name.find('/') == std::string::npos)
      files.names.push_back(name);
  }
  return files;
}

std::optional<std::vector<DirectoryEntry>> MemoryFileSystem::listEntries(
    const std::string& dir) const {
  std::lock_guard lock(mutex_);
  const std::string prefix = normalizeDir(dir);
  ++listCounts_[prefix];
  if (!dirs_.count(prefix)) return std::nullopt;
  std::vector<DirectoryEntry> entries;
  const auto addChild = [&](const std::string& path, PathKind kind) {
    if (path.size() <= prefix.size() || !path.starts_with(prefix)) return;
    std::string name = path.substr(prefix.size());
    if (name.ends_with("/")) name.pop_back();
    if (!name.empty() && name.find('/') == std::string::npos)
      entries.push_back({std::move(name), kind});
  };
  for (const auto& [path, bytes] : files_) addChild(path, PathKind::RegularFile);
  for (const auto& [path, writable] : dirs_) addChild(path, PathKind::Directory);
  return entries;
}

std::string MemoryFileSystem::readFile(const std::string& path) const {
  if (std::optional<std::string> bytes = tryReadFile(path)) return *bytes;
  throw LoomError(ErrorKind::Io, "Cannot open the input file \"" + path + "\": no such file");
}

std::optional<std::string> MemoryFileSystem::tryReadFile(const std::string& path) const {
  std::lock_guard lock(mutex_);
  ++reads_[path.substr(0, path.rfind('/') + 1)];
  ++reads_[path];
  const auto it = files_.find(path);
  return it == files_.end() ? std::nullopt : std::optional(it->second);
}

void MemoryFileSystem::writeFileAtomically(const std::string& path, const std::string& bytes) {
  std::lock_guard lock(mutex_);
  if (!isWritableDirectory(path.substr(0, path.rfind('/') + 1)))
    throw LoomError(ErrorKind::Io, "Cannot write the page \"" + path + "\": no writable directory");
  addFile(path, bytes);
  ++writeCounts_[path];
}

void MemoryFileSystem::removeFile(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (!files_.erase(path)) throw LoomError(ErrorKind::Io, "Cannot remove \"" + path + "\"");
  order_.erase(std::find(order_.begin(), order_.end(), path));
}

}  // namespace loom::testing
