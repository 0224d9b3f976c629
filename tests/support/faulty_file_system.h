// SPDX-License-Identifier: MIT
#pragma once
// Another FileSystem, with hooks before each read and write to change the disk under a batch,
// and one that says which files can be read, which the superuser cannot otherwise be shown.

#include <functional>
#include <string>

#include "base/file_system.h"

namespace loom::testing {

class FaultyFileSystem : public FileSystem {
 public:
  explicit FaultyFileSystem(FileSystem& inner) : inner_(inner) {}
  std::function<void(const std::string&)> beforeRead, beforeWrite;
  std::function<bool(const std::string&)> readable;  // instead of the disk's answer
  PathKind kind(const std::string& p) const override { return inner_.kind(p); }
  PathKind entryKind(const std::string& p) const override { return inner_.entryKind(p); }
  std::optional<std::string> unreachable(const std::string& p) const override {
    return inner_.unreachable(p);
  }
  std::vector<std::size_t> unreadableFiles(
      const std::string& dir, const std::vector<std::string_view>& names) const override {
    if (!readable) return inner_.unreadableFiles(dir, names);
    std::vector<std::size_t> unreadable;
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (!readable(dir + std::string(names[i]))) unreadable.push_back(i);
    }
    return unreadable;
  }
  std::optional<FileIdentity> identity(const std::string& p) const override {
    return inner_.identity(p);
  }
  std::string absolutePath(const std::string& p) const override { return inner_.absolutePath(p); }
  bool isSymbolicLink(const std::string& p) const override { return inner_.isSymbolicLink(p); }
  bool isWritableDirectory(const std::string& p) const override {
    return inner_.isWritableDirectory(p);
  }
  PlainFiles listPlainFiles(const std::string& p) const override {
    return inner_.listPlainFiles(p);
  }
  std::optional<std::vector<DirectoryEntry>> listEntries(const std::string& p) const override {
    return inner_.listEntries(p);
  }
  std::vector<std::pair<std::string, std::string>> linksIn(const std::string& p) const override {
    return inner_.linksIn(p);
  }
  std::string readFile(const std::string& p) const override {
    if (beforeRead) beforeRead(p);
    return inner_.readFile(p);
  }
  std::optional<std::string> tryReadFile(const std::string& p) const override {
    return inner_.tryReadFile(p);
  }
  void writeFileAtomically(const std::string& p, const std::string& bytes) override {
    if (beforeWrite) beforeWrite(p);
    inner_.writeFileAtomically(p, bytes);
  }
  void removeStaleTemporaryFiles(const std::string& p) override {
    inner_.removeStaleTemporaryFiles(p);
  }
  void removeFile(const std::string& p) override { inner_.removeFile(p); }

 private:
  FileSystem& inner_;
};

}  // namespace loom::testing
