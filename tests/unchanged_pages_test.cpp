// A second run over unchanged input touches no file, so rsync, make or a web
// server's cache see only real changes.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include "app/batch.h"
#include "support/rule_db.h"
#include "support/temp_dir.h"

namespace loom {
namespace {

using testing::TempDir;

time_t modified(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mtime;
}

void makeOld(const std::string& path) {
  const utimbuf old{1000000000, 1000000000};
  ASSERT_EQ(::utime(path.c_str(), &old), 0) << path;
}

TEST(UnchangedPages, AreNotRewrittenAndOnlyChangedPagesAre) {
  TempDir dir;
  testing::RuleDb rules(dir / "rules.mdb");
  rules.fileType("TXT", "1", "", "", "G").group("G", "<H2>", "");
  ASSERT_EQ(::mkdir((dir / "in").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((dir / "out").c_str(), 0755), 0);
  testing::writeFile(dir / "in/a.txt", "Alpha\r\n");
  testing::writeFile(dir / "in/b.txt", "Beta\r\n");
  const auto fs = makePosixFileSystem();
  BatchObserver quiet;
  BatchOptions options;
  options.dirs = {dir / "in/", dir / "out/"};
  options.rulesPath = rules.path();
  options.jobs = 2;

  BatchSummary first = RunBatch(options, *fs, quiet);
  EXPECT_EQ(first.pagesNew, 2u);
  for (const char* name : {"out/lwa.htm", "out/lwb.htm", "out/index.html"}) makeOld(dir / name);

  BatchSummary second = RunBatch(options, *fs, quiet);
  EXPECT_EQ(second.pagesUnchanged, 2u);
  EXPECT_EQ(second.pagesNew + second.pagesChanged, 0u);
  for (const char* name : {"out/lwa.htm", "out/lwb.htm", "out/index.html"}) {
    EXPECT_EQ(modified(dir / name), 1000000000) << name;
  }

  testing::writeFile(dir / "in/b.txt", "Beta, second edition\r\n");
  BatchSummary third = RunBatch(options, *fs, quiet);
  EXPECT_EQ(third.pagesChanged, 1u);
  EXPECT_EQ(third.pagesUnchanged, 1u);
  EXPECT_EQ(modified(dir / "out/lwa.htm"), 1000000000);
  EXPECT_NE(modified(dir / "out/lwb.htm"), 1000000000);
  EXPECT_NE(modified(dir / "out/index.html"), 1000000000);  // the title changed
}

}  // namespace
}  // namespace loom
