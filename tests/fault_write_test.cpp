// A disk that fills up or fails in the middle of a page or of the index
// page: loomwise-batch says which file and why, exits with the I/O code, and
// leaves every file either as it was or complete, with no temporary file.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/faulty_tool.h"
#include "support/rule_db.h"
#include "support/temp_dir.h"

namespace loom::testing {
namespace {

constexpr int kExitIo = 4;

struct WriteFault {
  const char* errnoName;
  const char* message;
};

class WriteFaultTest : public ::testing::TestWithParam<WriteFault> {
 protected:
  void SetUp() override {
    RuleDb(dir / "rules.mdb")
        .fileType("TXT", "1", "<DIV>", "</DIV>", "ART")
        .group("ART", "<H2>Articles</H2>", "");
    for (const char* d : {"in", "out", "ref"}) std::filesystem::create_directory(dir / d);
    std::string big = "A long page\r\n";
    for (int i = 0; i < 2000; ++i) big += "line " + std::to_string(i) + " of the long page\r\n";
    writeFile(dir / "in/big.txt", big);
    const ToolResult ref = runBatchTool(
        {"--quiet", "--jobs", "1", "--rules", dir / "rules.mdb", dir / "in", dir / "ref"});
    ASSERT_EQ(ref.exitCode, 0) << ref.err;
    page = readFile(dir / "ref/lwbig.htm");
    index = readFile(dir / "ref/index.html");
  }

  ToolResult runWithFault(long long afterBytes) {
    return runBatchTool(
        {"--quiet", "--jobs", "1", "--rules", dir / "rules.mdb", dir / "in", dir / "out"},
        {"LD_PRELOAD=" LOOMWISE_WRITE_FAULT_PATH, "LOOMWISE_FAULT_DIR=" + (dir / "out"),
         "LOOMWISE_FAULT_AFTER_BYTES=" + std::to_string(afterBytes),
         std::string("LOOMWISE_FAULT_ERRNO=") + GetParam().errnoName,
         "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"});
  }

  TempDir dir;
  std::string page;
  std::string index;
};

TEST_P(WriteFaultTest, FailureInThePageKeepsTheOldPageAndWritesNoIndex) {
  writeFile(dir / "out/lwbig.htm", "the page of an earlier run");
  const ToolResult r = runWithFault(static_cast<long long>(page.size() / 2));
  EXPECT_EQ(r.exitCode, kExitIo) << r.err;
  EXPECT_NE(r.err.find("lwbig.htm"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(GetParam().message), std::string::npos) << r.err;
  EXPECT_EQ(readFile(dir / "out/lwbig.htm"), "the page of an earlier run");
  EXPECT_FALSE(fileExists(dir / "out/index.html"));
  EXPECT_TRUE(temporaryFiles(dir / "out").empty());
}

TEST_P(WriteFaultTest, FailureInTheIndexPageKeepsTheCompletePageAndTheOldIndex) {
  writeFile(dir / "out/index.html", "the index of an earlier run");
  const ToolResult r = runWithFault(static_cast<long long>(page.size() + index.size() / 2));
  EXPECT_EQ(r.exitCode, kExitIo) << r.err;
  EXPECT_NE(r.err.find("index.html"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(GetParam().message), std::string::npos) << r.err;
  EXPECT_EQ(readFile(dir / "out/lwbig.htm"), page);
  EXPECT_EQ(readFile(dir / "out/index.html"), "the index of an earlier run");
  EXPECT_TRUE(temporaryFiles(dir / "out").empty());
}

TEST_P(WriteFaultTest, TheNextRunOnAHealthyDiskCompletesTheOutput) {
  ASSERT_NE(runWithFault(10).exitCode, 0);
  const ToolResult r =
      runBatchTool({"--quiet", "--rules", dir / "rules.mdb", dir / "in", dir / "out"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(readFile(dir / "out/lwbig.htm"), page);
  EXPECT_EQ(readFile(dir / "out/index.html"), index);
  EXPECT_EQ(directoryNames(dir / "out"), directoryNames(dir / "ref"));
}

TEST(StopSignal, StopsAfterTheFileInProgressOrAtOnceTheSecondTime) {
  const struct {
    std::vector<int> signals;
    int exitCode;
    const char* message;
  } rows[] = {
      {{SIGINT}, 1, "the run was stopped"},
      {{SIGTERM}, 1, "the run was stopped"},
      {{SIGINT, SIGINT}, 128 + SIGINT, ""},
  };
  for (const auto& row : rows) {
    TempDir dir;
    RuleDb(dir / "rules.mdb").fileType("TXT", "1", "", "", "ART").group("ART", "<H2>A</H2>", "");
    for (const char* d : {"in", "out", "ref"}) std::filesystem::create_directory(dir / d);
    for (char c = 'a'; c < 'i'; ++c) writeFile(dir / "in/" + c + ".txt", std::string("Title ") + c);
    ASSERT_EQ(
        runBatchTool({"--quiet", "--rules", dir / "rules.mdb", dir / "in", dir / "ref"}).exitCode,
        0);
    // Every write into out/ takes a while, so the signals land in the middle.
    const ToolResult r = runBatchTool(
        {"--quiet", "--jobs", "1", "--rules", dir / "rules.mdb", dir / "in", dir / "out"},
        {"LD_PRELOAD=" LOOMWISE_WRITE_FAULT_PATH, "LOOMWISE_FAULT_DIR=" + (dir / "out"),
         "LOOMWISE_WRITE_DELAY_MS=150", "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"},
        [&](int pid) {
          for (int i = 0; i < 2000 && directoryNames(dir / "out").empty(); ++i) ::usleep(5000);
          for (const int sig : row.signals) {
            ::kill(pid, sig);
            ::usleep(20000);
          }
        });
    EXPECT_EQ(r.exitCode, row.exitCode) << r.err;
    EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
    EXPECT_FALSE(fileExists(dir / "out/index.html"));
    if (row.exitCode == 1) {
      EXPECT_TRUE(temporaryFiles(dir / "out").empty());
      EXPECT_LT(directoryNames(dir / "out").size(), 8u);
      for (const std::string& name : directoryNames(dir / "out")) {
        EXPECT_EQ(readFile(dir / "out/" + name), readFile(dir / "ref/" + name)) << name;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(DiskFaults, WriteFaultTest,
                         ::testing::Values(WriteFault{"ENOSPC", "No space left on device"},
                                           WriteFault{"EIO", "Input/output error"}),
                         [](const auto& info) { return std::string(info.param.errnoName); });

}  // namespace
}  // namespace loom::testing
