// loomwise-batch run as a script runs it: arguments, exit status, and what
// it prints, on temporary directories.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app/manifest.h"
#include "app/pair.h"
#include "support/rule_db.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace loom {
namespace {

using testing::CommandResult;
using testing::TempDir;

const std::string kBatch = LOOMWISE_BATCH_PATH;

CommandResult batch(const std::vector<std::string>& args) {
  return testing::runCommand(kBatch, args);
}

std::set<std::string> namesIn(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// Rules for *.txt in one group, an input directory with two files and an
// empty output directory.
struct Workspace {
  TempDir dir;
  testing::RuleDb db{dir / "rules.mdb"};
  std::string in = dir / "in";
  std::string out = dir / "out";
  Workspace() {
    db.fileType("TXT", "1", "", "", "DOC").group("DOC", "<H2>Docs</H2>", "");
    db.constraint("GEN", "7", "a", "b");
    std::filesystem::create_directory(in);
    std::filesystem::create_directory(out);
    testing::writeFile(in + "/one.txt", "One\r\n");
    testing::writeFile(in + "/two.txt", "Two\r\n");
  }
};

TEST(LoomwiseBatch, ConvertsAndPrintsTheIndexPath) {
  Workspace w;
  const std::string comma = w.dir / "out,c";
  std::filesystem::create_directory(comma);
  // Two arguments are two directories as typed; only one argument is split.
  const std::vector<std::pair<std::vector<std::string>, std::string>> rows = {
      {{w.in, w.out}, w.out}, {{w.in + "," + w.out}, w.out}, {{w.in, comma}, comma}};
  for (const auto& [pair, out] : rows) {
    std::vector<std::string> args{"--rules", w.db.path()};
    args.insert(args.end(), pair.begin(), pair.end());
    const CommandResult r = batch(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, out + "/index.html\n");
    EXPECT_EQ(namesIn(out),
              (std::set<std::string>{kManifestName, "index.html", "lwone.htm", "lwtwo.htm"}));
    // The row of Type 7 is reported once, not once per line or file.
    const std::size_t first = r.err.find("Error condition");
    EXPECT_NE(first, std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Error condition", first + 1), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Finished processing files"), std::string::npos) << r.err;
  }
  const CommandResult quiet = batch({"--quiet", "--rules", w.db.path(), w.in, w.out});
  EXPECT_EQ(quiet.exitCode, 0);
  EXPECT_EQ(quiet.out, "");
}

TEST(LoomwiseBatch, PairWithBlanksSplitByTheShellIsJoinedAgain) {
  Workspace w;
  std::filesystem::create_directory(w.dir / "my in");
  std::filesystem::create_directory(w.dir / "my out");
  testing::writeFile(w.dir / "my in/a.txt", "A");
  const CommandResult r =
      batch({"--rules", w.db.path(), w.dir / "my", "in," + (w.dir / "my"), "out"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, (w.dir / "my out") + "/index.html\n");
  EXPECT_TRUE(testing::fileExists(w.dir / "my out/lwa.htm"));
}

TEST(LoomwiseBatch, UsageErrorsExitWithTwo) {
  Workspace w;
  const std::vector<std::vector<std::string>> calls = {
      {"--rules", w.db.path(), w.in},
      {"--rules", w.db.path(), w.in + ","},
      {"--rules", w.db.path(), " ," + w.out},
      {"--rules", w.db.path(), w.in, ""},
      {"--rules", w.db.path()},
  };
  for (const auto& args : calls) {
    const CommandResult r = batch(args);
    EXPECT_EQ(r.exitCode, 2) << args.back();
    EXPECT_NE(r.err.find(kBothPathsMessage), std::string::npos) << r.err;
  }
  const CommandResult unknown = batch({"--frobnicate"});
  EXPECT_EQ(unknown.exitCode, 2);
  EXPECT_NE(unknown.err.find("--frobnicate"), std::string::npos) << unknown.err;
  EXPECT_TRUE(namesIn(w.out).empty());
}

TEST(LoomwiseBatch, MissingRulesExitWithThreeAndNameTheFile) {
  Workspace w;
  const CommandResult r = batch({"--rules", w.dir / "none.mdb", w.in, w.out});
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_NE(r.err.find(w.dir / "none.mdb"), std::string::npos) << r.err;

  EXPECT_TRUE(namesIn(w.out).empty());
}

// Without --rules: the file beside a program in a writable directory, else
// the user's own copy, made at the first run; --help names the one in use.
TEST(LoomwiseBatch, WithoutRulesOptionUsesTheFileBesideOrTheUsersOwn) {
  Workspace w;
  TempDir data;
  ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
  const std::string mine = data / "loomwise/loomwise.mdb";
  struct Row {
    std::string beside;  // bytes of loomwise.mdb beside the program; "": none
    int exitCode;
    std::string inUse;  // relative to the program's directory unless absolute
  } rows[] = {
      {"not a database", 3, "loomwise.mdb"},
      {"", 0, mine},
  };
  for (const Row& r : rows) {
    TempDir program;
    const std::string copy = program / "loomwise-batch";
    std::filesystem::copy_file(kBatch, copy);
    if (!r.beside.empty()) testing::writeFile(program / "loomwise.mdb", r.beside);
    const std::string inUse = r.inUse[0] == '/' ? r.inUse : program / r.inUse;
    const CommandResult help = testing::runCommand(copy, {"--help"});
    EXPECT_NE(help.out.find("Rule database: " + inUse + " ("), std::string::npos) << help.out;
    EXPECT_FALSE(testing::fileExists(mine)) << "--help made a file";
    const CommandResult run = testing::runCommand(copy, {w.in, w.out});
    EXPECT_EQ(run.exitCode, r.exitCode) << run.err;
    if (r.exitCode != 0) {
      EXPECT_NE(run.err.find(inUse), std::string::npos) << run.err;
    }
  }
  ::unsetenv("XDG_DATA_HOME");
  EXPECT_TRUE(testing::fileExists(mine));
  EXPECT_EQ(namesIn(w.out),
            (std::set<std::string>{kManifestName, "index.html", "lwone.htm", "lwtwo.htm"}));
}

TEST(LoomwiseBatch, MissingInputDirectoryExitsWithFour) {
  Workspace w;
  const CommandResult r = batch({"--rules", w.db.path(), w.dir / "nope", w.out});
  EXPECT_EQ(r.exitCode, 4);
  EXPECT_NE(r.err.find("Input directory \"" + (w.dir / "nope") + "/\" does not exist"),
            std::string::npos)
      << r.err;
}

TEST(LoomwiseBatch, CheckListsEveryProblemAndWritesNothing) {
  Workspace w;
  testing::writeFile(w.in + "/three.doc", "x");
  w.db.fileType("LST", "x", "", "", "NOGROUP");
  testing::writeFile(w.in + "/four.lst", "x");
  const CommandResult bad = batch({"--check", "--rules", w.db.path(), w.in, w.out});
  EXPECT_EQ(bad.exitCode, 3);
  for (const char* problem :
       {"FileTypes has no row for \"DOC\"", "Groups has no row for \"NOGROUP\"",
        "Title Line \"x\" is not a whole number", "3 problem(s)"}) {
    EXPECT_NE(bad.err.find(problem), std::string::npos) << problem << "\n" << bad.err;
  }
  std::filesystem::remove(w.in + "/three.doc");
  std::filesystem::remove(w.in + "/four.lst");
  const CommandResult good = batch({"--check", "--rules", w.db.path(), w.in, w.out});
  EXPECT_EQ(good.exitCode, 0) << good.err;
  EXPECT_TRUE(namesIn(w.out).empty());
}

TEST(LoomwiseBatch, CheckFindsWhatWouldStopTheRunAfterItsFirstPage) {
  struct Row {
    std::function<void(const Workspace&)> setup;
    std::string message;
  };
  std::vector<Row> rows = {
      {[](const Workspace& w) { std::filesystem::create_directory(w.out + "/lwtwo.htm"); },
       "a directory named \"lwtwo.htm\""},
      {[](const Workspace& w) { ::mkfifo((w.out + "/index.html").c_str(), 0600); },
       "something that is not a file named \"index.html\""},
  };
  if (::geteuid() != 0) {  // permissions do not stop the superuser
    rows.push_back({[](const Workspace& w) { ::chmod((w.in + "/two.txt").c_str(), 0); },
                    "two.txt\" cannot be read"});
  }
  for (const Row& row : rows) {
    Workspace w;
    row.setup(w);
    const std::set<std::string> before = namesIn(w.out);
    for (const char* check : {"--check", "--quiet"}) {
      const CommandResult r = batch({check, "--rules", w.db.path(), w.in, w.out});
      EXPECT_EQ(r.exitCode, 4) << check << "\n" << r.err;
      EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
      EXPECT_EQ(namesIn(w.out), before) << check;
    }
  }
}

TEST(LoomwiseBatch, NewRulesNeverOverwrites) {
  TempDir dir;
  const std::string path = dir / "new.mdb";
  const CommandResult made = batch({"--new-rules", path});
  EXPECT_EQ(made.exitCode, 0) << made.err;
  const std::string bytes = testing::readFile(path);
  EXPECT_EQ(bytes.substr(0, 15), "SQLite format 3");
  const CommandResult again = batch({"--new-rules", path});
  EXPECT_NE(again.exitCode, 0);
  EXPECT_NE(again.err.find(path), std::string::npos) << again.err;
  EXPECT_EQ(testing::readFile(path), bytes);
  // An encoding no run could read creates nothing.
  const CommandResult latin1 = batch({"--new-rules", dir / "latin1.mdb", "--encoding", "latin1"});
  EXPECT_EQ(latin1.exitCode, 2);
  EXPECT_NE(latin1.err.find("\"latin1\""), std::string::npos) << latin1.err;
  EXPECT_FALSE(testing::fileExists(dir / "latin1.mdb"));
  // A failure names the file the user gave, never an internal one.
  const CommandResult nowhere = batch({"--new-rules", dir / "no/such/dir.mdb"});
  EXPECT_NE(nowhere.exitCode, 0);
  EXPECT_NE(nowhere.err.find(dir / "no/such/dir.mdb\""), std::string::npos) << nowhere.err;
  const CommandResult missing = batch({"--explain", dir / "missing.txt"});
  EXPECT_EQ(missing.exitCode, 4);
  EXPECT_NE(missing.err.find("does not exist"), std::string::npos) << missing.err;
}

// The mode bits that say what a path is (link, FIFO, device, file), or 0.
unsigned typeOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & S_IFMT : 0;
}

TEST(LoomwiseBatch, RulesCommandsNeverReplaceWhatIsNotTheirs) {
  struct Row {
    std::string command, target;  // the target relative to the workspace, or absolute
    std::function<void(const std::string& dir)> setup;
    int exitCode;
    std::string message;  // on stderr, or on stdout for a success
  };
  auto link = [](const char* to, const char* name) {
    return [=](const std::string& d) {
      std::filesystem::create_symlink(d + "/" + to, d + "/" + name);
    };
  };
  const std::string format = "loomwise-rules 1";
  const std::vector<Row> rows = {
      {"--export-rules", "-", {}, 0, format},
      {"--export-rules", "/dev/stdout", {}, 0, format},
      {"--export-rules", "/dev/null", {}, 0, ""},
      {"--export-rules", "in/../rules.mdb", {}, 2, "is the rule database"},
      {"--export-rules", "rules.link", link("rules.mdb", "rules.link"), 2, "is the rule database"},
      {"--new-rules", "in/../rules.mdb", {}, 2, "already exists"},
      {"--export-rules", "new.json", link("made.json", "new.json"), 0, ""},
      {"--export-rules", "fifo",
       [](const std::string& d) { ::mkfifo((d + "/fifo").c_str(), 0600); }, 4,
       "no program is reading"},
      {"--export-rules", "in", {}, 4, "in\": it is a directory"},
  };
  for (const Row& row : rows) {
    Workspace w;
    if (row.setup) row.setup(w.dir.path());
    const std::string target =
        row.target == "-" || row.target[0] == '/' ? row.target : w.dir / row.target;
    const std::string rules = testing::readFile(w.db.path());
    const unsigned type = typeOf(target);
    const CommandResult r = batch({"--rules", w.db.path(), row.command, target});
    EXPECT_EQ(r.exitCode, row.exitCode) << row.target << "\n" << r.err;
    EXPECT_NE((row.exitCode == 0 ? r.out : r.err).find(row.message), std::string::npos)
        << row.target << "\n"
        << r.out << r.err;
    EXPECT_EQ(testing::readFile(w.db.path()), rules) << row.target;
    EXPECT_EQ(typeOf(target), type) << row.target << " was replaced";
    if (row.exitCode == 0 && row.target[0] != '/' && row.target != "-") {
      EXPECT_NE(testing::readFile(target).find(format), std::string::npos) << row.target;
    }
  }
}

TEST(LoomwiseBatch, HelpAndVersion) {
  const CommandResult help = batch({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("Usage: loomwise-batch"), std::string::npos);
  const CommandResult version = batch({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, std::string("loomwise-batch ") + LOOMWISE_VERSION + "\n");
}

TEST(LoomwiseBatch, ConvertsTheBundledExamples) {
  TempDir out;
  const CommandResult r = batch({std::string(LOOMWISE_SOURCE_DIR) + "/examples", out.path()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(namesIn(out.path()),
            (std::set<std::string>{kManifestName, "index.html", "lwdec26.htm", "lwferry.htm",
                                   "lwmuseum.htm", "lwnov26.htm", "lwwalks.htm"}));
  const std::string index = testing::readFile(out / "index.html");
  for (const char* page :
       {"lwdec26.htm", "lwferry.htm", "lwmuseum.htm", "lwnov26.htm", "lwwalks.htm"}) {
    EXPECT_NE(index.find(std::string("<A HREF=\"") + page + "\">"), std::string::npos) << page;
  }
  EXPECT_NE(index.find("<H2>News</H2>"), std::string::npos);
}

// Polls `done` every 10 ms for up to 20 s.
bool eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 2000; ++i) {
    if (done()) return true;
    ::usleep(10000);
  }
  return done();
}

TEST(LoomwiseBatch, WatchRunsAgainAfterEachChangeAndEndsCleanly) {
  Workspace w;
  TempDir capture;
  const std::string rules = w.db.path();
  testing::RunningCommand watch(kBatch, {"--watch", "--prune", "--rules", rules, w.in, w.out},
                                capture.path());
  struct Step {
    const char* what;
    std::function<void()> change;
    std::string line;  // the run's line, after its time
    std::set<std::string> pages;
  };
  const std::string good = "0 problems";
  const std::vector<Step> steps = {
      {"first run",
       [] {},
       "2 new, 0 changed, 0 unchanged, 0 removed, " + good,
       {"lwone.htm", "lwtwo.htm"}},
      {"a file changed",
       [&] { testing::writeFile(w.in + "/one.txt", "One again\r\n"); },
       "0 new, 1 changed, 1 unchanged, 0 removed, " + good,
       {"lwone.htm", "lwtwo.htm"}},
      {"a file added",
       [&] { testing::writeFile(w.in + "/three.txt", "Three\r\n"); },
       "1 new, 0 changed, 2 unchanged, 0 removed, " + good,
       {"lwone.htm", "lwthree.htm", "lwtwo.htm"}},
      {"a file deleted",
       [&] { std::filesystem::remove(w.in + "/two.txt"); },
       "0 new, 0 changed, 2 unchanged, 1 removed, " + good,
       {"lwone.htm", "lwthree.htm"}},
      {"a rule changed",
       [&] { w.db.exec("UPDATE FileTypes SET BeginSection = '<DIV>'"); },
       "0 new, 2 changed, 0 unchanged, 0 removed, " + good,
       {"lwone.htm", "lwthree.htm"}},
      {"the rules renamed away: refused, the site stays",
       [&] { std::filesystem::rename(rules, rules + ".off"); },
       "1 problem(s); the site stays as it was",
       {"lwone.htm", "lwthree.htm"}},
      {"the rules renamed back",
       [&] { std::filesystem::rename(rules + ".off", rules); },
       "0 new, 0 changed, 2 unchanged, 0 removed, " + good,
       {"lwone.htm", "lwthree.htm"}},
  };
  const auto lines = [&] {
    std::vector<std::string> result;
    const std::string out = watch.out();
    for (std::size_t at = 0, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1) {
      result.push_back(out.substr(at, end - at));
    }
    return result;
  };
  for (std::size_t i = 0; i < steps.size(); ++i) {
    steps[i].change();
    ASSERT_TRUE(eventually([&] { return lines().size() > i; })) << steps[i].what << "\n"
                                                                << watch.err();
    const std::string line = lines()[i];
    EXPECT_EQ(line.substr(line.find(' ') + 1), steps[i].line) << steps[i].what << "\n"
                                                              << watch.err();
    std::set<std::string> pages = namesIn(w.out);
    pages.erase("index.html");
    pages.erase(kManifestName);
    EXPECT_EQ(pages, steps[i].pages) << steps[i].what;
  }
  EXPECT_NE(testing::readFile(w.out + "/lwone.htm").find("<DIV>"), std::string::npos);
  const CommandResult ended = watch.stop(SIGINT);
  EXPECT_EQ(ended.exitCode, 0) << ended.err;
  EXPECT_EQ(std::count(ended.out.begin(), ended.out.end(), '\n'), static_cast<long>(steps.size()))
      << ended.out;
  for (const std::string& name : namesIn(w.out)) EXPECT_NE(name.rfind(".loomwise-", 0), 0u) << name;
}

}  // namespace
}  // namespace loom
