// SPDX-License-Identifier: MIT
#include "support/temp_dir.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace loom::testing {

TempDir::TempDir() {
  path_ = std::filesystem::temp_directory_path().string() + "/loomwise-test-XXXXXX";
  if (::mkdtemp(path_.data()) == nullptr) throw std::runtime_error("mkdtemp failed for " + path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void writeFile(const std::string& path, const std::string& bytes) {
  if (!(std::ofstream(path, std::ios::binary) << bytes))
    throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> directoryNames(const std::string& dir, bool temporary) {
  std::vector<std::string> names;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ignored)) {
    const std::string name = entry.path().filename().string();
    if (!temporary || name.starts_with(".loomwise-")) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace loom::testing
