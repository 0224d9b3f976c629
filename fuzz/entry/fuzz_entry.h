// SPDX-License-Identifier: MIT
#pragma once
// The fuzz targets' entry points feed the core arbitrary bytes; only a LoomError may refuse them.

#include <cstdint>

#include "base/codec.h"
#include "base/error.h"
#include "base/text.h"
#include "base/utf8.h"

namespace loom::fuzz {

// A property every input keeps; a broken one throws its name: a crash to libFuzzer, a failed test.
#define LOOMWISE_REQUIRE(property) ((property) ? void() : throw std::logic_error(#property))

template <typename... Texts>
bool validUtf8(const Texts&... texts) {
  return ((firstInvalidUtf8(texts) == std::string_view::npos) && ...);
}

// The input as a flags byte, small fields and a tail (`rest`).
struct FuzzInput {
  FuzzInput(const std::uint8_t* data, std::size_t size)
      : rest(reinterpret_cast<const char*>(data), size), flags(byte()) {}
  std::string take(std::size_t n) {
    std::string taken(rest.substr(0, n));
    rest.remove_prefix(taken.size());
    return taken;
  }
  std::uint8_t byte() { return rest.empty() ? 0 : static_cast<std::uint8_t>(take(1)[0]); }
  std::string text() { return take(byte() % 32); }  // a length byte, then the bytes
  const TextCodec& codec() const { return (flags & 0x08) ? utf8Codec() : windows1252Codec(); }

  std::string_view rest;
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
