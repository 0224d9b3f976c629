#pragma once
// The entry points of the fuzz targets. Each takes arbitrary bytes, drives
// one part of the core with them and checks properties that must hold for
// every input. A broken property throws FuzzFailure; libFuzzer sees the
// uncaught exception as a crash, the regression test as a failed case.
// Only a LoomError is an acceptable way for the core to refuse an input.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "base/utf8.h"

namespace loom::fuzz {

class FuzzFailure : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

inline void require(bool condition, const char* what) {
  if (!condition) throw FuzzFailure(what);
}

inline bool validUtf8(std::string_view s) { return firstInvalidUtf8(s) == std::string_view::npos; }

// Reads the fuzz input as a few small fields and a tail.
class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size)
      : rest_(reinterpret_cast<const char*>(data), size) {}
  std::uint8_t byte() { return static_cast<std::uint8_t>(take(1).empty() ? 0 : taken_[0]); }
  // A text of up to 31 bytes: a length byte, then the bytes.
  std::string text() { return take(byte() % 32); }
  std::string rest() { return take(rest_.size()); }

 private:
  std::string take(std::size_t n) {
    taken_ = std::string(rest_.substr(0, n));
    rest_.remove_prefix(taken_.size());
    return taken_;
  }

  std::string_view rest_;
  std::string taken_;
};

void constraintOps(const std::uint8_t* data, std::size_t size);
void convertFile(const std::uint8_t* data, std::size_t size);
void pairAndNames(const std::uint8_t* data, std::size_t size);
void transcode(const std::uint8_t* data, std::size_t size);
void ruleDatabase(const std::uint8_t* data, std::size_t size);

struct Target {
  const char* name;  // also the directory of its corpus and regressions
  void (*run)(const std::uint8_t*, std::size_t);
};

inline constexpr Target kTargets[] = {
    {"constraint_ops", &constraintOps}, {"convert_file", &convertFile},
    {"pair_names", &pairAndNames},      {"transcode", &transcode},
    {"rule_database", &ruleDatabase},
};

}  // namespace loom::fuzz
