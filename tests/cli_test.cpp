// loomwise-batch run as a script runs it: arguments, exit status, and what
// it prints, on temporary directories; a disk that fails under it (a write()
// that fails part-way, preloaded), signals, and --watch.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/manifest.h"
#include "app/pair.h"
#include "support/rule_db.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace loom::testing {
namespace {

namespace fs = std::filesystem;
const std::vector<std::string> kTwoPages = {kManifestName, "index.html", "lwone.htm", "lwtwo.htm"};
const std::string kFault = "LD_PRELOAD=" LOOMWISE_WRITE_FAULT_PATH;
const std::string kAsan = "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0";

// Rules for *.txt in one group, an input directory with two files and an
// empty output directory.
struct Workspace {
  TempDir dir;
  RuleDb db{dir / "rules.mdb"};
  std::string in = dir / "in", out = dir / "out";
  explicit Workspace(const std::string& rules = "C|GEN|7|a|b") {
    db.rows("T|TXT|1|||DOC\nG|DOC|<H2>Docs</H2>|\n" + rules);
    fs::create_directory(in);
    fs::create_directory(out);
    writeFile(in + "/one.txt", "One\r\n");
    writeFile(in + "/two.txt", "Two\r\n");
  }
  CommandResult run(std::vector<std::string> args, const std::vector<std::string>& env = {},
                    const std::function<void(int, const std::string&)>& whileRunning = {}) const {
    if (std::find(args.begin(), args.end(), "--rules") == args.end())
      args.insert(args.begin(), {"--rules", db.path()});
    return runCommand(kBatch, args, env, whileRunning);
  }
};

TEST(LoomwiseBatch, ConvertsAndPrintsTheIndexPath) {
  Workspace w;
  const std::string comma = w.dir / "out,c";
  fs::create_directory(comma);
  // Two arguments are two directories as typed; only one argument is split.
  const std::vector<std::pair<std::vector<std::string>, std::string>> rows = {
      {{w.in, w.out}, w.out}, {{w.in + "," + w.out}, w.out}, {{w.in, comma}, comma}};
  for (const auto& [pair, out] : rows) {
    const CommandResult r = w.run(pair);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, out + "/index.html\n");
    EXPECT_EQ(directoryNames(out), kTwoPages);
    // The row of Type 7 is reported once, not once per line or file.
    EXPECT_EQ(r.err.substr(0, r.err.find(" in ")),
              "Processing file 1 of 2\nError condition: Constraints row 1 (FileType \"GEN\"): "
              "Type \"7\" is not 1 to 4; the row is ignored\nProcessing file 1 of 2 (50%)\n"
              "Processing file 2 of 2 (100%)\nCreating index file...\nFinished processing "
              "files\n2 file(s)")
        << r.err;
  }
  writeFile(w.in + "/two.txt", "Two\nlines\n");  // LF alone ends a line: no warning
  const CommandResult quiet = w.run({"--quiet", "--line-ends", "any", w.in, w.out});
  EXPECT_EQ(quiet.exitCode, 0);
  EXPECT_EQ(quiet.out + quiet.err,
            "Error condition: Constraints row 1 (FileType \"GEN\"): "
            "Type \"7\" is not 1 to 4; the row is ignored\n");
  // A pair with blanks that the shell split is joined again.
  fs::create_directory(w.dir / "my in");
  fs::create_directory(w.dir / "my out");
  const CommandResult r = w.run({w.dir / "my", "in," + (w.dir / "my"), "out"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, (w.dir / "my out") + "/index.html\n");
}

TEST(LoomwiseBatch, BadArgumentsDirectoriesAndRulesGiveTheirExitCodeAndWriteNothing) {
  Workspace w;
  const std::string file = w.dir / "file.txt", missing = w.dir / "missing",
                    both = kBothPathsMessage;
  writeFile(file, "a file, not a directory");
  RuleDb bad(w.dir / "bad.mdb");
  bad.rows("T|TXT|1|||DOC\nT|LST|x|||NOGROUP\nG|DOC||");
  const std::string odd = w.dir / "odd";  // files the bad rules have no type or group for
  fs::create_directory(odd);
  writeFile(odd + "/three.doc", "x");
  writeFile(odd + "/four.lst", "x");
  const struct {
    std::vector<std::string> args;
    int exitCode;
    std::string message;
  } rows[] = {
      {{w.in}, 2, both},
      {{}, 2, both},
      {{w.in, ""}, 2, both},
      {{w.in, w.out, w.out}, 2, "expected INPUT-DIR OUTPUT-DIR"},
      {{"--frobnicate", w.in, w.out}, 2, "unknown option \"--frobnicate\""},
      {{"--jobs", "many", w.in, w.out}, 2, "--jobs needs a whole number"},
      {{file, w.out}, 4, "Input directory \"" + file + "/\" is not a directory"},
      {{w.in, file}, 4, "Output directory \"" + file + "/\" is not a directory"},
      {{"--check", missing, missing}, 4, "2 problem(s); nothing was written"},
      {{"--rules", missing, w.in, w.out},
       3,
       "Rule database \"" + missing + "\": cannot be opened: No such file or directory"},
      {{"--rules", file, w.in, w.out}, 3, "Rule database \"" + file + "\""},
      {{"--check", "--rules", bad.path(), odd, w.out}, 3, "3 problem(s); nothing was written"},
  };
  for (const auto& row : rows) {
    const CommandResult r = w.run(row.args);
    EXPECT_EQ(r.exitCode, row.exitCode) << row.message << "\n" << r.err;
    EXPECT_TRUE(contains(r.err, row.message)) << row.message << "\n" << r.err;
    EXPECT_TRUE(directoryNames(w.out).empty()) << row.message;
  }
  EXPECT_EQ(readFile(file), "a file, not a directory");
  Workspace good("");  // --check of good rules writes nothing either
  EXPECT_EQ(good.run({"--check", good.in, good.out}).exitCode, 0);
  EXPECT_TRUE(directoryNames(good.out).empty());
}

// Without --rules: the file beside a program in a writable directory, else
// the user's own copy, made at the first run; --help names the one in use.
TEST(LoomwiseBatch, WithoutRulesOptionUsesTheFileBesideOrTheUsersOwn) {
  Workspace w;
  TempDir data;
  const std::string mine = data / "loomwise/loomwise.mdb";
  for (const bool beside : {true, false}) {
    TempDir program;
    const std::string copy = program / "loomwise-batch";
    fs::copy_file(kBatch, copy);
    if (beside) writeFile(program / "loomwise.mdb", "not a database");
    const std::string inUse = beside ? program / "loomwise.mdb" : mine;
    const std::vector<std::string> env = {"XDG_DATA_HOME=" + data.path()};
    const CommandResult help = runCommand(copy, {"--help"}, env);
    EXPECT_TRUE(help.out.starts_with("Usage: loomwise-batch")) << help.out;
    EXPECT_TRUE(contains(help.out, "Rule database: " + inUse + " (")) << help.out;
    EXPECT_FALSE(fs::exists(mine)) << "--help made a file";
    const CommandResult run = runCommand(copy, {w.in, w.out}, env);
    EXPECT_EQ(run.exitCode, beside ? 3 : 0) << run.err;
    EXPECT_TRUE(contains(run.err, beside ? inUse : "")) << run.err;
  }
  EXPECT_TRUE(fs::exists(mine));
  EXPECT_EQ(directoryNames(w.out), kTwoPages);
}

TEST(LoomwiseBatch, CheckFindsWhatWouldStopTheRunAfterItsFirstPage) {
  std::vector<std::pair<std::function<void(const Workspace&)>, std::string>> rows = {
      {[](const Workspace& w) { fs::create_directory(w.out + "/lwtwo.htm"); },
       "a directory named \"lwtwo.htm\""},
      {[](const Workspace& w) { ::mkfifo((w.out + "/index.html").c_str(), 0600); },
       "something that is not a file named \"index.html\""},
  };
  if (::geteuid() != 0) {  // permissions do not stop the superuser
    rows.push_back({[](const Workspace& w) { ::chmod((w.in + "/two.txt").c_str(), 0); },
                    "two.txt\" cannot be read"});
  }
  for (const auto& [setup, message] : rows) {
    Workspace w;
    setup(w);
    const std::vector<std::string> before = directoryNames(w.out);
    for (const char* check : {"--check", "--quiet"}) {
      const CommandResult r = w.run({check, w.in, w.out});
      EXPECT_EQ(r.exitCode, 4) << check << "\n" << r.err;
      EXPECT_TRUE(contains(r.err, message)) << r.err;
      EXPECT_EQ(directoryNames(w.out), before) << check;
    }
  }
}

TEST(LoomwiseBatch, RulesCommandsNeverReplaceWhatIsNotTheirs) {
  auto link = [](const char* to, const char* name) {
    return [=](const std::string& d) { fs::create_symlink(d + "/" + to, d + "/" + name); };
  };
  const std::string format = "loomwise-rules 1";
  const struct {
    std::vector<std::string> args;  // the target relative to the workspace, or absolute
    std::function<void(const std::string& dir)> setup;
    int exitCode;
    std::string message;  // on stderr, or on stdout for a success
  } rows[] = {
      {{"--export-rules", "-"}, {}, 0, format},
      {{"--export-rules", "/dev/stdout"}, {}, 0, format},
      {{"--export-rules", "/dev/null"}, {}, 0, ""},
      {{"--export-rules", "in/../rules.mdb"}, {}, 2, "is the rule database"},
      {{"--export-rules", "rules.link"},
       link("rules.mdb", "rules.link"),
       2,
       "is the rule database"},
      {{"--new-rules", "in/../rules.mdb"}, {}, 2, "already exists"},
      {{"--export-rules", "new.json"}, link("made.json", "new.json"), 0, ""},
      {{"--export-rules", "fifo"},
       [](const std::string& d) { ::mkfifo((d + "/fifo").c_str(), 0600); },
       4,
       "no program is reading"},
      {{"--export-rules", "in"}, {}, 4, "in\": it is a directory"},
      {{"--new-rules", "new.mdb"}, {}, 0, ""},
      // An encoding no run could read creates nothing.
      {{"--new-rules", "latin1.mdb", "--encoding", "latin1"}, {}, 2, "\"latin1\""},
      // A failure names the file the user gave, never an internal one.
      {{"--new-rules", "no/such/dir.mdb"}, {}, 3, "/no/such/dir.mdb\""},
      {{"--explain", "missing.txt"}, {}, 4, "does not exist"},
  };
  for (const auto& row : rows) {
    Workspace w;
    if (row.setup) row.setup(w.dir.path());
    std::vector<std::string> args = row.args;
    std::string& target = args[1];
    if (target != "-" && target[0] != '/') target = w.dir / target;
    const std::string rules = readFile(w.db.path());
    struct stat before {};
    const bool existed = ::lstat(target.c_str(), &before) == 0;
    const CommandResult r = w.run(args);
    EXPECT_EQ(r.exitCode, row.exitCode) << target << "\n" << r.err;
    EXPECT_TRUE(contains(row.exitCode == 0 ? r.out : r.err, row.message)) << r.out << r.err;
    EXPECT_EQ(readFile(w.db.path()), rules) << target;
    struct stat after {};
    if (existed) {
      ASSERT_EQ(::lstat(target.c_str(), &after), 0);
      EXPECT_EQ(after.st_mode & S_IFMT, before.st_mode & S_IFMT) << target << " was replaced";
    }
    if (row.exitCode == 0 && row.args[1][0] != '/' && row.args[1] != "-") {
      EXPECT_TRUE(
          contains(readFile(target), args[0] == "--new-rules" ? "SQLite format 3" : format));
    } else if (row.exitCode != 0 && !existed) {
      EXPECT_FALSE(fs::exists(target)) << target;
    }
  }
}

TEST(LoomwiseBatch, ConvertsTheBundledExamples) {
  TempDir out;
  const CommandResult r = runCommand(kBatch, {LOOMWISE_SOURCE_DIR "/examples", out.path()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string index = readFile(out / "index.html");
  EXPECT_EQ(std::count(index.begin(), index.end(), '\n'), 10) << index;  // 2 groups, 5 links
  EXPECT_EQ(directoryNames(out.path()).size(), 7u);
}

// A disk that fills up in the middle of a page or of the index page: the
// tool says which file and why, exits with the I/O code, and leaves every
// file either as it was or complete, with no temporary file; the next run on
// a healthy disk completes the output.
TEST(LoomwiseBatch, DiskFailingInThePageOrTheIndexKeepsEveryFileWholeOrAsItWas) {
  Workspace w("");
  fs::remove(w.in + "/two.txt");
  std::string big = "A long page\r\n";
  for (int i = 0; i < 2000; ++i) big += "line " + std::to_string(i) + " of the long page\r\n";
  writeFile(w.in + "/one.txt", big);
  fs::create_directory(w.dir / "ref");
  ASSERT_EQ(w.run({"--quiet", w.in, w.dir / "ref"}).exitCode, 0);
  const std::string page = readFile(w.dir / "ref/lwone.htm");
  const std::string index = readFile(w.dir / "ref/index.html");
  for (const bool inIndex : {false, true}) {
    fs::remove_all(w.out);
    fs::create_directory(w.out);
    writeFile(w.out + (inIndex ? "/index.html" : "/lwone.htm"), "of an earlier run");
    const std::size_t after = inIndex ? page.size() + index.size() / 2 : page.size() / 2;
    const CommandResult r = w.run({"--quiet", "--jobs", "1", w.in, w.out},
                                  {kFault, kAsan, "LOOMWISE_FAULT_DIR=" + w.out,
                                   "LOOMWISE_FAULT_AFTER_BYTES=" + std::to_string(after)});
    EXPECT_EQ(r.exitCode, 4) << r.err;
    EXPECT_TRUE(contains(r.err, inIndex ? "index.html" : "lwone.htm")) << r.err;
    EXPECT_TRUE(contains(r.err, "No space left on device")) << r.err;
    if (inIndex) {
      EXPECT_EQ(readFile(w.out + "/lwone.htm"), page);
    }
    const std::vector<std::string> left = {"index.html", "lwone.htm"};
    EXPECT_EQ(directoryNames(w.out), inIndex ? left : std::vector<std::string>{"lwone.htm"});
    EXPECT_EQ(readFile(w.out + (inIndex ? "/index.html" : "/lwone.htm")), "of an earlier run");
  }
  ASSERT_EQ(w.run({"--quiet", w.in, w.out}).exitCode, 0);
  EXPECT_EQ(readFile(w.out + "/index.html"), index);
  EXPECT_EQ(directoryNames(w.out), directoryNames(w.dir / "ref"));
}

TEST(LoomwiseBatch, SignalStopsAfterTheFileInProgressOrAtOnceTheSecondTime) {
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
    Workspace w("");
    for (char c = 'a'; c < 'g'; ++c) writeFile(w.in + "/" + c + ".txt", std::string("Title ") + c);
    fs::create_directory(w.dir / "ref");
    ASSERT_EQ(w.run({"--quiet", w.in, w.dir / "ref"}).exitCode, 0);
    // Every write into out/ takes a while, so the signals land in the middle.
    const CommandResult r =
        w.run({"--quiet", "--jobs", "1", w.in, w.out},
              {kFault, kAsan, "LOOMWISE_FAULT_DIR=" + w.out, "LOOMWISE_WRITE_DELAY_MS=150"},
              [&](int pid, const std::string&) {
                for (int i = 0; i < 2000 && directoryNames(w.out).empty(); ++i) ::usleep(5000);
                for (const int sig : row.signals) {
                  ::kill(pid, sig);
                  ::usleep(20000);
                }
              });
    EXPECT_EQ(r.exitCode, row.exitCode) << r.err;
    EXPECT_TRUE(contains(r.err, row.message)) << r.err;
    EXPECT_FALSE(fs::exists(w.out + "/index.html"));
    if (row.exitCode != 1) continue;
    EXPECT_LT(directoryNames(w.out).size(), 8u);
    for (const std::string& name : directoryNames(w.out))  // no temporary file among them
      EXPECT_EQ(readFile(w.out + "/" + name), readFile(w.dir / "ref/" + name)) << name;
  }
}

TEST(LoomwiseBatch, WatchRunsAgainAfterEachChangeAndEndsCleanly) {
  Workspace w;
  const std::string rules = w.db.path(), good = ", 0 problems";
  const struct {
    std::function<void()> change;
    std::string line;  // the run's line, after its time
    std::vector<std::string> pages;
  } steps[] = {
      {[] {}, "2 new, 0 changed, 0 unchanged, 0 removed" + good, {"lwone.htm", "lwtwo.htm"}},
      {[&] { writeFile(w.in + "/one.txt", "One again\r\n"); },
       "0 new, 1 changed, 1 unchanged, 0 removed" + good,
       {"lwone.htm", "lwtwo.htm"}},
      {[&] { writeFile(w.in + "/three.txt", "Three\r\n"); },
       "1 new, 0 changed, 2 unchanged, 0 removed" + good,
       {"lwone.htm", "lwthree.htm", "lwtwo.htm"}},
      {[&] { fs::remove(w.in + "/two.txt"); },
       "0 new, 0 changed, 2 unchanged, 1 removed" + good,
       {"lwone.htm", "lwthree.htm"}},
      {[&] { w.db.exec("UPDATE FileTypes SET BeginSection = '<DIV>'"); },
       "0 new, 2 changed, 0 unchanged, 0 removed" + good,
       {"lwone.htm", "lwthree.htm"}},
      {[&] { fs::rename(rules, rules + ".off"); },  // refused, the site stays
       "1 problem(s); the site stays as it was",
       {"lwone.htm", "lwthree.htm"}},
      {[&] { fs::rename(rules + ".off", rules); },
       "0 new, 0 changed, 2 unchanged, 0 removed" + good,
       {"lwone.htm", "lwthree.htm"}},
      // An input directory gone and back is watched again.
      {[&] { fs::rename(w.in, w.in + ".off"); },
       "1 problem(s); the site stays as it was",
       {"lwone.htm", "lwthree.htm"}},
      {[&] { fs::rename(w.in + ".off", w.in); },
       "0 new, 0 changed, 2 unchanged, 0 removed" + good,
       {"lwone.htm", "lwthree.htm"}},
  };
  const CommandResult ended =
      w.run({"--watch", "--prune", w.in, w.out}, {}, [&](int pid, const std::string& outFile) {
        std::vector<std::string> lines;
        for (std::size_t i = 0; i < std::size(steps); ++i) {
          steps[i].change();
          for (int wait = 0; wait < 2000 && lines.size() <= i; ++wait) {
            ::usleep(10000);
            std::string out = readFile(outFile);
            for (lines.clear(); out.find('\n') != std::string::npos;
                 out.erase(0, out.find('\n') + 1))
              lines.push_back(out.substr(0, out.find('\n')));
          }
          if (lines.size() <= i) break;
          EXPECT_EQ(lines[i].substr(lines[i].find(' ') + 1), steps[i].line) << i;
          std::vector<std::string> pages = directoryNames(w.out);
          std::erase_if(pages, [](const std::string& p) { return !p.starts_with("lw"); });
          EXPECT_EQ(pages, steps[i].pages) << i;
        }
        EXPECT_EQ(lines.size(), std::size(steps));
        EXPECT_TRUE(contains(readFile(w.out + "/lwone.htm"), "<DIV>"));
        ::kill(pid, SIGINT);
      });
  EXPECT_EQ(ended.exitCode, 0) << ended.err;
  EXPECT_EQ(std::count(ended.out.begin(), ended.out.end(), '\n'), std::ssize(steps)) << ended.out;
  EXPECT_TRUE(directoryNames(w.out, true).empty());
}

}  // namespace
}  // namespace loom::testing
