// SPDX-License-Identifier: MIT
// loomwise-batch run as a script runs it, on temporary directories, failing disks and signals.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "app/manifest.h"
#include "app/pair.h"
#include "rules/sqlite.h"
#include "support/rule_db.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace loom::testing {
namespace {

namespace fs = std::filesystem;
const std::vector<std::string> kTwoPages = {kManifestName, "index.html", "lwone.htm", "lwtwo.htm"};
const std::string kFault = "LD_PRELOAD=" LOOMWISE_WRITE_FAULT_PATH;
const std::string kAsan = "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0";

struct Workspace {
  TempDir dir;
  RuleDb db{dir / "rules.mdb"};
  std::string in = dir / "in", out = dir / "out";
  explicit Workspace(const std::string& rules = "C|GEN|7|a|b") {
    db.rows("T|TXT|1|||DOC\nG|DOC|<H2>Docs</H2>|\n" + rules);
    for (const std::string& d : {in, out}) fs::create_directory(d);
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
  const std::string comma = w.dir / "out,c", blanks = w.dir / "my out";
  for (const std::string& d : {comma, blanks}) fs::create_directory(d);
  fs::create_directory_symlink(w.in, w.dir / "my in");
  const std::string type7 = "Constraints row 1 (FileType \"GEN\"): Type \"7\"";
  // Two arguments are two directories as typed; one is split, rejoining blanks the shell split.
  const std::vector<std::pair<std::vector<std::string>, std::string>> rows = {
      {{w.in, w.out}, w.out},
      {{w.in + "," + w.out}, w.out},
      {{w.in, comma}, comma},
      {{w.dir / "my", "in," + (w.dir / "my"), "out"}, blanks}};
  for (const auto& [pair, out] : rows) {
    const CommandResult r = w.run(pair);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, out + "/index.html\n");
    EXPECT_EQ(directoryNames(out), kTwoPages);
    EXPECT_TRUE(contains(r.err, "loomwise-batch: Error condition: " + type7) &&
                r.err.find(type7) == r.err.rfind(type7))
        << r.err;
    // Not a terminal: a plain line per step of progress, none redrawn.
    EXPECT_TRUE(contains(r.err, "Processing file 1 of 2 (50%)\nProcessing file 2 of 2 (100%)\n"))
        << r.err;
  }
  writeFile(w.in + "/two.txt", "Two\nlines\n");  // LF alone ends a line: no warning
  // Short options bundle as getopt reads them, long ones take "=VALUE".
  const CommandResult r = w.run({"-qj1", "--line-ends=any", w.in, w.out});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(r.out.empty() && contains(r.err, type7) && !contains(r.err, "Processing")) << r.err;
  EXPECT_TRUE(w.run({"--check", "-q", w.in, w.out}).err.find("Check passed") == std::string::npos);
  const CommandResult both = w.run({"--version", "--help"});
  EXPECT_TRUE(both.exitCode == 0 && contains(both.out, "-q, --quiet")) << both.err;
  // What standard output could not take is a failure, not a success.
  for (const char* args : {" --version", " --help"})
    EXPECT_EQ(runCommand("/bin/sh", {"-c", std::string(kBatch) + args + " >/dev/full"}).exitCode,
              4);
  // Control characters of a name or a text are shown escaped, never sent to the terminal.
  writeFile(w.in + "/\x1B]0;owned\x07\x1B[2J", "x");
  writeFile(w.in + "/esc.txt", "\x1B[2JTitle\r\n");
  const CommandResult odd = w.run({w.in, w.out}), ex = w.run({"--explain", w.in + "/esc.txt"});
  EXPECT_TRUE(contains(odd.err, "\\e]0;owned\\x07\\e[2J\"") && contains(ex.out, "\\e[2JTitle"))
      << odd.err << ex.out;
  for (const std::string& text : {odd.out + odd.err, ex.out + ex.err})
    EXPECT_EQ(text.find('\x1B'), std::string::npos) << text;
}

TEST(LoomwiseBatch, BadArgumentsDirectoriesAndRulesGiveTheirExitCodeAndWriteNothing) {
  Workspace w;
  const std::string file = w.dir / "file.txt", missing = w.dir / "missing", fifo = w.dir / "f.mdb";
  ::mkfifo(fifo.c_str(), 0600);  // read, it would never end
  // A writer that dies mid-change leaves a journal that a run that may write the file undoes.
  const std::string hot = RuleDb(w.dir / "hot.mdb").path();
  if (const pid_t child = ::fork(); child == 0) {
    Database db(hot, Database::Mode::ReadWrite);
    db.exec(
        "PRAGMA cache_size = 1; BEGIN; CREATE TABLE junk(x); INSERT INTO junk WITH RECURSIVE "
        "n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 500) SELECT zeroblob(999) "
        "FROM n");
    ::_exit(0);
  } else {
    ::waitpid(child, nullptr, 0);
  }
  ASSERT_TRUE(fs::exists(hot + "-journal"));
  const std::string longName = w.dir / std::string(300, 'n');
  writeFile(file, "a file, not a directory");
  const std::string bad =
      RuleDb(w.dir / "bad.mdb").rows("T|TXT|1|||DOC\nT|LST|x|||NOGROUP\nG|DOC||").path();
  const std::string odd = w.dir / "odd";  // files the bad rules have no type or group for
  fs::create_directory(odd);
  for (const char* name : {"/three.doc", "/four.lst"}) writeFile(odd + name, "x");
  const std::tuple<std::vector<std::string>, int, std::string> rows[] = {
      {{w.in}, 2, kBothPathsMessage},
      {{w.in, w.out, w.out}, 2, "expected INPUT-DIR OUTPUT-DIR"},
      {{"--frobnicate", w.in, w.out}, 2, "unknown option \"--frobnicate\""},
      {{"-qx", w.in, w.out}, 2, "unknown option \"-x\"\nTry 'loomwise-batch --help'."},
      {{"--prune=yes", w.in, w.out}, 2, "option \"--prune\" takes no value"},
      {{"--jobs", "many", w.in, w.out}, 2, "--jobs needs a whole number"},
      {{file, w.out}, 4, "Input directory \"" + file + "/\" is not a directory"},
      {{w.in, file}, 4, "Output directory \"" + file + "/\" is not a directory"},
      {{"--check", missing, missing}, 4, "2 problem(s); nothing was written"},
      {{"--rules", missing, w.in, w.out}, 3, missing + "\": cannot be opened: No such file"},
      {{"--rules", fifo, w.in, w.out}, 3, fifo + "\": is a FIFO, not a rule database file"},
      {{"--check", "--rules", hot, w.in, w.out}, 3, "FileTypes has no row for \"TXT\""},
      {{w.in, longName}, 4, "cannot be reached: the path, or a name in it, is too long"},
      {{"--check", "--rules", bad, odd, w.out}, 3, "3 problem(s); nothing was written"},
  };
  for (const auto& [args, exitCode, message] : rows) {
    const CommandResult r = w.run(args);
    EXPECT_EQ(r.exitCode, exitCode) << message << "\n" << r.err;
    EXPECT_TRUE(contains(r.err, message)) << message << "\n" << r.err;
    EXPECT_TRUE(directoryNames(w.out).empty()) << message;
  }
  EXPECT_FALSE(fs::exists(hot + "-journal"));
  EXPECT_EQ(readFile(file), "a file, not a directory");
  Workspace good("");  // --check of good rules writes nothing either
  EXPECT_EQ(good.run({"--check", good.in, good.out}).exitCode, 0);
  EXPECT_TRUE(directoryNames(good.out).empty());
}

// The user's copy is made from the bundled rules, which convert the examples; --help names it.
TEST(LoomwiseBatch, WithoutRulesOptionUsesTheFileBesideOrTheUsersOwn) {
  TempDir data, out;
  const std::string mine = data / "loomwise/loomwise.mdb";
  for (const bool beside : {true, false}) {
    TempDir program;
    const std::string copy = program / "loomwise-batch";
    fs::copy_file(kBatch, copy);
    if (beside) writeFile(program / "loomwise.mdb", "not a database");
    const std::string inUse = beside ? program / "loomwise.mdb" : mine;
    const std::vector<std::string> env = {"XDG_DATA_HOME=" + data.path()};
    const CommandResult help = runCommand(copy, {"--help"}, env);
    EXPECT_TRUE(contains(help.out, "Rule database: " + inUse + " (")) << help.out;
    EXPECT_EQ(runCommand(copy, {"--version"}, env).exitCode, 0);
    EXPECT_FALSE(fs::exists(mine)) << "--help or --version made a file";
    const CommandResult run = runCommand(copy, {LOOMWISE_SOURCE_DIR "/examples", out.path()}, env);
    EXPECT_EQ(run.exitCode, beside ? 3 : 0) << run.err;
    EXPECT_TRUE(contains(run.err, beside ? inUse : "")) << run.err;
  }
  EXPECT_TRUE(fs::exists(mine));
  // The user's own rules are made for text of this platform: a page for every file.
  const std::string index = readFile(out / "index.html");
  std::size_t links = 0;
  for (std::size_t at = 0; (at = index.find("<A HREF=\"", at)) != std::string::npos; ++at) ++links;
  EXPECT_EQ(links, 5u) << index;
  EXPECT_TRUE(contains(index, "<A HREF=\"dec26.nws.html\">")) << index;
  EXPECT_EQ(directoryNames(out.path()).size(), 7u);
}

TEST(LoomwiseBatch, CheckFindsWhatWouldStopTheRunAfterItsFirstPage) {
  std::vector<std::pair<std::string, std::string>> rows = {
      {"out/lwtwo.htm", "a directory named \"lwtwo.htm\""},
      {"out/index.html", "something that is not a file named \"index.html\""}};
  // Permissions do not stop the superuser.
  if (::geteuid() != 0) rows.push_back({"in/two.txt", "two.txt\" cannot be read"});
  for (const auto& [path, message] : rows) {  // a directory, a FIFO, an unreadable file
    Workspace w;
    const std::string p = w.dir / path;
    if (path.ends_with(".htm")) fs::create_directory(p);
    if (path.ends_with(".html")) ::mkfifo(p.c_str(), 0600);
    if (path.ends_with(".txt")) ::chmod(p.c_str(), 0);
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
  using Setup = std::function<void(const std::string& dir)>;
  const auto ln = [](const char* to, const char* name) -> Setup {
    return [=](const std::string& d) { fs::create_symlink(d + "/" + to, d + "/" + name); };
  };
  const Setup fifo = [](const std::string& d) { ::mkfifo((d + "/fifo").c_str(), 0600); };
  const Setup script = [](const std::string& d) {  // a mode the umask would not give
    writeFile(d + "/kept.json", "old");
    ::chmod((d + "/kept.json").c_str(), 04751);
  };
  const std::string format = "loomwise-rules 1";
  // Targets are relative to the workspace or absolute; messages go to stderr, stdout on success.
  const std::tuple<std::vector<std::string>, Setup, int, std::string> rows[] = {
      {{"--export-rules", "-"}, {}, 0, format},
      {{"--export-rules", "/dev/stdout"}, {}, 0, format},  // written, not replaced
      {{"--export-rules", "/dev/null"}, {}, 0, ""},
      {{"--export-rules", "in/../rules.mdb"}, {}, 2, "is the rule database"},
      {{"--export-rules", "rules.link"}, ln("rules.mdb", "rules.link"), 2, "is the rule database"},
      {{"--export-rules", "rules.mdb-journal"}, {}, 2, "journal file of the rule database"},
      {{"--export-rules", "in/../rules.mdb-wal"}, {}, 2, "wal file of the rule database"},
      {{"--new-rules", "in/../rules.mdb"}, {}, 2, "already exists"},
      {{"--export-rules", "new.json"}, ln("made.json", "new.json"), 0, ""},
      {{"--export-rules", "fifo"}, fifo, 4, "no program is reading"},
      {{"--export-rules", "kept.json"}, script, 0, ""},
      {{"--export-rules", "in"}, {}, 4, "in\": it is a directory"},
      {{"--new-rules", "new.mdb"}, {}, 0, ""},
      {{"--new-rules", "latin1.mdb", "--encoding", "latin1"}, {}, 2, "\"latin1\""},
      // A failure names the file the user gave, never an internal one.
      {{"--new-rules", "no/such/dir.mdb"}, {}, 3, "/no/such/dir.mdb\""},
      {{"--explain", "missing.txt"}, {}, 4, "does not exist"},
  };
  for (const auto& [given, setup, exitCode, message] : rows) {
    Workspace w;
    if (setup) setup(w.dir.path());
    std::vector<std::string> args = given;
    std::string& target = args[1];
    if (target != "-" && target[0] != '/') target = w.dir / target;
    const std::string rules = readFile(w.db.path());
    const fs::file_type before = fs::symlink_status(target).type();
    const fs::perms mode = fs::symlink_status(target).permissions();
    const CommandResult r = w.run(args);
    EXPECT_EQ(r.exitCode, exitCode) << target << "\n" << r.err;
    EXPECT_TRUE(contains(exitCode == 0 ? r.out : r.err, message)) << r.out << r.err;
    EXPECT_EQ(readFile(w.db.path()), rules) << target;
    if (exitCode != 0 || before != fs::file_type::not_found) {
      EXPECT_EQ(fs::symlink_status(target).type(), before) << target << " was made or replaced";
    }
    if (before == fs::file_type::regular) {
      EXPECT_EQ(fs::status(target).permissions(), mode) << target;
    }
    EXPECT_TRUE(exitCode != 0 || given[1][0] == '/' || given[1] == "-" ||
                contains(readFile(target), args[0] == "--new-rules" ? "SQLite format 3" : format))
        << target;
  }
  // A file under /dev that stands for no descriptor (tmpfs) is replaced, not appended to.
  const std::string shm = "/dev/shm/loomwise-export-" + std::to_string(::getpid()) + ".json";
  writeFile(shm, "old");
  EXPECT_EQ(Workspace().run({"--export-rules", shm}).exitCode, 0);
  EXPECT_EQ(readFile(shm).substr(0, 4), "{\n\"f");
  fs::remove(shm);
}

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
  // Files written without a name until complete (named by their descriptor, or through /proc
  // without the privilege for that), or, where the file system has none, under a temporary name;
  // or written without a name where the file system cannot give them one, then read back and
  // written the other way (a complete run only: that writes the page twice).
  for (const char* way :
       {"", "LOOMWISE_NO_DIRECT_LINK=1", "LOOMWISE_NO_UNNAMED_FILES=1", "LOOMWISE_NO_LINK=1"}) {
    std::vector<std::string> env = {kFault, kAsan};
    if (*way != '\0') env.push_back(way);
    for (const bool inIndex : {false, true}) {
      fs::remove_all(w.out);
      fs::create_directory(w.out);
      if (std::string(way) == "LOOMWISE_NO_LINK=1") break;
      const std::string earlier = w.out + (inIndex ? "/index.html" : "/lwone.htm");
      writeFile(earlier, "of an earlier run");
      const std::size_t after = inIndex ? page.size() + index.size() / 2 : page.size() / 2;
      std::vector<std::string> failing = env;
      failing.push_back("LOOMWISE_FAULT_DIR=" + w.out);
      failing.push_back("LOOMWISE_FAULT_AFTER_BYTES=" + std::to_string(after));
      const CommandResult r = w.run({"--quiet", "--jobs", "1", w.in, w.out}, failing);
      EXPECT_EQ(r.exitCode, 4) << r.err;
      EXPECT_TRUE(contains(r.err, inIndex ? "index.html" : "lwone.htm")) << r.err;
      EXPECT_EQ(directoryNames(w.out).size(), inIndex ? 2u : 1u);  // no temporary file
      EXPECT_EQ(readFile(earlier), "of an earlier run");
      EXPECT_EQ(readFile(w.out + "/lwone.htm"), inIndex ? page : "of an earlier run");
    }
    ASSERT_EQ(w.run({"--quiet", w.in, w.out}, env).exitCode, 0);
    // A run over unchanged input writes nothing, so a full disk does not stop it.
    env.insert(env.end(), {"LOOMWISE_FAULT_DIR=" + w.out, "LOOMWISE_FAULT_AFTER_BYTES=0"});
    EXPECT_EQ(w.run({"--quiet", w.in, w.out}, env).exitCode, 0);
    EXPECT_EQ(readFile(w.out + "/index.html"), index);
    EXPECT_EQ(readFile(w.out + "/lwone.htm"), page);
    EXPECT_EQ(directoryNames(w.out), directoryNames(w.dir / "ref"));
  }
}

TEST(LoomwiseBatch, DiskFailingToReadAnInputFileStopsTheRunNamingIt) {
  Workspace w("");
  fs::remove(w.in + "/two.txt");
  writeFile(w.out + "/lwone.htm", "of an earlier run");
  const CommandResult r =
      w.run({"--quiet", w.in, w.out},
            {kFault, kAsan, "LOOMWISE_FAULT_DIR=" + w.in, "LOOMWISE_FAULT_READS=1"});
  EXPECT_EQ(r.exitCode, 4) << r.err;
  EXPECT_TRUE(contains(r.err, "Cannot read the input file \"" + w.in + "/one.txt\"")) << r.err;
  EXPECT_EQ(directoryNames(w.out), std::vector<std::string>{"lwone.htm"});
  EXPECT_EQ(readFile(w.out + "/lwone.htm"), "of an earlier run");
}

TEST(LoomwiseBatch, SignalStopsAfterTheFileInProgressOrAtOnceTheSecondTime) {
  const std::pair<std::vector<int>, int> rows[] = {
      {{SIGINT}, 1}, {{SIGTERM}, 1}, {{SIGINT, SIGINT}, 128 + SIGINT}};
  for (const auto& [signals, exitCode] : rows) {
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
                for (const int sig : signals) ::kill(pid, sig), ::usleep(20000);
              });
    EXPECT_EQ(r.exitCode, exitCode) << r.err;
    EXPECT_FALSE(fs::exists(w.out + "/index.html"));
    if (exitCode != 1) continue;
    // No temporary file among them, and the list of pages names those written.
    const std::string list = readFile(w.out + "/" + kManifestName);
    for (const std::string& name : directoryNames(w.out)) {
      if (name == kManifestName) continue;
      EXPECT_TRUE(readFile(w.out + "/" + name) == readFile(w.dir / "ref/" + name) &&
                  contains(list, "\t" + name + "\t"))
          << name;
    }
  }
}

TEST(LoomwiseBatch, WatchRunsAgainAfterEachChangeAndEndsCleanly) {
  Workspace w;
  const std::string rules = w.db.path(), refused = "1 problem(s); the site stays as it was";
  const auto sum = [](int added, int changed, int same, int removed) {
    return std::to_string(added) + " new, " + std::to_string(changed) + " changed, " +
           std::to_string(same) + " unchanged, " + std::to_string(removed) + " removed, 0 problems";
  };
  const auto move = [](const std::string& from, const std::string& to) {
    return [=] { fs::rename(from, to); };
  };
  const auto put = [&](const char* name, const char* text) {
    return [=, &w] { writeFile(w.in + name, text); };
  };
  const std::vector<std::string> both = {"one", "three"};
  // A change, the run's line after its time, the pages after the run.
  const std::tuple<std::function<void()>, std::string, std::vector<std::string>> steps[] = {
      {[] {}, sum(2, 0, 0, 0), {"one", "two"}},
      {put("/one.txt", "One again\r\n"), sum(0, 1, 1, 0), {"one", "two"}},
      {put("/three.txt", "Three\r\n"), sum(1, 0, 2, 0), {"one", "three", "two"}},
      {[&] { fs::remove(w.in + "/two.txt"); }, sum(0, 0, 2, 1), both},
      {[&] { w.db.exec("UPDATE FileTypes SET BeginSection = '<DIV>'"); }, sum(0, 2, 0, 0), both},
      {move(rules, rules + ".off"), refused, both},  // the site stays
      {move(rules + ".off", rules), sum(0, 0, 2, 0), both},
      // An input directory gone and back is watched again.
      {move(w.in, w.in + ".off"), refused, both},
      {move(w.in + ".off", w.in), sum(0, 0, 2, 0), both},
  };
  const CommandResult ended =
      w.run({"--watch", "--prune", w.in, w.out}, {}, [&](int pid, const std::string& outFile) {
        std::vector<std::string> lines;
        for (std::size_t i = 0; i < std::size(steps); ++i) {
          const auto& [change, line, pages] = steps[i];
          change();
          for (int wait = 0; wait < 2000 && lines.size() <= i; ++wait) {
            ::usleep(10000);
            std::string out = readFile(outFile);
            for (lines.clear(); out.find('\n') != std::string::npos;
                 out.erase(0, out.find('\n') + 1))
              lines.push_back(out.substr(0, out.find('\n')));
          }
          if (lines.size() <= i) break;
          EXPECT_EQ(lines[i].substr(lines[i].find(' ') + 1), line) << i;
          std::vector<std::string> names = {kManifestName, "index.html"};
          for (const std::string& p : pages) names.push_back("lw" + p + ".htm");
          std::sort(names.begin(), names.end());
          EXPECT_EQ(directoryNames(w.out), names) << i;
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
