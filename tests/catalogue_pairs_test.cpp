// Bad-input catalogue: the directory pair and the directories. Each case
// runs the real loomwise-batch and states the exit code and the message it
// must give; none of them writes anything.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/batch.h"
#include "app/pair.h"
#include "base/error.h"
#include "support/faulty_site.h"
#include "support/memory_file_system.h"

namespace loom::testing {
namespace {

struct PairCase {
  const char* name;
  std::vector<std::string> args;  // {in} {out} {file} {missing} are replaced
  int exitCode;
  std::vector<std::string> messages;  // each must appear on stderr
};

std::string expand(std::string s, const Site& site) {
  const std::pair<const char*, std::string> keys[] = {{"{in}", site.in()},
                                                      {"{out}", site.out()},
                                                      {"{file}", site.dir / "file.txt"},
                                                      {"{missing}", site.dir / "missing"}};
  for (const auto& [key, value] : keys) {
    for (std::size_t at; (at = s.find(key)) != std::string::npos;)
      s.replace(at, std::string(key).size(), value);
  }
  return s;
}

class PairCatalogue : public ::testing::TestWithParam<PairCase> {};

TEST_P(PairCatalogue, GivesItsMessageAndWritesNothing) {
  Site site;
  site.input("a.txt", "Title\r\n");
  writeFile(site.dir / "file.txt", "a file, not a directory");
  std::vector<std::string> args{"--rules", site.rulesPath()};
  for (const std::string& a : GetParam().args) args.push_back(expand(a, site));
  const ToolResult r = runBatchTool(args);
  EXPECT_EQ(r.exitCode, GetParam().exitCode) << r.err;
  for (const std::string& m : GetParam().messages) {
    EXPECT_NE(r.err.find(expand(m, site)), std::string::npos)
        << "missing: " << expand(m, site) << "\n"
        << r.err;
  }
  EXPECT_TRUE(site.outputNames().empty());
  EXPECT_EQ(readFile(site.dir / "file.txt"), "a file, not a directory");
}

const std::string kBoth = kBothPathsMessage;

INSTANTIATE_TEST_SUITE_P(
    Catalogue, PairCatalogue,
    ::testing::Values(PairCase{"PairWithoutComma", {"{in}"}, kExitUsage, {kBoth}},
                      PairCase{"NoPairAtAll", {}, kExitUsage, {kBoth}},
                      PairCase{"EmptyInputPart", {",{out}"}, kExitUsage, {kBoth}},
                      PairCase{"BlankInputPart", {"   ,{out}"}, kExitUsage, {kBoth}},
                      PairCase{"EmptyOutputPart", {"{in},"}, kExitUsage, {kBoth}},
                      PairCase{"BlankOutputPart", {"{in},   "}, kExitUsage, {kBoth}},
                      PairCase{"ThreeDirectoriesWithoutComma",
                               {"{in}", "{out}", "{out}"},
                               kExitUsage,
                               {"expected INPUT-DIR OUTPUT-DIR"}},
                      PairCase{"InputDirectoryMissing",
                               {"{missing},{out}"},
                               kExitIo,
                               {"Input directory \"{missing}/\" does not exist"}},
                      PairCase{"InputIsAFile",
                               {"{file}", "{out}"},
                               kExitIo,
                               {"Input directory \"{file}/\" is not a directory"}},
                      PairCase{"OutputDirectoryMissing",
                               {"{in}", "{missing}"},
                               kExitIo,
                               {"Output directory \"{missing}/\" does not exist"}},
                      PairCase{"OutputIsAFile",
                               {"{in}", "{file}"},
                               kExitIo,
                               {"Output directory \"{file}/\" is not a directory"}},
                      PairCase{"BothMissingAreListedTogether",
                               {"--check", "{missing}", "{missing}"},
                               kExitIo,
                               {"Input directory \"{missing}/\" does not exist",
                                "Output directory \"{missing}/\" does not exist",
                                "2 problem(s); nothing was written"}},
                      PairCase{"UnknownOption",
                               {"--frobnicate", "{in}", "{out}"},
                               kExitUsage,
                               {"unknown option \"--frobnicate\""}},
                      PairCase{"JobsNotANumber",
                               {"--jobs", "many", "{in}", "{out}"},
                               kExitUsage,
                               {"--jobs needs a whole number"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Root ignores permission bits, so an unwritable output directory is shown
// on the in-memory file system.
TEST(PairCatalogueMemory, OutputDirectoryThatCannotBeWrittenIsRefusedBeforeAnyPage) {
  Site site;  // for the rule database
  MemoryFileSystem fs;
  fs.addDirectory("/in/");
  fs.addDirectory("/out/", /*writable=*/false);
  fs.addFile("/in/a.txt", "Title\r\n");
  BatchOptions options;
  options.dirs = {"/in/", "/out/"};
  options.rulesPath = site.rulesPath();
  BatchObserver quiet;
  try {
    RunBatch(options, fs, quiet);
    FAIL() << "the run went ahead";
  } catch (const ValidationError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::Io);
    EXPECT_STREQ(e.what(), "Output directory \"/out/\" cannot be written");
  }
  EXPECT_EQ(fs.writes("/out/lwa.htm"), 0);
}

}  // namespace
}  // namespace loom::testing
