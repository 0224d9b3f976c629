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

namespace loom::fuzz {

class FuzzFailure : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

inline void require(bool condition, const char* what) {
  if (!condition) throw FuzzFailure(what);
}

// Reads the fuzz input as a few small fields and a tail.
class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size)
      : rest_(reinterpret_cast<const char*>(data), size) {}
  std::uint8_t byte() {
    if (rest_.empty()) return 0;
    const auto b = static_cast<std::uint8_t>(rest_[0]);
    rest_.remove_prefix(1);
    return b;
  }
  // A text of up to 31 bytes: a length byte, then the bytes.
  std::string text() {
    const std::size_t wanted = byte() % 32;  // read before measuring what is left
    const std::size_t n = std::min(wanted, rest_.size());
    std::string t(rest_.substr(0, n));
    rest_.remove_prefix(n);
    return t;
  }
  std::string rest() {
    std::string t(rest_);
    rest_ = {};
    return t;
  }

 private:
  std::string_view rest_;
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
