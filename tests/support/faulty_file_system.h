#pragma once
// A FileSystem that passes everything to another one, with hooks that run
// before each read and each write: a test uses them to change the disk under
// a running batch (remove an input file, the output directory, ...).

#include <functional>
#include <string>

#include "base/file_system.h"

namespace loom::testing {

class FaultyFileSystem : public FileSystem {
 public:
  explicit FaultyFileSystem(FileSystem& inner) : inner_(inner) {}

  std::function<void(const std::string& path)> beforeRead;
  std::function<void(const std::string& path)> beforeWrite;

  PathKind kind(const std::string& path) const override { return inner_.kind(path); }
  PathKind entryKind(const std::string& path) const override { return inner_.entryKind(path); }
  bool isReadableFile(const std::string& path) const override {
    return inner_.isReadableFile(path);
  }
  std::optional<FileIdentity> identity(const std::string& path) const override {
    return inner_.identity(path);
  }
  bool isWritableDirectory(const std::string& path) const override {
    return inner_.isWritableDirectory(path);
  }
  std::vector<std::string> listPlainFiles(const std::string& dir) const override {
    return inner_.listPlainFiles(dir);
  }
  std::string readFile(const std::string& path) const override {
    if (beforeRead) beforeRead(path);
    return inner_.readFile(path);
  }
  std::optional<std::string> tryReadFile(const std::string& path) const override {
    return inner_.tryReadFile(path);
  }
  void writeFileAtomically(const std::string& path, const std::string& bytes) override {
    if (beforeWrite) beforeWrite(path);
    inner_.writeFileAtomically(path, bytes);
  }
  void removeStaleTemporaryFiles(const std::string& dir) override {
    inner_.removeStaleTemporaryFiles(dir);
  }
  void removeFile(const std::string& path) override { inner_.removeFile(path); }

 private:
  FileSystem& inner_;
};

}  // namespace loom::testing
