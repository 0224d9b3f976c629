// SPDX-License-Identifier: MIT
// The watch runs again for the rules and the input, not their neighbours, hidden files or pages.

#include "app/watch.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <set>
#include <thread>

#include "base/error.h"
#include "support/faulty_file_system.h"
#include "support/memory_file_system.h"
#include "support/rule_db.h"
#include "support/temp_dir.h"

namespace loom {
namespace {

// Scripted batches of changes, then none: the second long wait with none left ends the watch.
// With a pace, every wait takes its time, as a real one does.
struct ScriptedWatcher : FileWatcher {
  std::deque<std::vector<FileChange>> batches;
  std::function<void()> beforeBatch = [] {};  // what changes on disk as a batch is reported
  std::chrono::milliseconds pace{0};
  bool idle = false;
  int emptyWaits = 0;
  void watchDirectory(const std::string&) override {}
  std::vector<FileChange> wait(std::chrono::milliseconds timeout) override {
    if (!batches.empty()) {
      std::this_thread::sleep_for(std::min(timeout, pace));
      std::vector<FileChange> next = std::move(batches.front());
      batches.pop_front();
      beforeBatch();
      emptyWaits = 0;
      return next;
    }
    const bool settling = timeout <= kSettleTime + std::chrono::milliseconds(1);
    if (settling || pace.count() > 0) std::this_thread::sleep_for(timeout);
    idle = idle || (!settling && ++emptyWaits > 1);
    return {};
  }
  void wake() override {}
};

// Input files and a rule database that are links, their targets elsewhere.
struct LinkingFileSystem : testing::MemoryFileSystem {
  std::string rulesDir;
  std::vector<std::pair<std::string, std::string>> linksIn(const std::string& dir) const override {
    if (dir == "/in/") return {{"l.txt", "/else/l.txt"}, {".l.swp", "/else/l.swp"}};
    if (dir == rulesDir) return {{"rules.mdb", "/db/real.mdb"}};
    return {};
  }
};

TEST(WatchSite, RunsAgainOnlyForChangesOfTheRulesOrTheInput) {
  testing::TempDir dir;
  const testing::RuleDb db = testing::RuleDb(dir / "rules.mdb").rows("T|TXT|1|||DOC\nG|DOC||");
  const std::string rulesDir = dir.path();
  const struct {
    std::string dir, name;
    bool inputIsOutput;
    int runs;
    std::size_t ahead;  // pages put in place before the run: only a known input file changed
  } rows[] = {
      {rulesDir, "rules.mdb", false, 2, 0},
      {rulesDir, "notes.txt", false, 1, 0},
      {"/in", "a.txt", false, 2, 1},
      {"/in", ".a.txt.swp", false, 1, 0},
      {"/in", "", false, 2, 0},
      {"/in", "lwa.htm", true, 1, 0},
      {"/in", "index.html", true, 1, 0},
      {"/in", "b.txt", true, 2, 0},
      {"/else", "l.txt", false, 2, 0},  // a link's target
      {"/else", "m.txt", false, 1, 0},
      {"/else", "l.swp", false, 1, 0},  // that of a hidden link
      {"/db", "real.mdb", false, 2, 0},
      {"/out", "lwa.htm", false, 1, 0},
      {"/out", "", false, 2, 0},  // the output directory went
  };
  for (const auto& row : rows) {
    LinkingFileSystem fs;
    fs.rulesDir = rulesDir;
    for (const char* d : {"/in/", "/out/"}) fs.addDirectory(d);
    fs.addFile("/in/a.txt", "A\r\n");
    BatchOptions options;
    options.dirs = {"/in/", row.inputIsOutput ? "/in/" : "/out/"};
    options.rulesPath = db.path();
    ScriptedWatcher watcher;
    watcher.batches.push_back({{row.dir, row.name}});
    watcher.beforeBatch = [&] { fs.addFile("/in/a.txt", "B\r\n"); };
    int runs = 0;
    std::size_t ahead = 0;
    struct PageAtStart final : BatchObserver {  // the page as each run starts
      const testing::MemoryFileSystem& fs;
      std::string path, page;
      PageAtStart(const testing::MemoryFileSystem& f, std::string p) : fs(f), path(std::move(p)) {}
      void runStarted(std::size_t) override { page = fs.tryReadFile(path).value_or(""); }
    } atStart(fs, options.dirs.output + "lwa.htm");
    watchSite(options, fs, watcher,
              {atStart,
               [&](const WatchRun& run) {
                 EXPECT_TRUE(run.summary.has_value())
                     << row.name << (run.problems.empty() ? "" : run.problems[0]);
                 ++runs;
                 ahead += run.pagesAhead;
               },
               [&] { return watcher.idle; }});
    EXPECT_EQ(runs, row.runs) << row.dir << "/" << row.name;
    EXPECT_EQ(ahead, row.ahead) << row.dir << "/" << row.name;
    // The page follows its source: made ahead, it is there before the run starts.
    EXPECT_EQ(testing::contains(fs.contents(options.dirs.output + "lwa.htm"), "<TITLE>B</TITLE>"),
              row.runs == 2)
        << row.dir << "/" << row.name;
    EXPECT_EQ(testing::contains(atStart.page, "<TITLE>B</TITLE>"), row.ahead == 1)
        << row.dir << "/" << row.name;
  }
}

// A run that fails part-way says how many files it had done, and is tried again after a while;
// a refused one says that it wrote none, and waits for a change.
TEST(WatchSite, FailedRunSaysHowFarItCameAndIsTriedAgain) {
  testing::TempDir dir;
  const testing::RuleDb db = testing::RuleDb(dir / "rules.mdb").rows("T|TXT|1|||DOC\nG|DOC||");
  testing::MemoryFileSystem memory;
  testing::FaultyFileSystem fs(memory);
  for (const char* d : {"/in/", "/out/"}) memory.addDirectory(d);
  for (const char* f : {"/in/a.txt", "/in/b.txt"}) memory.addFile(f, "A\r\n");
  BatchOptions options;
  options.dirs = {"/in/", "/out/"};
  options.rulesPath = db.path();
  options.jobs = 1;
  ScriptedWatcher watcher;
  watcher.pace = std::chrono::milliseconds(50);
  std::vector<std::pair<bool, std::size_t>> runs;  // succeeded, files done before a failure
  BatchObserver silent;
  watchSite(options, fs, watcher,
            {silent,
             [&](const WatchRun& run) {
               runs.emplace_back(run.summary.has_value(), run.filesDone);
               if (runs.size() == 1) {  // b's new page meets a full disk, made ahead and in the run
                 memory.addFile("/in/b.txt", "B\r\n");
                 watcher.batches.push_back({{"/in", "b.txt"}});
                 fs.beforeWrite = [&fs, tries = 2](const std::string& path) mutable {
                   if (path != "/out/lwb.htm") return;
                   if (--tries == 0) fs.beforeWrite = {};  // room again for the next try
                   throw LoomError(ErrorKind::Io, "disk full");
                 };
               }
               if (runs.size() == 3) {
                 memory.addFile("/in/c.lst", "no file type");
                 watcher.batches.push_back({{"/in", "c.lst"}});
               }
             },
             [&] { return watcher.idle; }});
  const std::vector<std::pair<bool, std::size_t>> expected = {
      {true, 0}, {false, 1}, {true, 0}, {false, 0}};
  EXPECT_EQ(runs, expected);
}

// A directory that went and came back is watched again; a file written to without pause (every
// 150 ms here) gets a run at least once a second.
TEST(WatchSite, FollowsDirectoriesThatComeBackAndFilesThatNeverSettle) {
  testing::TempDir dir;
  const testing::RuleDb db = testing::RuleDb(dir / "rules.mdb").rows("T|TXT|1|||DOC\nG|DOC||");
  testing::MemoryFileSystem fs;
  for (const char* d : {"/in/", "/out/"}) fs.addDirectory(d);
  fs.addFile("/in/a.txt", "A\r\n");
  BatchOptions options;
  options.dirs = {"/in/", "/out/"};
  options.rulesPath = db.path();
  ScriptedWatcher watcher;
  watcher.pace = std::chrono::milliseconds(150);
  std::vector<bool> runs;
  BatchObserver silent;
  watchSite(options, fs, watcher,
            {silent,
             [&](const WatchRun& run) {
               runs.push_back(run.summary.has_value());
               if (runs.size() == 1) {
                 fs.removeDirectory("/out/");
                 watcher.batches.push_back({{"/out", ""}});
               }
               if (runs.size() == 2) fs.addDirectory("/out/");  // no word of it but its return
               if (runs.size() == 3) watcher.batches.assign(12, {{"/in", "a.txt"}});
             },
             [&] { return watcher.idle; }});
  ASSERT_GE(runs.size(), 5u);
  EXPECT_EQ(std::vector<bool>(runs.begin(), runs.begin() + 3),
            (std::vector<bool>{true, false, true}));
}

// A page is written as a file without a name until complete: its writes are no one's change.
TEST(InotifyWatcher, ReportsPagesByTheirOwnNamesOnly) {
  testing::TempDir dir;
  const auto watcher = makeFileWatcher();
  watcher->watchDirectory(dir.path());
  const auto fs = makePosixFileSystem();
  for (const char* bytes : {"new", "changed"}) fs->writeFileAtomically(dir / "lwa.htm", bytes);
  std::set<std::string> names;
  for (const FileChange& c : watcher->wait(std::chrono::seconds(1)))
    if (c.name.empty() || c.name[0] != '.') names.insert(c.name);
  EXPECT_EQ(names, std::set<std::string>{"lwa.htm"});
}

}  // namespace
}  // namespace loom
