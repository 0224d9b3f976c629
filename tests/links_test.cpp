// Symbolic links: a link to a regular input file is a plain file of the run,
// and a link planted in the output directory is replaced, never written
// through, so a run cannot be turned into writing outside its directory.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/batch.h"
#include "support/rule_db.h"
#include "support/temp_dir.h"

namespace loom {
namespace {

using testing::TempDir;

TEST(Links, InputLinksAreConvertedAndOutputLinksAreReplacedNotFollowed) {
  TempDir dir;
  testing::RuleDb rules(dir / "rules.mdb");
  rules.fileType("TXT", "1", "", "", "G").group("G", "<H2>", "");
  ASSERT_EQ(::mkdir((dir / "in").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((dir / "out").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((dir / "in/sub.txt").c_str(), 0755), 0);  // a directory: never a page
  testing::writeFile(dir / "elsewhere.txt", "Linked text\r\n");
  ASSERT_EQ(::symlink((dir / "elsewhere.txt").c_str(), (dir / "in/linked.txt").c_str()), 0);
  ASSERT_EQ(::symlink((dir / "nowhere.txt").c_str(), (dir / "in/dangling.txt").c_str()), 0);
  testing::writeFile(dir / "precious.html", "keep me");
  ASSERT_EQ(::symlink((dir / "precious.html").c_str(), (dir / "out/lwlinked.htm").c_str()), 0);
  ASSERT_EQ(::symlink((dir / "precious.html").c_str(), (dir / "out/index.html").c_str()), 0);

  const auto fs = makePosixFileSystem();
  BatchObserver quiet;
  BatchOptions options;
  options.dirs = {dir / "in/", dir / "out/"};
  options.rulesPath = rules.path();
  const BatchSummary summary = RunBatch(options, *fs, quiet);
  EXPECT_EQ(summary.fileCount, 1u);  // the link to a file; not the directory, not the dangling link
  EXPECT_EQ(testing::readFile(dir / "precious.html"), "keep me");
  for (const char* name : {"out/lwlinked.htm", "out/index.html"}) {
    struct stat st {};
    ASSERT_EQ(::lstat((dir / name).c_str(), &st), 0) << name;
    EXPECT_TRUE(S_ISREG(st.st_mode)) << name << " is still a link";
  }
  EXPECT_NE(testing::readFile(dir / "out/lwlinked.htm").find("<TITLE>Linked text</TITLE>"),
            std::string::npos);
}

}  // namespace
}  // namespace loom
