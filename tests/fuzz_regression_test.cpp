// Replays the fuzz seed corpora and every input a fuzzer once broke the core
// with (fuzz/regressions/<target>/) through the targets' entry points, so a
// fault found once stays mended in the normal test run.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz/entry/fuzz_entry.h"

namespace loom::testing {
namespace {

namespace fs = std::filesystem;

std::string bytesOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FuzzReplay : public ::testing::TestWithParam<fuzz::Target> {
 protected:
  // Runs every input of fuzz/<kind>/<target>/; returns how many there were.
  std::size_t replay(const std::string& kind) {
    std::size_t count = 0;
    std::error_code ignored;
    const fs::path dir = fs::path(LOOMWISE_SOURCE_DIR) / "fuzz" / kind / GetParam().name;
    for (const auto& entry : fs::directory_iterator(dir, ignored)) {
      if (!entry.is_regular_file()) continue;
      const std::string bytes = bytesOf(entry.path());
      ++count;
      EXPECT_NO_THROW(
          GetParam().run(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()))
          << entry.path();
    }
    return count;
  }
};

TEST_P(FuzzReplay, SeedCorpusKeepsEveryProperty) {
  EXPECT_GT(replay("corpus"), 0u) << "no seed corpus";
}

TEST_P(FuzzReplay, EveryFoundFaultStaysMended) { replay("regressions"); }

INSTANTIATE_TEST_SUITE_P(Fuzz, FuzzReplay, ::testing::ValuesIn(fuzz::kTargets),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace loom::testing
