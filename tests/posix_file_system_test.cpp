// SPDX-License-Identifier: MIT
// Batch runs on the real disk: links, hidden names, stale temporary files, a disk that changes.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <new>
#include <string>
#include <tuple>
#include <vector>

#include "app/batch.h"
#include "base/directory_snapshot.h"
#include "base/error.h"
#include "base/file_system.h"
#include "support/faulty_file_system.h"
#include "support/rule_db.h"
#include "support/temp_dir.h"

namespace loom::testing {
namespace {

namespace fs = std::filesystem;

TEST(DirectoryOf, IsWhatHoldsThePathWithoutItsLastSlash) {
  for (const auto& [path, dir] :
       {std::pair{"a/b", "a"}, {"/a", "/"}, {"a", "."}, {"/a/b/", "/a/b"}})
    EXPECT_EQ(directoryOf(path), dir) << path;
}

// Made as `mkdir -p` makes them; a file in the way is named.
TEST(CreateDirectories, MakesEveryMissingOneAndNamesTheOneThatCannotBe) {
  TempDir dir;
  const auto posix = makePosixFileSystem();
  posix->createDirectories(dir / "a/b/c");
  posix->createDirectories(dir / "a/b/c");  // there already: nothing to do
  EXPECT_TRUE(fs::is_directory(dir / "a/b/c"));
  writeFile(dir / "file", "x");
  const std::string message =
      testing::errorOf([&] { posix->createDirectories(dir / "file/d"); }, ErrorKind::Io);
  EXPECT_TRUE(contains(message, dir / "file/d")) << message;
}

class PosixRun : public ::testing::Test {
 protected:
  void SetUp() override {
    RuleDb(dir / "rules.mdb").rows("T|TXT|1|||ART\nG|ART|<H2>A</H2>|");
    for (const char* d : {"in", "out", "ref"}) fs::create_directory(dir / d);
    for (const char* name : {"a", "b", "c", "d"})
      writeFile(dir / "in/" + name + ".txt", std::string("Title ") + name + "\r\nbody\r\n");
    run("ref", *posix);
  }
  // One thread by default: the hooks count reads and writes in its order.
  BatchSummary run(const std::string& out, FileSystem& files, unsigned jobs = 1,
                   bool prune = false) {
    BatchOptions o;
    o.prune = prune;
    o.dirs = {dir / "in/", dir / (out + "/")};
    o.rulesPath = dir / "rules.mdb";
    o.jobs = jobs;
    BatchObserver quiet;
    return RunBatch(o, files, quiet);
  }

  TempDir dir;
  std::unique_ptr<FileSystem> posix = makePosixFileSystem();
};

TEST_F(PosixRun, LinksAreReplacedNotFollowedAndOnlyOurStaleTemporaryFilesAreRemoved) {
  for (const char* name : {"a", "b", "c", "d"}) fs::remove(dir / "in/" + name + ".txt");
  fs::create_directory(dir / "in/sub.txt");  // a directory: never a page
  writeFile(dir / "in/.profile.txt", "hidden");
  writeFile(dir / "elsewhere.txt", "Linked text\r\n");
  writeFile(dir / "precious.html", "keep me");
  fs::create_symlink(dir / "elsewhere.txt", dir / "in/linked.txt");
  fs::create_symlink(dir / "nowhere.txt", dir / "in/dangling.txt");
  fs::create_symlink(dir / "precious.html", dir / "out/lwlinked.htm");
  fs::create_symlink(dir / "precious.html", dir / "out/index.html");
  // No process has the first one's id, so it is a killed run's; the second may be a write going on.
  const std::string mine = ".loomwise-" + std::to_string(::getpid()) + "-XyZxYz";
  const std::pair<std::string, bool> rows[] = {
      {".loomwise-99999999-AbCdEf", true},   {mine, false},
      {".loomwise-99999-notes", false},      {".loomwise-99999999-AbCdEf7", false},
      {".loomwise-099999999-AbCdEf", false}, {".loomwise-99999999-Ab.dEf", false}};
  for (const auto& [name, removed] : rows) writeFile(dir / "out/" + name, "kept?");
  fs::create_directory(dir / "out/.loomwise-99999998-DirDir");  // a directory is never ours
  EXPECT_EQ(run("out", *posix).fileCount, 1u);
  EXPECT_EQ(readFile(dir / "precious.html"), "keep me");
  // Files gone since the listing cannot be read, wherever they stand in it (also as root).
  EXPECT_EQ(
      posix->unreadableFiles(dir / "in/", {"linked.txt", "gone.txt", "dangling.txt", "linked.txt"}),
      (std::vector<std::size_t>{1, 2}));
  for (const char* name : {"out/lwlinked.htm", "out/index.html"})
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / name))) << name;
  EXPECT_TRUE(contains(readFile(dir / "out/lwlinked.htm"), "<TITLE>Linked text</TITLE>"));
  const mode_t umask = ::umask(0);
  ::umask(umask);
  EXPECT_EQ(fs::status(dir / "out/lwlinked.htm").permissions(), fs::perms(0666 & ~umask));
  for (const auto& [name, removed] : rows)
    EXPECT_NE(fs::exists(dir / "out/" + name), removed) << name;
  EXPECT_TRUE(fs::exists(dir / "out/.loomwise-99999998-DirDir"));
  // A link the user put in a page's place is theirs: pruning leaves it, whatever its target holds.
  fs::copy_file(dir / "out/lwlinked.htm", dir / "copy.htm");
  fs::remove(dir / "out/lwlinked.htm");
  fs::create_symlink(dir / "copy.htm", dir / "out/lwlinked.htm");
  fs::remove(dir / "in/linked.txt");
  EXPECT_EQ(run("out", *posix, 1, true).pagesRemoved, 0u);
  EXPECT_TRUE(fs::is_symlink(dir / "out/lwlinked.htm"));
}

// Two runs into one output directory never interleave: the second waits, then is refused.
TEST_F(PosixRun, RunIntoAnOutputDirectoryAnotherRunWritesIsRefused) {
  auto held = posix->lockDirectory(dir / "out", std::chrono::milliseconds(0));
  ASSERT_NE(held, nullptr);
  try {
    run("out", *posix);
    ADD_FAILURE() << "not refused";
  } catch (const LoomError& e) {
    EXPECT_TRUE(contains(
        e.what(),
        "Another run of Loomwise is writing into the output directory \"" + dir / "out/\""))
        << e.what();
  }
  EXPECT_TRUE(fs::is_empty(dir / "out"));
  held.reset();
  EXPECT_EQ(run("out", *posix).pagesNew, 4u);
}

// A page written on one thread is put in place on another, in the run's order.
TEST_F(PosixRun, StagedPageIsNowhereUntilCommittedAndADroppedOneLeavesNothing) {
  writeFile(dir / "out/old.htm", "old");
  auto dropped = posix->stageFile(dir / "out/old.htm", "dropped");
  auto fresh = posix->stageFile(dir / "out/new.htm", "new page");
  auto over = posix->stageFile(dir / "out/old.htm", "replaced");
  dropped.reset();
  const auto names = [&] {
    const std::vector<DirectoryEntry> entries = posix->listEntries(dir / "out").value();
    std::vector<std::string> names;
    for (const DirectoryEntry& e : entries) names.push_back(e.name);
    return names;
  };
  EXPECT_EQ(names(), std::vector<std::string>{"old.htm"});
  EXPECT_EQ(readFile(dir / "out/old.htm"), "old");
  fresh->commit();
  over->commit();
  auto listed = names();
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, (std::vector<std::string>{"new.htm", "old.htm"}));
  EXPECT_EQ(readFile(dir / "out/new.htm"), "new page");
  EXPECT_EQ(readFile(dir / "out/old.htm"), "replaced");
  // The listing tells each entry's kind as entryKind() does, without a look of its own.
  fs::create_directory(dir / "out/dir.htm");
  fs::create_symlink(dir / "out/dir.htm", dir / "out/link.htm");
  ASSERT_EQ(::mkfifo((dir / "out/fifo.htm").c_str(), 0600), 0);
  const DirectorySnapshot out(*posix, dir / "out");
  for (const char* name : {"dir.htm", "link.htm", "fifo.htm", "new.htm", "gone.htm"})
    EXPECT_EQ(out.kindOf(name).value_or(PathKind::Missing), posix->entryKind(dir / "out/" + name))
        << name;
  // A state only for what is there: a page gone has none, not one of zeros.
  const auto states = posix->fileStates(dir / "out/", {"new.htm", "gone.htm"});
  EXPECT_TRUE(states[0] && states[0]->size == 8);
  EXPECT_FALSE(states[1]);
  // A read tells the state as a look does.
  std::optional<FileState> read;
  EXPECT_EQ(posix->readFileWithState(dir / "out/new.htm", read), "new page");
  EXPECT_EQ(read, states[0]);
}

// Other threads start converting while the files are looked at, but nothing is written.
TEST_F(PosixRun, InputFileThatCannotBeReadStopsTheRunBeforeAnyPageWithTheOtherProblems) {
  const std::string victim = dir / "in/c.txt";
  for (const bool alsoTarget : {false, true}) {
    for (const unsigned jobs : {1u, 2u, 4u}) {
      if (alsoTarget) fs::create_directory(dir / "out/lwa.htm");
      FaultyFileSystem faulty(*posix);
      faulty.readable = [&](const std::string& path) { return path != victim; };
      const std::string message = errorOf([&] { run("out", faulty, jobs); }, ErrorKind::Io);
      EXPECT_TRUE(contains(message, "\"" + victim + "\" cannot be read")) << message;
      EXPECT_EQ(contains(message, "a directory named \"lwa.htm\""), alsoTarget) << message;
      EXPECT_EQ(directoryNames(dir / "out"),
                alsoTarget ? std::vector<std::string>{"lwa.htm"} : std::vector<std::string>{});
      fs::remove_all(dir / "out/lwa.htm");
    }
  }
}

TEST_F(PosixRun, InputFileOrOutputDirectoryChangedDuringTheRunIsNamed) {
  // Permissions do not stop the superuser, so the file is replaced; a FIFO in
  // its place must not wait for a writer.
  const std::string victim = dir / "in/b.txt", out = dir / "out";
  const std::string input = "file \"" + victim + "\"", gone = "is not a regular file any more (";
  const std::string output = "Cannot create a file in the output directory \"" + out + "/";
  using T = fs::file_type;
  // At the second write or when the victim is read: a change, the message, out/ after the run.
  const std::tuple<bool, std::function<void()>, std::string, std::string, T> rows[] = {
      {false, [] {}, input, ": No such file or directory", T::directory},
      {false, [&] { ::mkfifo(victim.c_str(), 0600); }, input, gone + "a FIFO)", T::directory},
      {false, [] { throw std::bad_alloc(); }, input, "Not enough memory to convert", T::directory},
      {true, [] {}, output, "No such file or directory", T::not_found},
      {true, [&] { writeFile(out, "a file now"); }, output, "Not a directory", T::regular}};
  for (const auto& [atWrite, change, where, what, outAfter] : rows) {
    writeFile(victim, "Title b\r\nbody\r\n");
    FaultyFileSystem faulty(*posix);
    int writes = 0;
    (atWrite ? faulty.beforeWrite : faulty.beforeRead) = [&](const std::string& path) {
      if (atWrite ? ++writes != 2 : path != victim) return;
      fs::remove_all(atWrite ? out : path);
      change();
    };
    const std::string message = errorOf([&] { run("out", faulty); }, ErrorKind::Io);
    EXPECT_TRUE(contains(message, where) && contains(message, what)) << message;
    EXPECT_EQ(fs::status(out).type(), outAfter) << where;
    if (outAfter == T::directory) {  // only complete pages, no index
      for (const std::string& name : directoryNames(out))
        EXPECT_EQ(readFile(out + "/" + name), readFile(dir / "ref/" + name)) << name;
      EXPECT_FALSE(fs::exists(out + "/index.html"));
    }
    fs::remove_all(out);
    fs::remove_all(victim);
    fs::create_directory(out);
  }
}

}  // namespace
}  // namespace loom::testing
