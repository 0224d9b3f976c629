// SPDX-License-Identifier: MIT
// One libFuzzer target; LOOMWISE_FUZZ_ENTRY names the entry point.
#include "fuzz/entry/fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  loom::fuzz::LOOMWISE_FUZZ_ENTRY(data, size);
  return 0;
}
