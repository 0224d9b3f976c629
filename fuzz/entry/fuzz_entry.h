#pragma once
// The entry points of the fuzz targets: each drives one part of the core with
// arbitrary bytes and checks what must hold for every input. A broken property
// throws FuzzFailure (a crash to libFuzzer, a failed case to the regression
// test); only a LoomError may refuse an input.

#include <cstdint>

#include "base/codec.h"
#include "base/error.h"
#include "base/text.h"
#include "base/utf8.h"

namespace loom::fuzz {

struct FuzzFailure : std::logic_error {
  using std::logic_error::logic_error;
};

inline void require(bool condition, const char* what) {
  if (!condition) throw FuzzFailure(what);
}

template <typename... Texts>
bool validUtf8(const Texts&... texts) {
  return ((firstInvalidUtf8(texts) == std::string_view::npos) && ...);
}

// The input as a flags byte, small fields and a tail.
class FuzzInput {
  std::string_view rest_;  // first, for `flags` is read from it

  std::string take(std::size_t n) {
    std::string taken(rest_.substr(0, n));
    rest_.remove_prefix(taken.size());
    return taken;
  }

 public:
  FuzzInput(const std::uint8_t* data, std::size_t size)
      : rest_(reinterpret_cast<const char*>(data), size), flags(byte()) {}
  std::uint8_t byte() { return rest_.empty() ? 0 : static_cast<std::uint8_t>(take(1)[0]); }
  std::string text() { return take(byte() % 32); }  // a length byte, then the bytes
  std::string rest() { return take(rest_.size()); }
  const TextCodec& codec() const { return (flags & 0x08) ? utf8Codec() : windows1252Codec(); }

  const std::uint8_t flags;
};

using Entry = void(const std::uint8_t* data, std::size_t size);
Entry constraintOps, convertFile, pairAndNames, transcode, ruleDatabase;  // one per target

struct Target {
  const char* name;  // also the directory of its corpus and regressions
  Entry* run;
};

inline constexpr Target kTargets[] = {
    {"constraint_ops", &constraintOps}, {"convert_file", &convertFile},
    {"pair_names", &pairAndNames},      {"transcode", &transcode},
    {"rule_database", &ruleDatabase},
};

}  // namespace loom::fuzz
