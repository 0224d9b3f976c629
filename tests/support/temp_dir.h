// SPDX-License-Identifier: MIT
#pragma once
// A directory removed with everything in it when the test ends, and file helpers for the disk.

#include <string>
#include <vector>

namespace loom::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;  // one owner removes the directory
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }  // without a trailing "/"
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);
// Every name in `dir`, hidden ones too, sorted; with `temporary` only a write's ".loomwise-*".
std::vector<std::string> directoryNames(const std::string& dir, bool temporary = false);

}  // namespace loom::testing
