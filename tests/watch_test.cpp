// The watch runs again for the rules and the input, not their neighbours, hidden files or pages.

#include "app/watch.h"

#include <gtest/gtest.h>

#include <deque>
#include <set>
#include <thread>

#include "base/error.h"
#include "support/faulty_file_system.h"
#include "support/memory_file_system.h"
#include "support/rule_db.h"
#include "support/temp_dir.h"

namespace loom {
namespace {

// One scripted batch of changes, then none: the first long wait with none left ends the watch.
struct ScriptedWatcher : FileWatcher {
  std::deque<std::vector<FileChange>> batches;
  bool idle = false;
  void watchDirectory(const std::string&) override {}
  std::vector<FileChange> wait(std::chrono::milliseconds timeout) override {
    if (!batches.empty()) {
      std::vector<FileChange> next = std::move(batches.front());
      batches.pop_front();
      return next;
    }
    const bool settling = timeout <= kSettleTime + std::chrono::milliseconds(1);
    if (settling) std::this_thread::sleep_for(timeout);
    idle = idle || !settling;
    return {};
  }
  void wake() override {}
};

TEST(WatchSite, RunsAgainOnlyForChangesOfTheRulesOrTheInput) {
  testing::TempDir dir;
  const testing::RuleDb db = testing::RuleDb(dir / "rules.mdb").rows("T|TXT|1|||DOC\nG|DOC||");
  const std::string rulesDir = dir.path();
  const struct {
    std::string dir, name;
    bool inputIsOutput;
    int runs;
  } rows[] = {
      {rulesDir, "rules.mdb", false, 2},
      {rulesDir, "notes.txt", false, 1},
      {"/in", "a.txt", false, 2},
      {"/in", ".a.txt.swp", false, 1},
      {"/in", "", false, 2},
      {"/in", "lwa.htm", true, 1},
      {"/in", "b.txt", true, 2},
  };
  for (const auto& row : rows) {
    testing::MemoryFileSystem fs;
    for (const char* d : {"/in/", "/out/"}) fs.addDirectory(d);
    fs.addFile("/in/a.txt", "A\r\n");
    BatchOptions options;
    options.dirs = {"/in/", row.inputIsOutput ? "/in/" : "/out/"};
    options.rulesPath = db.path();
    ScriptedWatcher watcher;
    watcher.batches.push_back({{row.dir, row.name}});
    int runs = 0;
    BatchObserver silent;
    watchSite(options, fs, watcher,
              {silent,
               [&](const WatchRun& run) {
                 EXPECT_TRUE(run.summary.has_value())
                     << row.name << (run.problems.empty() ? "" : run.problems[0]);
                 ++runs;
               },
               [&] { return watcher.idle; }});
    EXPECT_EQ(runs, row.runs) << row.dir << "/" << row.name;
  }
}

// A run that fails part-way says how many files it had done; a refused one, that it wrote none.
TEST(WatchSite, FailedRunSaysHowFarItCame) {
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
  std::vector<std::pair<bool, std::size_t>> runs;  // succeeded, files done before a failure
  BatchObserver silent;
  watchSite(options, fs, watcher,
            {silent,
             [&](const WatchRun& run) {
               runs.emplace_back(run.summary.has_value(), run.filesDone);
               if (runs.size() == 1) {  // b's new page meets a full disk
                 memory.addFile("/in/b.txt", "B\r\n");
                 watcher.batches.push_back({{"/in", "b.txt"}});
                 fs.beforeWrite = [](const std::string& path) {
                   if (path == "/out/lwb.htm") throw LoomError(ErrorKind::Io, "disk full");
                 };
               }
               if (runs.size() == 2) {
                 memory.addFile("/in/c.lst", "no file type");
                 watcher.batches.push_back({{"/in", "c.lst"}});
               }
             },
             [&] { return watcher.idle; }});
  const std::vector<std::pair<bool, std::size_t>> expected = {{true, 0}, {false, 1}, {false, 0}};
  EXPECT_EQ(runs, expected);
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
