// The disk changes under a running batch: an input file vanishes or becomes
// unreadable after the listing, the output directory goes away. The run
// stops with an I/O error naming the file; the pages written before are
// complete, no index page is written, no temporary file stays.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <new>
#include <string>

#include "app/batch.h"
#include "base/error.h"
#include "support/faulty_file_system.h"
#include "support/faulty_tool.h"
#include "support/rule_db.h"
#include "support/temp_dir.h"

namespace loom::testing {
namespace {

namespace fs = std::filesystem;

class DiskFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RuleDb(dir / "rules.mdb").fileType("TXT", "1", "", "", "ART").group("ART", "<H2>A</H2>", "");
    for (const char* d : {"in", "out", "ref"}) fs::create_directory(dir / d);
    for (const char* name : {"a", "b", "c", "d"}) {
      writeFile(dir / "in/" + name + ".txt", std::string("Title ") + name + "\r\nbody\r\n");
    }
    BatchObserver quiet;
    auto posix = makePosixFileSystem();
    RunBatch(options("ref"), *posix, quiet);
  }

  BatchOptions options(const std::string& out) {
    BatchOptions o;
    o.dirs = {dir / "in/", dir / (out + "/")};
    o.rulesPath = dir / "rules.mdb";
    o.jobs = 1;
    return o;
  }

  // Runs into out/ with the hooks set on `faulty`; returns the message of
  // the LoomError the run must throw.
  std::string failingRun(const std::function<void(FaultyFileSystem&)>& arm) {
    auto posix = makePosixFileSystem();
    FaultyFileSystem faulty(*posix);
    arm(faulty);
    BatchObserver quiet;
    try {
      RunBatch(options("out"), faulty, quiet);
    } catch (const LoomError& e) {
      EXPECT_EQ(e.kind(), ErrorKind::Io);
      return e.what();
    }
    ADD_FAILURE() << "the run did not fail";
    return "";
  }

  // Every page left in out/ is the complete page of an undisturbed run.
  void expectOnlyCompletePages() {
    if (!fs::exists(dir / "out")) return;
    for (const std::string& name : directoryNames(dir / "out")) {
      EXPECT_EQ(readFile(dir / "out/" + name), readFile(dir / "ref/" + name)) << name;
    }
    EXPECT_FALSE(fileExists(dir / "out/index.html"));
    EXPECT_TRUE(temporaryFiles(dir / "out").empty());
  }

  TempDir dir;
};

TEST_F(DiskFaultTest, InputFileThatVanishesAfterTheListingIsNamed) {
  const std::string victim = dir / "in/c.txt";
  const std::string message = failingRun([&](FaultyFileSystem& f) {
    f.beforeRead = [victim](const std::string& path) {
      if (path == victim) fs::remove(path);
    };
  });
  EXPECT_NE(message.find("Cannot open the input file \"" + victim + "\""), std::string::npos)
      << message;
  EXPECT_NE(message.find("No such file or directory"), std::string::npos) << message;
  expectOnlyCompletePages();
}

TEST_F(DiskFaultTest, InputFileThatCannotBeReadAfterTheListingIsNamedAndNeverWaitedFor) {
  // Permissions do not stop the superuser; a directory in the file's place
  // cannot be read by anyone, and a FIFO there must not wait for a writer.
  const std::string victim = dir / "in/b.txt";
  const struct {
    std::function<void()> change;
    std::string message;
  } rows[] = {
      {[&] { fs::create_directory(victim); }, "is not a regular file any more (a directory)"},
      {[&] { ::mkfifo(victim.c_str(), 0600); }, "is not a regular file any more (a FIFO)"},
      {[] { throw std::bad_alloc(); }, "Not enough memory to convert the file"},
  };
  for (const auto& row : rows) {
    writeFile(victim, "Title b\r\nbody\r\n");
    const std::string message = failingRun([&](FaultyFileSystem& f) {
      f.beforeRead = [&](const std::string& path) {
        if (path != victim) return;
        fs::remove(path);
        row.change();
      };
    });
    EXPECT_NE(message.find("file \"" + victim + "\""), std::string::npos) << message;
    EXPECT_NE(message.find(row.message), std::string::npos) << message;
    expectOnlyCompletePages();
    fs::remove(victim);
  }
}

TEST_F(DiskFaultTest, OutputDirectoryRemovedDuringTheRunIsNamed) {
  int writes = 0;
  const std::string out = dir / "out";
  const std::string message = failingRun([&](FaultyFileSystem& f) {
    f.beforeWrite = [&writes, out](const std::string&) {
      if (++writes == 2) fs::remove_all(out);
    };
  });
  EXPECT_NE(message.find("Cannot create a file in the output directory \"" + out + "/"),
            std::string::npos)
      << message;
  EXPECT_NE(message.find("No such file or directory"), std::string::npos) << message;
  EXPECT_FALSE(fs::exists(out));
}

TEST_F(DiskFaultTest, OutputDirectoryReplacedByAFileDuringTheRunIsNamed) {
  int writes = 0;
  const std::string out = dir / "out";
  const std::string message = failingRun([&](FaultyFileSystem& f) {
    f.beforeWrite = [&writes, out](const std::string&) {
      if (++writes != 3) return;
      fs::remove_all(out);
      writeFile(out, "a file now");
    };
  });
  EXPECT_NE(message.find(out + "/"), std::string::npos) << message;
  EXPECT_NE(message.find("Not a directory"), std::string::npos) << message;
  EXPECT_EQ(readFile(out), "a file now");
}

TEST_F(DiskFaultTest, OnlyStaleTemporaryFilesOfThisProgramAreRemovedByTheNextRun) {
  // A process id above the kernel's limit cannot be running.
  const std::string live = ".loomwise-" + std::to_string(::getpid()) + "-XyZxYz";
  const struct {
    std::string name;
    bool removed;
  } rows[] = {
      {".loomwise-99999999-AbCdEf", true},  // a killed run's
      {live, false},                        // could be a write still going
      {".loomwise-99999-notes", false},     // a user's file: not our pattern
      {".loomwise-99999999-AbCdEf7", false},
      {".loomwise-099999999-AbCdEf", false},
      {".loomwise-99999999-Ab.dEf", false},
      {".loomwise-99999998-DirDir", false},  // a directory is never ours
  };
  for (const auto& row : rows) writeFile(dir / "out/" + row.name, "kept?");
  fs::remove(dir / "out/.loomwise-99999998-DirDir");
  fs::create_directory(dir / "out/.loomwise-99999998-DirDir");
  auto posix = makePosixFileSystem();
  BatchObserver quiet;
  RunBatch(options("out"), *posix, quiet);
  for (const auto& row : rows)
    EXPECT_NE(fs::exists(dir / "out/" + row.name), row.removed) << row.name;
}

}  // namespace
}  // namespace loom::testing
