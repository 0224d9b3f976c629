// SPDX-License-Identifier: MIT
// Replays the fuzz seed corpora and fuzz/regressions/, so a fault found once stays mended.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>

#include "fuzz/entry/fuzz_entry.h"
#include "support/temp_dir.h"

namespace loom::fuzz {

// Lists a target by its name, not by its bytes, which change with every
// build and would rename the test each time.
void PrintTo(const Target& target, std::ostream* os) { *os << target.name; }

}  // namespace loom::fuzz

namespace loom::testing {
namespace {

namespace fs = std::filesystem;

class FuzzReplay : public ::testing::TestWithParam<fuzz::Target> {};

TEST_P(FuzzReplay, SeedCorpusAndEveryFoundFaultPass) {
  for (const char* kind : {"corpus", "regressions"}) {
    std::size_t count = 0;
    std::error_code ignored;
    const fs::path dir = fs::path(LOOMWISE_SOURCE_DIR) / "fuzz" / kind / GetParam().name;
    for (const auto& entry : fs::directory_iterator(dir, ignored)) {
      if (!entry.is_regular_file()) continue;
      const std::string bytes = readFile(entry.path());
      ++count;
      EXPECT_NO_THROW(
          GetParam().run(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()))
          << entry.path();
    }
    EXPECT_TRUE(count > 0 || kind[0] == 'r') << "no seed corpus";
  }
}

INSTANTIATE_TEST_SUITE_P(Fuzz, FuzzReplay, ::testing::ValuesIn(fuzz::kTargets),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace loom::testing
