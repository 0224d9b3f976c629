// Replays the fuzz seed corpora and every input a fuzzer once broke the core
// with (fuzz/regressions/<target>/) through the targets' entry points, so a
// fault found once stays mended in the normal test run.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/entry/fuzz_entry.h"

namespace loom::testing {
namespace {

namespace fs = std::filesystem;

std::string bytesOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<fs::path> inputsOf(const std::string& kind, const std::string& target) {
  std::vector<fs::path> inputs;
  const fs::path dir = fs::path(LOOMWISE_SOURCE_DIR) / "fuzz" / kind / target;
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(dir, ignored)) {
    if (entry.is_regular_file()) inputs.push_back(entry.path());
  }
  return inputs;
}

class FuzzReplay : public ::testing::TestWithParam<fuzz::Target> {};

TEST_P(FuzzReplay, SeedCorpusKeepsEveryProperty) {
  const auto inputs = inputsOf("corpus", GetParam().name);
  EXPECT_FALSE(inputs.empty()) << "no seed corpus for " << GetParam().name;
  for (const fs::path& input : inputs) {
    const std::string bytes = bytesOf(input);
    EXPECT_NO_THROW(
        GetParam().run(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()))
        << input;
  }
}

TEST_P(FuzzReplay, EveryFoundFaultStaysMended) {
  for (const fs::path& input : inputsOf("regressions", GetParam().name)) {
    const std::string bytes = bytesOf(input);
    EXPECT_NO_THROW(
        GetParam().run(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()))
        << input;
  }
}

INSTANTIATE_TEST_SUITE_P(Fuzz, FuzzReplay, ::testing::ValuesIn(fuzz::kTargets),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace loom::testing
