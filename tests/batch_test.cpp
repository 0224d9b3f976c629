// SPDX-License-Identifier: MIT
// Whole batch runs on an in-memory file system with a real rule database.

#include "app/batch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "app/batch_plan.h"
#include "app/manifest.h"
#include "base/error.h"
#include "support/faulty_file_system.h"
#include "support/memory_file_system.h"
#include "support/rule_db.h"
#include "support/temp_dir.h"

namespace loom {
namespace {

using testing::contains;
using testing::RuleDb;
using testing::TempDir;

struct Recorder : BatchObserver {
  void runStarted(std::size_t n) override { events.push_back("started " + std::to_string(n)); }
  void fileDone(std::size_t k, std::size_t n) override {
    events.push_back(statusText(k, n));
    std::this_thread::sleep_for(pause);  // lets other threads run ahead of the in-order part
  }
  void indexStarted() override { events.push_back(kCreatingIndexText); }
  void runFinished(const BatchSummary&) override { events.push_back(kFinishedText); }
  void warning(WarningKind k, const std::string& m) override {
    kinds.push_back(k), said += m + "\n";
  }
  long count(WarningKind k) const { return std::count(kinds.begin(), kinds.end(), k); }
  std::chrono::microseconds pause{0};
  std::vector<std::string> events;
  std::vector<WarningKind> kinds;
  std::string said;  // every warning, one a line
};

std::string missing(Missing kind, const std::string& subject) {
  return " {" + std::to_string(static_cast<int>(kind)) + " " + subject + "}";
}

struct Site {
  TempDir dir;
  RuleDb db{dir / "rules.mdb"};
  testing::MemoryFileSystem fs;
  Recorder recorder;
  BatchOptions options;

  explicit Site(const std::string& rules = "") {
    db.rows("T|TXT|1|||DOC\nT|LST|1|||DOC\nG|DOC|<H2>Docs</H2>|<HR>\n" + rules);
    for (const char* d : {"/in/", "/out/"}) fs.addDirectory(d);
    options.dirs = {"/in/", "/out/"};
    options.rulesPath = db.path();
  }
  BatchSummary run() { return RunBatch(options, fs, recorder); }
  // A refused run's problems, one a line, "{kind subject}" marking what a front end can add.
  std::string problems() {
    try {
      run();
    } catch (const ValidationError& e) {
      std::string all;
      for (const Problem& p : e.problems())
        all +=
            p.message + (p.missing == Missing::Nothing ? "" : missing(p.missing, p.subject)) + "\n";
      return all;
    }
    ADD_FAILURE() << "the run was not refused";
    return "";
  }
  std::string page(const std::string& name) const { return fs.contents("/out/" + name); }
};

std::string frame(const std::string& s) { return "<HTML><BODY>\r\n" + s + "</BODY></HTML>\r\n"; }

// Keys match whatever their case and with apostrophes; dots in the input path do not matter.
TEST(RunBatch, ReportsProgressInFileOrderAndWritesPagesAndIndex) {
  Site site("T|t'x|1|||o'k\nG|O'K|<H2>Quoted</H2>|");
  const std::string in = "/srv/v1.2/in/";
  site.fs.addDirectory(in);
  site.options.dirs.input = in;
  site.fs.addFile(in + "a.txt", "Alpha\r\nbody a\r\n");
  site.fs.addFile(in + "README", "no type");  // no page, but counts for the progress
  site.fs.addFile(in + "c.txt", "Gamma\r\n");
  site.fs.addFile(in + "it's.t'x", "Quoted");
  site.fs.addFile(in + "UP.T'X", "Upper");
  const BatchSummary summary = site.run();
  EXPECT_EQ(summary.pagesWritten, 4u);
  EXPECT_EQ(site.fs.listings("/out/"), 1);  // the plan's listing serves the run too
  EXPECT_TRUE(contains(site.recorder.said, "File \"" + in + "README\" has no \".\" in its name"));
  EXPECT_EQ(site.recorder.kinds, std::vector<WarningKind>{WarningKind::SkippedFile});
  std::vector<std::string> events = {"started 5"};
  for (int k = 1; k <= 5; ++k) events.push_back("Processing file " + std::to_string(k) + " of 5");
  events.insert(events.end(), {kCreatingIndexText, kFinishedText});
  EXPECT_EQ(site.recorder.events, events);
  EXPECT_EQ(site.page("lwa.htm"), frame("<TITLE>Alpha</TITLE><P>\r\nbody a<P>\r\n"));
  EXPECT_EQ(site.page("lwit's.htm"), frame("<TITLE>Quoted</TITLE><P>\r\n"));
  EXPECT_EQ(site.page("index.html"),
            frame("<H2>Docs</H2>\r\n<A HREF=\"lwa.htm\">Alpha</a><BR>\r\n"
                  "<A HREF=\"lwc.htm\">Gamma</a><BR>\r\n<HR>\r\n<H2>Quoted</H2>\r\n"
                  "<A HREF=\"lwit's.htm\">Quoted</a><BR>\r\n"
                  "<A HREF=\"lwUP.htm\">Upper</a><BR>\r\n"));
  const std::string huge(1 << 20, 'x');  // one line of a megabyte, the whole file
  site.fs.addFile(in + "h.txt", huge + "\r\n");
  site.run();
  EXPECT_EQ(site.page("lwh.htm"), frame("<TITLE>" + huge + "</TITLE><P>\r\n"));
  Site empty;  // still an index page
  empty.run();
  EXPECT_EQ(empty.page("index.html"), frame(""));
}

TEST(RunBatch, RuleRowsGiveTheirPageOrTheirProblem) {
  const std::string body = "axb [c] *d* it's Contents";
  const auto titled = [](const std::string& b) {
    return "<TITLE>Title</TITLE><P>\r\n" + b + "<P>\r\n";
  };
  const std::string plain = titled(body), untitled = "Title<P>\r\n" + body + "<P>\r\n";
  const std::string doc = "T|DOC|1|||DOC\n", row1 = "Constraints row 1 (FileType \"GEN\"): ";
  const std::string ft = "!FileTypes row \"DOC\": ", index = doc + "S|IndexPageName|";
  const struct {
    std::string rules, expect;  // expect: the page's lines, or "!" and a problem
    std::string warnings = "";
  } rows[] = {
      {doc + "C|GEN|1|~|y", "!" + row1 + "Search String is empty (NULL)"},
      {doc + "C|GEN|4|Title|<H1>| | |~", "<TITLE><H1></TITLE><P>\r\n" + body + "<P>\r\n"},
      {doc + "C|~|1|a|~\nC|FAQ|~|~|~\nC|GEN|2||]\nC|GEN|3|*||<B>|</B>\nC|GEN|1|'|z", plain},
      {doc + "C|GEN|~|a|b", plain,
       row1 + "Type is empty (NULL) is not 1 to 5; the row is ignored\n"},
      {doc + "C|GEN|2| [|]", titled("axb *d* it's Contents")},  // kept, not trimmed
      // Of two rows for one extension the first in stored order is used, and the other named.
      {doc + "T|doc|2|||DOC", plain,
       "FileTypes rows 3 and 4 have the same Identifier \"doc\"; row 4 is never used\n"},
      // Stored order decides between generic and own rows; a key is matched whole.
      {doc + "C|GEN|1|a|b\nC|DOC|1|b|c\nC|doc|1|c|LOW\nC| DOC|1|c|BLANK",
       titled("cxc [c] *d* it's Contents")},
      {"T|DOC|0|   |  </DIV>|DOC", untitled + "  </DIV>\r\n"},  // spaces alone add no line
      {doc + "C|GEN|1|x|X| | |0", titled("aXb [c] *d* it's Contents")},
      {doc + "C|GEN|3|[|]|[[|]]", titled("axb [[c]] *d* it's Contents")},
      // Stored text is transcoded to the run's Windows-1252.
      {"T|DOC|1|\xE2\x82\xAC\xC5\xB8\xC2\x81\xC3\xA9||DOC", "\x80\x9F\x81\xE9\r\n" + plain},
      {"T|DOC|-1|||DOC", untitled},
      {"T|DOC|2147483648|||DOC", untitled},
      {"T|DOC|~|||DOC", ft + "Title Line is empty (NULL)"},
      {"T|DOC|2x|||DOC", ft + "Title Line \"2x\" is not a whole number"},  // not line 2
      {"T|DOC|1|||~", ft + "GroupID is empty (NULL)"},
      {"T|DOC|1|||NWS\nG|NWS|~|", "!Groups row \"NWS\": Header is empty (NULL)"},
      {doc + "G|NWS|~|", plain},  // a group no file type of the run names is not read
      {index, "!\"IndexPageName\": Content is empty; the index page needs a"},
      {index + "~", "!GlobalDefs row \"IndexPageName\": Content is empty (NULL)"},
      {index + "..", "!\"..\" is not a plain file name"},
      {index + "lwt.htm", "!\"lwt.htm\" is also the page of the file \"/in/t.doc\""},
      {index + std::string(256, 'x'), "!is 256 bytes long"},
      {index + std::string(255, 'x'), plain},  // the longest name a file can have
      {index + std::string("a\0b\x1F", 4), "!\"a\\x00b\\x1F\" holds a control character"},
      {doc + "X|UPDATE GlobalDefs SET Content = 'a' || char(10) || 'b' WHERE ID = 'IndexPageName'",
       "!\"a\\nb\" holds a control character"},
      // Messages say what is wrong, not what the engine tripped over.
      {doc + "X|UPDATE FileTypes SET \"Title Line\" = CAST('01' AS BLOB)",
       "!Title Line is stored as binary data (a blob), not as a number"},
      {doc + "C|GEN|1|a|b\nX|UPDATE Constraints SET CaseSensitive = 1.5",
       "!" + row1 + "CaseSensitive \"1.5\" is not 0 or 1"},
      {doc + "X|CREATE TABLE g (ID TEXT PRIMARY KEY, Content TEXT) WITHOUT ROWID; INSERT INTO g "
             "SELECT * FROM GlobalDefs; DROP TABLE GlobalDefs; ALTER TABLE g RENAME TO GlobalDefs",
       "!table GlobalDefs was made WITHOUT ROWID"},
      {doc + "C|GEN|1|a|\xE4\xB8\xAD",
       "!Constraints row 1 (FileType \"GEN\"), column \"Replace String\""},
      // Pattern rows: every match, groups in the template, the title line left alone.
      {doc + "C|GEN|5|\\b(\\w)x(\\w)\\b|\\2-\\1| | |1", titled("b-a [c] *d* it's Contents")},
      {doc + "C|GEN|5|CONTENTS$|<I>\\0</I>| | |0", titled("axb [c] *d* it's <I>Contents</I>")},
      {doc + "C|GEN|5|[a-z]\\]|!| | |1\nC|GEN|5|Title|X| | |1", titled("axb [! *d* it's Contents")},
      {doc + "S|EscapeText|yes\nC|GEN|5|'s|<B title=\"\\0\">\\\\</B>| | |1",
       titled("axb [c] *d* it<B title=\"&#39;s\">\\</B> Contents")},
      {doc + "C|GEN|5|a(b|x", "!" + row1 + "RE2 refuses the pattern: missing )"},
      {doc + "C|GEN|5|x*|y", "!" + row1 + "the pattern can match the empty string"},
      {doc + "C|GEN|5|\\bx?\\b|y", "!" + row1 + "the pattern can match the empty string"},
      {doc + "C|GEN|5|(a)|\\2", "!" + row1 + "the replacement names \\2, but the pattern has 1"},
  };
  for (const auto& row : rows) {
    Site site(row.rules);
    site.fs.addFile("/in/t.doc", "Title\r\n" + body + "\r\n");
    if (row.expect[0] != '!') {
      site.run();
      EXPECT_EQ(site.page("lwt.htm"), frame(row.expect)) << row.rules;
      EXPECT_EQ(site.recorder.said, row.warnings) << row.rules;
      const bool untitled = row.expect.starts_with("Title");  // listed under its input path
      EXPECT_TRUE(!untitled || contains(site.page("index.html"), ">/in/t.doc</a>")) << row.rules;
      continue;
    }
    const std::string problems = site.problems();
    EXPECT_TRUE(contains(problems, row.expect.substr(1))) << row.rules << "\n" << problems;
    EXPECT_TRUE(site.fs.listPlainFiles("/out/").names.empty()) << row.rules;
  }
  // Every problem is told, and the two rows a front end can offer to add are marked.
  Site site(
      "T|BAD|abc|~||ZZZ\nC|BAD|1|   |x\nC|GEN|1|a|~\nC|GEN|1|a|b| | |~\nC|GEN|4|a|b| | |~\n"
      "C|GEN|3|*|*|~|</B>\nS|IndexPageName|../x.html");
  site.fs.addFile("/in/a.bad", "x");
  for (const char* doc : {"/in/b.doc", "/in/c.doc", "/in/d.doc"}) site.fs.addFile(doc, "x");
  const std::string problems = site.problems();
  for (const std::string& expected :
       std::vector<std::string>{"FileTypes has no row for \"DOC\" (needed by file \"b.doc\" and 2 "
                                "more)" +
                                    missing(Missing::FileTypesRow, "DOC") + "\n",
                                "Groups has no row for \"ZZZ\" (named by FileTypes row \"BAD\")" +
                                    missing(Missing::GroupsRow, "ZZZ") + "\n",
                                "Title Line \"abc\"", "BeginSection is empty", "row 1 ", "row 2 ",
                                "row 3 ", "row 5 ", "\"../x.html\""})
    EXPECT_TRUE(contains(problems, expected)) << expected << "\nin:\n" << problems;
  EXPECT_FALSE(contains(problems, "row 4")) << problems;
  EXPECT_EQ(std::count(problems.begin(), problems.end(), '{'), 2) << problems;
}

TEST(RunBatch, FilesWithTheSamePageNameShareOnePageAndKeepTheirEntries) {
  const auto both = [](const std::string& a, const std::string& b) {
    return "Files \"/in/" + a + "\" and \"/in/" + b + "\" both give the page \"lwreport.htm\"";
  };
  for (const bool checkOnly : {true, false}) {  // said once per pair, by the check too
    Site site;
    site.fs.addFile("/in/report.txt", "Text report\r\nfrom txt");
    site.fs.addFile("/in/report.lst", "List report\r\nfrom lst");
    site.fs.addFile("/in/xxreport.txt", "X report\r\n");
    site.options.checkOnly = checkOnly;
    site.run();
    EXPECT_TRUE(contains(site.recorder.said, both("report.txt", "report.lst")));
    EXPECT_TRUE(contains(site.recorder.said, both("report.lst", "xxreport.txt")));
    EXPECT_EQ(site.recorder.kinds.size(), 2u);
    if (checkOnly) continue;
    EXPECT_EQ(site.page("lwreport.htm"), frame("<TITLE>X report</TITLE><P>\r\n"));
    const auto link = [](const char* title) {
      return "<A HREF=\"lwreport.htm\">" + std::string(title) + "</a><BR>\r\n";
    };
    EXPECT_EQ(site.page("index.html"), frame("<H2>Docs</H2>\r\n" + link("List report") +
                                             link("Text report") + link("X report") + "<HR>\r\n"));
  }
  // Named in full, every file has a page of its own; a file type GEN is the type of every
  // file without one of its own, names without "." too.
  for (const std::string generic : {"", "T|GEN|0|<PRE>|</PRE>|GEN\nG|GEN|<H1>All</H1>|\n"}) {
    Site site(generic + "S|PageNames|full");
    for (const char* name : {"report.txt", "report.lst", "xxreport.txt", "README", "a.md"})
      site.fs.addFile(std::string("/in/") + name, std::string(name) + "\r\n");
    if (generic.empty()) {
      EXPECT_TRUE(contains(site.problems(), "FileTypes has no row for \"MD\""));
      continue;
    }
    const BatchSummary summary = site.run();
    EXPECT_EQ(site.recorder.said, "");
    EXPECT_EQ(summary.pagesWritten, 5u);
    EXPECT_EQ(summary.genericFiles, 2u);
    EXPECT_EQ(site.page("report.lst.html"), frame("<TITLE>report.lst</TITLE><P>\r\n"));
    EXPECT_EQ(site.page("README.html"), frame("<PRE>\r\nREADME<P>\r\n</PRE>\r\n"));
    EXPECT_TRUE(contains(site.page("index.html"),
                         "<HR>\r\n<H1>All</H1>\r\n<A HREF=\"a.md.html\">/in/a.md</a><BR>\r\n"
                         "<A HREF=\"README.html\">/in/README</a><BR>\r\n</BODY>"));
  }
}

TEST(RunBatch, Utf8TextFollowsTheRulesAndInvalidBytesPassThroughWithOneWarning) {
  Site site("S|Encoding|UTF-8\nC|GEN|1|привет|Здравствуйте| | |0");
  site.fs.addFile("/in/письмо.txt", "ПРИВЕТ мир\r\nok\xFF\r\nbad \xC3\x28 twice \xE2\r\n");
  site.run();
  EXPECT_EQ(site.page("lwписьмо.htm"), frame("<TITLE>Здравствуйте мир</TITLE><P>\r\nok\xFF<P>\r\n"
                                             "bad \xC3\x28 twice \xE2<P>\r\n"));
  // The Header declares no charset: said once, before the files.
  EXPECT_EQ(site.recorder.kinds,
            (std::vector<WarningKind>{WarningKind::CharsetMismatch, WarningKind::InvalidText}));
  EXPECT_TRUE(contains(
      site.recorder.said,
      "\"/in/письмо.txt\" is not valid UTF-8: 3 invalid byte(s), the first in line 2 at byte 3"));
  EXPECT_TRUE(
      contains(site.page("index.html"), "<A HREF=\"lw%D0%BF%D0%B8%D1%81%D1%8C%D0%BC%D0%BE.htm\">"));
  // The check says it as the run does.
  const std::size_t saidByRun = site.recorder.said.size();
  site.options.checkOnly = true;
  site.run();
  EXPECT_TRUE(contains(site.recorder.said.substr(saidByRun), "письмо.txt\" is not valid UTF-8: 3"));
  site.options.checkOnly = false;
  // The option overrides the row; names no run could read are refused.
  Site other("S|Encoding|utf-8");
  other.fs.addFile("/in/a.txt", "\xE9\r\n");
  other.options.overrides[SettingId::Encoding] = "Windows-1252";
  other.run();
  EXPECT_EQ(other.page("lwa.htm") + other.recorder.said, frame("<TITLE>\xE9</TITLE><P>\r\n"));
  other.options.overrides[SettingId::Encoding] = "latin-9";
  EXPECT_TRUE(contains(other.problems(), "latin-9"));
  other.options.overrides.clear();
  other.db.setting("Encoding", "ebcdic");
  EXPECT_TRUE(contains(other.problems(), "GlobalDefs row \"Encoding\""));
  // Without an Encoding row stored UTF-8 rules meet Windows-1252 text byte for byte.
  Site plain("C|GEN|1|é|&eacute;| | |0");
  plain.fs.addFile("/in/a.txt", "caf\xC9 \xE9t\xE9\r\n\x80\x9F\r\n");
  plain.run();
  EXPECT_EQ(plain.page("lwa.htm") + plain.recorder.said,
            frame("<TITLE>caf&eacute; &eacute;t&eacute;</TITLE><P>\r\n\x80\x9F<P>\r\n"));
}

TEST(RunBatch, TextSettingsWarnWhenTheyDoNotFitTheText) {
  const std::string noCrLf = ".txt\" has no CR LF line ends", u8 = "S|Encoding|utf-8\n";
  const std::string markup = " that browsers read as markup and hide, first \"/in/a.txt\" line ";
  const std::string header = "GlobalDefs row \"Header\" declares ";
  const struct {
    std::string settings;
    std::vector<std::string> files;  // a.txt, b.txt, ... under /in/
    std::string warnings;            // what they hold, one a line; none when empty
  } rows[] = {
      {"", {"A\r\nb\r\n", "one line"}, ""},
      {"",
       {"A\nb\n", "B\r\nc\n", "C\n"},
       "a" + noCrLf + ": each LF stays inside a line; set LineEnds to any\nFile \"/in/c" + noCrLf},
      {"", {"\n", "\n", "\n", "\n"}, "4 files have no CR LF line ends, the first \"/in/a.txt\""},
      {"",
       {"T\r\nMail Ann <ann@example.org>\r\n", "a & b, a &amp; b\r\n", "1 < 2 && 3 > 2\r\n"},
       "2 files hold text" + markup + "2: \"<ann@example.org>\""},
      {"S|LineEnds| ANY",
       {"T\n\n<!-- x -->\n"},
       "1 file holds text" + markup + "3: \"<!-- x -->\""},
      {"S|EscapeText|no", {"<B>b</B>"}, ""},
      {"S|Header|<meta http-equiv=\"Content-Type\" content=\"text/html; CharSet=UTF-8\">",
       {"A"},
       header + "charset \"utf-8\""},
      {"S|Header|<meta charset='ISO-8859-1'>", {"A"}, ""},
      {u8, {"A"}, header + "no charset"},
      {u8 + "S|Header|<HTML><META charset = \"utf-8\"><BODY>", {"A"}, ""},
      // UTF-8 text read as Windows-1252: once per run, naming the first file and line.
      {"",
       {"plain\r\n", "T\r\nCaf\xE9\r\n", "T\r\n\r\nCaf\xC3\xA9\r\n", "\xE2\x82\xAC\r\n"},
       "2 files are UTF-8 text, first \"/in/c.txt\" line 3, but the run reads and writes "
       "windows-1252"},
      {u8 + "S|Header|<META charset=\"utf-8\">", {"Caf\xC3\xA9\r\n"}, ""},
  };
  for (const auto& row : rows) {
    for (const bool checkOnly : {true, false}) {
      Site site(row.settings);
      for (std::size_t i = 0; i < row.files.size(); ++i)
        site.fs.addFile("/in/" + std::string(1, char('a' + i)) + ".txt", row.files[i]);
      site.options.checkOnly = checkOnly;
      site.run();
      EXPECT_TRUE(contains(site.recorder.said, row.warnings)) << row.settings << checkOnly;
      const long n = row.warnings.empty() ? 0 : 1 + std::ranges::count(row.warnings, '\n');
      EXPECT_EQ(std::ssize(site.recorder.kinds), n) << site.recorder.said;
    }
  }
}

TEST(RunBatch, DirectoriesAreCheckedAndTheIndexReplacesNoFileOfTheRun) {
  const struct {
    std::string index, directory, input, output, problem;
  } rows[] = {
      {"index.html", "", "/nope/", "/gone/",
       "Input directory \"/nope/\" does not exist\nOutput directory \"/gone/\" does not exist" +
           missing(Missing::OutputDirectory, "/gone/") + "\n"},
      {"index.html", "/locked/", "/in/", "/locked/",
       "Output directory \"/locked/\" cannot be written"},
      {"a.txt", "", "/in/", "/in/./",
       "\"a.txt\" is the name of the input file \"/in/a.txt\"; the index page would replace it. "
       "The list of pages (.loomwise.manifest) that would show it to be an earlier run's index "
       "page is missing"},
      {"index.html", "/out/index.html/", "/in/", "/out/", "holds a directory named \"index.html\""},
      {"index.html", "/out/.loomwise.manifest/", "/in/", "/out/",
       "holds a directory named \".loomwise.manifest\", where the run keeps the list"},
      {"a..b.html", "", "/in/", "/out/", ""},  // a plain name
      {"index.html", "", "/in/", "/in/", ""},  // its own pages are not converted
      {".loomwise.manifest", "", "/in/", "/out/", "is the name of the list of pages"},
  };
  for (const auto& row : rows) {
    Site site("S|IndexPageName|" + row.index);
    site.fs.addFile("/in/a.txt", "A");
    if (!row.directory.empty()) site.fs.addDirectory(row.directory, row.directory != "/locked/");
    site.options.dirs = {row.input, row.output};
    if (row.problem.empty()) {
      const BatchSummary summary = site.run();
      EXPECT_EQ(summary.indexPath + " " + std::to_string(summary.pagesWritten),
                row.output + row.index + " 1");
      continue;
    }
    const std::string problems = site.problems();
    EXPECT_TRUE(contains(problems, row.problem)) << problems;
    EXPECT_EQ(site.fs.listPlainFiles("/in/").names, std::vector<std::string>{"a.txt"});
    EXPECT_EQ(site.fs.contents("/in/a.txt"), "A");
    EXPECT_TRUE(site.fs.listPlainFiles("/out/").names.empty());
  }
  // Nor over the rules, when the output directory holds them.
  Site site("S|IndexPageName|rules.mdb");
  site.fs.addDirectory(site.dir.path() + "/");
  site.fs.addFile(site.db.path(), "rules");
  site.options.dirs.output = site.dir.path() + "/";
  EXPECT_TRUE(contains(site.problems(), "is the rule database \"" + site.db.path() + "\" itself"));
}

// Runs `body`; a run that waits on itself aborts the tests with `what`
// instead of hanging them.
void finishesOrAborts(const std::string& what, const std::function<void()>& body) {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  std::thread watchdog([&] {
    std::unique_lock lock(mutex);
    if (!done.wait_for(lock, std::chrono::minutes(1), [&] { return finished; })) {
      std::fprintf(stderr, "%s never finished: the run waits on itself\n", what.c_str());
      std::abort();
    }
  });
  struct Finish {
    std::mutex& mutex;
    std::condition_variable& done;
    bool& finished;
    std::thread& watchdog;
    ~Finish() {
      {
        std::lock_guard lock(mutex);
        finished = true;
      }
      done.notify_all();
      watchdog.join();
    }
  } finish{mutex, done, finished, watchdog};
  body();
}

// Pages waiting beyond the byte budget hold back every file but the next in
// order, which is converted whatever they weigh. Threads that run ahead fill
// the window and the budget again and again, so a run that held back the
// next file too would wait on itself.
TEST(RunBatch, ATinyWindowAndByteBudgetHoldBackAllButTheNextFile) {
  Site site;
  for (int i = 0; i < 300; ++i)
    site.fs.addFile("/in/f" + std::to_string(1000 + i) + ".txt", "Line\r\n");
  site.options.jobs = 4;
  site.options.window = 3;
  for (int round = 0; round < 10; ++round) {
    site.options.waitingBytes = static_cast<std::size_t>(round % 2);  // a budget of none too
    finishesOrAborts("round " + std::to_string(round), [&] {
      const BatchSummary summary = site.run();
      EXPECT_EQ(round == 0 ? summary.pagesNew : summary.pagesUnchanged, 300u);
    });
  }
}

// A process that may start no more threads converts on those it has.
TEST(RunBatch, ThreadsThatCannotStartLeaveTheWorkToTheOthers) {
  Site site;
  for (const char* name : {"/in/a.txt", "/in/b.txt", "/in/c.txt"}) site.fs.addFile(name, "A\r\n");
  site.options.jobs = 3;
  int refused = 0;
  site.options.beforeThreadStart = [&] {
    ++refused;
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  };
  EXPECT_EQ(site.run().pagesNew, 3u);
  EXPECT_EQ(refused, 1);  // the first refusal ends the tries
}

// A second run with more jobs that writes nothing shows both give the same bytes;
// more files than the threads keep results for at once, and a slow observer, so that
// other threads fill that window while each page is written.
TEST(RunBatch, UnchangedPagesAreNotWrittenAgainWhateverTheNumberOfJobs) {
  Site site("C|GEN|3|*|*|<B>|</B>\nC|TXT|1|a|A| | |0");
  for (int i = 0; i < 150; ++i) {
    const std::string name =
        (i % 3 == 0 ? "report" : "file" + std::to_string(i)) + std::string(i % 2 ? ".lst" : ".txt");
    site.fs.addFile("/in/" + std::to_string(i % 5) + name,
                    "Title *" + std::to_string(i) + "*\r\nline a\r\nmore *text*");
  }
  site.options.jobs = 1;
  const std::size_t pages = site.run().pagesNew;
  site.options.jobs = 4;
  site.recorder.pause = std::chrono::microseconds(300);
  EXPECT_EQ(site.run().pagesUnchanged, pages);
  site.recorder.pause = {};
  EXPECT_GT(pages, 100u);
  site.fs.addFile("/in/1file1.lst", "New title\r\n");
  EXPECT_EQ(site.run().pagesChanged, 1u);
  for (const auto& [page, writes] :
       {std::pair{"lw2file2.htm", 1}, {"lw1file1.htm", 2}, {"index.html", 2}, {kManifestName, 2}})
    EXPECT_EQ(site.fs.writes(std::string("/out/") + page), writes) << page;
}

// So many files that their states are looked at on two threads: a run after the first
// finds every page up to date and reads no source.
TEST(RunBatch, ManyFilesAreFoundUpToDate) {
  Site site;
  for (int i = 0; i < 1200; ++i)
    site.fs.addFile("/in/u" + std::to_string(10000 + i) + ".txt", "U\r\n");
  EXPECT_EQ(site.run().pagesNew, 1200u);
  const int reads = site.fs.reads("/in/");
  EXPECT_EQ(site.run().pagesUnchanged, 1200u);
  EXPECT_EQ(site.fs.reads("/in/"), reads);
}

// A state is listed only once a change after the look would show in it: a tick of the file
// system's clock after its times, two seconds where the file system keeps whole seconds.
TEST(RunBatch, AStateIsSettledATickOfItsFileSystemsClockLater) {
  constexpr std::int64_t s = 1'000'000'000, ms = 1'000'000;
  const struct {
    std::int64_t modified, changed, taken;
    bool settled;
  } rows[] = {
      {10 * s + 123, 10 * s + 123, 10 * s + 123 + kRacyNs + 1, true},
      {10 * s + 123, 10 * s + 123, 10 * s + 123 + kRacyNs, false},
      {10 * s + 123, 10 * s + 900 * ms, 10 * s + 900 * ms + kRacyNs, false},  // changed since
      {12 * s + 7, 11 * s + 3, 12 * s + 7 + kRacyNs, false},  // a time set back: both count
      {10 * s, 10 * s + 7 * ms, 11 * s + 500 * ms, false},    // whole seconds: a tick of two
      {10 * s, 10 * s, 12 * s, false},
      {10 * s, 10 * s, 12 * s + 1, true},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(settledState({1, 2, 3, row.modified, row.changed}, row.taken), row.settled)
        << row.modified << " " << row.changed << " " << row.taken;
  }
}

// A file type's rows are compiled for a run that converts a file of that type, and only then.
TEST(RunBatch, RowsAreCompiledOnlyForTheFileTypesAFileIsConvertedWith) {
  Site site;
  site.fs.addFile("/in/a.txt", "A\r\n");
  site.fs.addFile("/in/b.lst", "B\r\n");
  site.run();
  site.fs.addFile("/in/c.lst", "C\r\n");
  BatchPlan plan = planBatch({.dirs = site.options.dirs,
                              .rulesPath = site.options.rulesPath,
                              .overrides = {},
                              .incremental = true},
                             site.fs);
  const auto compiled = [&plan](const char* extension) {
    return plan.rules.rulesByExtension.at(extension).screen != nullptr;
  };
  compileRowScreens(plan, false);
  EXPECT_TRUE(compiled("LST"));
  EXPECT_FALSE(compiled("TXT"));
  compileRowScreens(plan, true);
  EXPECT_TRUE(compiled("TXT"));
}

// A run converts only the files whose source, rules or page changed; after any sequence of
// edits the site equals one made from nothing, and a run over unchanged input reads no source.
TEST(RunBatch, ARunConvertsWhatChangedAndEqualsARunOverEverything) {
  Site site("C|GEN|1|a|b\nC|TXT|3|*|*|<B>|</B>\nG|LIST|<H3>Lists</H3>|");
  site.fs.addDirectory("/ref/");
  std::mt19937 rng(40);
  const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  const auto text = [&] {
    std::string t;
    for (int n = pick(40); n > 0; --n) t += "ab *\r\n"[pick(7)];
    return t;
  };
  for (int i = 0; i < 12; ++i)
    site.fs.addFile("/in/f" + std::to_string(i) + (i % 2 ? ".txt" : ".lst"), text());
  site.run();
  for (int step = 0; step < 60; ++step) {
    const std::vector<std::string> names = site.fs.listPlainFiles("/in/").names;
    const std::string some = "/in/" + names[static_cast<std::size_t>(pick(int(names.size())))];
    const std::string list = std::string("/out/") + kManifestName;
    const int reads = site.fs.reads("/in/"), listReads = site.fs.reads(list);
    const int indexReads = site.fs.reads("/out/index.html");
    const int listWrites = site.fs.writes(list);
    switch (pick(11)) {
      case 0:  // nothing changed: no source is read, nor the index page compared; the list
               // is read once and not written
        site.run();
        EXPECT_EQ(site.fs.reads("/in/"), reads) << "step " << step;
        EXPECT_EQ(site.fs.reads("/out/index.html"), indexReads) << "step " << step;
        EXPECT_EQ(site.fs.reads(list), listReads + 1) << "step " << step;
        EXPECT_EQ(site.fs.writes(list), listWrites) << "step " << step;
        continue;
      case 1:  // an edit that keeps the size and puts the old time back
        site.fs.setModified(some, site.fs.fileStates("/in/", {some.substr(4)})[0]->modifiedNs);
        [[fallthrough]];
      case 2: {
        std::string bytes = site.fs.contents(some);
        for (char& c : bytes) c = c == 'a' ? 'b' : c == 'b' ? 'a' : c;
        const auto kept = site.fs.fileStates("/in/", {some.substr(4)})[0]->modifiedNs;
        site.fs.addFile(some, bytes);
        if (pick(2)) site.fs.setModified(some, kept);
        break;
      }
      case 3:
        site.fs.addFile("/in/n" + std::to_string(step) + ".txt", text());
        break;
      case 4:
        if (names.size() > 2) site.fs.removeFile(some);
        break;
      case 5:
        site.db.rows(pick(2) ? "C|GEN|1|b|c" : "S|EndofLine|<BR>");
        break;
      case 6: {  // a page edited by hand is made again, the index page too
        const bool index = pick(2);
        for (const std::string& page : site.fs.listPlainFiles("/out/").names)
          if (index == (page == "index.html")) site.fs.addFile("/out/" + page, "edited");
        break;
      }
      case 7:
        site.options.overrides[SettingId::EscapeText] = pick(2) ? "yes" : "no";
        break;
      case 8:  // what only the index page is made of
        site.db.exec(pick(2) ? "UPDATE Groups SET Header = '<H2>" + std::to_string(step) + "</H2>'"
                             : std::string("UPDATE FileTypes SET GroupID = '") +
                                   (pick(2) ? "LIST" : "DOC") + "' WHERE Identifier = 'LST'");
        break;
      default:
        site.fs.addFile(some, text());
    }
    site.run();
    for (const std::string& page : site.fs.listPlainFiles("/ref/").names)
      site.fs.removeFile("/ref/" + page);
    site.options.dirs.output = "/ref/";
    site.options.full = true;
    site.run();
    site.options.dirs.output = "/out/";
    site.options.full = false;
    for (const std::string& page : site.fs.listPlainFiles("/ref/").names)
      ASSERT_EQ(site.page(page), site.fs.contents("/ref/" + page)) << page << " step " << step;
  }
  // An edit that keeps the size and puts the old modification time back is still seen.
  site.fs.addFile("/in/same.txt", "T\r\n12\r\n");
  site.run();
  const auto kept = site.fs.fileStates("/in/", {"same.txt"})[0]->modifiedNs;
  site.fs.addFile("/in/same.txt", "T\r\n21\r\n");
  site.fs.setModified("/in/same.txt", kept);
  site.run();
  EXPECT_TRUE(contains(site.page("lwsame.htm"), "21")) << site.page("lwsame.htm");
}

// A page never lands on an input file this program did not write, however
// the one directory is spelled; the check names both and nothing is written.
TEST(RunBatch, APageThatWouldReplaceAnInputFileIsAProblem) {
  for (const auto& [spelling, naming] :
       {std::pair{"", "short"}, {"/.", "short"}, {"/../in", "short"}, {"/../link", "full"}}) {
    TempDir dir;
    const RuleDb db = RuleDb(dir / "rules.mdb")
                          .rows("T|TXT|1|||DOC\nT|HTM|1|||DOC\nT|TXT.HTML|1|||DOC\nG|DOC||")
                          .setting("PageNames", naming);
    std::filesystem::create_directory(dir / "in");
    std::filesystem::create_directory_symlink(dir / "in", dir / "link");
    testing::writeFile(dir / "in/p0.txt", "Foo\r\n");
    const std::string mine = std::string(naming) == "full" ? "p0.txt.html" : "lwp0.htm";
    testing::writeFile(dir / ("in/" + mine), "Mine\r\n");
    BatchOptions options;
    options.dirs = {dir / "in/", dir / "in" + spelling + "/"};
    options.rulesPath = db.path();
    BatchObserver quiet;
    const std::string message =
        testing::errorOf([&] { RunBatch(options, *makePosixFileSystem(), quiet); }, ErrorKind::Io);
    EXPECT_TRUE(contains(message, "p0.txt\" would replace the input file") &&
                contains(message, mine + "\", which this program did not write") &&
                contains(message, "has no list of the pages of earlier runs"))
        << message;
    EXPECT_EQ(testing::readFile(dir / ("in/" + mine)), "Mine\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "in"), {}), 2);
  }
  // The same through an input file that is a link to where a page goes.
  TempDir dir;
  const RuleDb db = RuleDb(dir / "rules.mdb").rows("T|TXT|1|||DOC\nT|HTM|1|||DOC\nG|DOC||");
  for (const char* sub : {"in", "out"}) std::filesystem::create_directory(dir / sub);
  testing::writeFile(dir / "in/p0.txt", "Foo\r\n");
  testing::writeFile(dir / "out/lwp0.htm", "Mine\r\n");
  std::filesystem::create_symlink(dir / "out/lwp0.htm", dir / "in/mine.htm");
  BatchOptions options;
  options.dirs = {dir / "in/", dir / "out/"};
  options.rulesPath = db.path();
  BatchObserver quiet;
  EXPECT_TRUE(contains(
      testing::errorOf([&] { RunBatch(options, *makePosixFileSystem(), quiet); }, ErrorKind::Io),
      "p0.txt\" would replace the input file \"" + dir / "in/mine.htm\""));
  EXPECT_EQ(testing::readFile(dir / "out/lwp0.htm"), "Mine\r\n");
}

// A run that fails part-way lists the pages it wrote: a later run knows them as its own.
TEST(RunBatch, RunThatFailsPartWayListsThePagesItWrote) {
  Site site;
  testing::FaultyFileSystem faulty(site.fs);
  for (const char* name : {"/in/a.txt", "/in/b.txt"}) site.fs.addFile(name, "A\r\n");
  faulty.beforeWrite = [](const std::string& path) {
    if (path == "/out/lwb.htm") throw LoomError(ErrorKind::Io, "disk full");
  };
  site.options.jobs = 1;
  EXPECT_THROW(RunBatch(site.options, faulty, site.recorder), LoomError);
  EXPECT_EQ(listedPages("/out/", site.fs), std::set<std::string>{"lwa.htm"});
  site.fs.removeFile("/in/a.txt");
  site.options.prune = true;
  EXPECT_EQ(site.run().removedPages, std::vector<std::string>{"/out/lwa.htm"});
}

// Pruning after a plain run and b.txt's removal: the user's files, edited or unlisted pages stay.
TEST(RunBatch, PruneRemovesOnlyUnchangedPagesOfDeletedSources) {
  const std::string list = std::string("/out/") + kManifestName;
  const auto entry = [](std::string page, std::string source, const std::string& bytes) {
    return ManifestEntry{std::move(page), std::move(source), pageHash(bytes), {}, {}, {}, {}};
  };
  // Any byte but "/" and NUL can be part of a name, and stays in the list.
  const std::vector<ManifestEntry> odd = {{"lw%25\t\n\r.htm", "a%\t\n\r.txt", pageHash("x"),
                                           "/i%\t/", "1:2:3:4:5|6:7:8:9:10", pageHash("y"),
                                           "A title\twith %"}};
  EXPECT_EQ(parseManifest(formatManifest(odd), list), odd);
  // A list that is not one this program wrote is damaged, whichever field is at fault.
  const std::string head = "loomwise-manifest 3\n" + pageHash("x");
  for (const char* line : {"\tp%g1\ts\t/i/\t\t\t\n", "\tp%1\ts\t/i/\t\t\t\n", "\tp\ts\t/i/\t\t\n",
                           "\tp\ts\t/i/\t\t\tt%zz\n"}) {
    EXPECT_TRUE(contains(testing::errorOf([&] { parseManifest(head + line, list); }, ErrorKind::Io),
                         "is damaged in line 2"))
        << line;
  }
  const std::set<std::string> all = {"lwa.htm", "lwb.htm", "mine.htm"},
                              two = {"lwa.htm", "mine.htm"};
  const struct {
    std::function<void(Site&)> between;
    std::set<std::string> left;   // in /out/ besides index.html and the list of pages
    long kept = 0, unusable = 0;  // StalePageKept and ManifestUnusable warnings
    bool checkOnly = false;
  } rows[] = {
      {[](Site&) {}, two},
      {[](Site& s) { s.run(); }, two},  // a plain run keeps the page listed
      {[](Site& s) { s.fs.addFile("/out/lwb.htm", "my notes"); }, all, 1},
      {[&](Site& s) { s.fs.removeFile(list); }, all, 0, 1},
      {[&](Site& s) { s.fs.addFile(list, s.fs.contents(list).substr(0, 40)); }, all, 0, 1},
      {[&](Site& s) {  // entries that leave the directory
         s.fs.addFile(list, formatManifest({entry("../in/a.txt", "gone.txt", "A\r\n"),
                                            entry("..", "gone.txt", ""),
                                            entry("/in/a.txt", "gone.txt", "A\r\n"),
                                            entry("mine.htm", "../in/gone.txt", "mine")}));
       },
       all, 4},
      {[](Site& s) { s.fs.addFile("/out/lwc.htm", "mine too"); },
       {"lwa.htm", "lwc.htm", "mine.htm"}},
      {[](Site& s) { s.fs.addFile("/in/b.lst", "B list\r\n"); }, all},
      {[](Site&) {}, all, 0, 0, true},
      {[](Site& s) {  // a run from another input directory prunes only its own pages
         s.fs.addDirectory("/in2/");
         s.fs.addFile("/in2/c.txt", "C\r\n");
         s.options.dirs.input = "/in2/";
       },
       {"lwa.htm", "lwc.htm", "mine.htm"}},
      {[&](Site& s) {  // a list of the first form, without input directories
         std::string first = "loomwise-manifest 1\n";
         for (const ManifestEntry& e : parseManifest(s.fs.contents(list), list))
           first += e.hash + "\t" + e.page + "\t" + e.source + "\n";
         s.fs.addFile(list, first);
       },
       two},
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const auto& row = rows[i];
    Site site;
    for (const auto& [name, bytes] :
         {std::pair{"/in/a.txt", "A\r\n"}, {"/in/b.txt", "B\r\n"}, {"/out/mine.htm", "mine"}})
      site.fs.addFile(name, bytes);
    site.run();
    site.fs.removeFile("/in/b.txt");
    row.between(site);
    site.options.prune = true;
    site.options.checkOnly = row.checkOnly;
    Recorder second;
    const BatchSummary summary = RunBatch(site.options, site.fs, second);
    std::set<std::string> left;
    for (const std::string& name : site.fs.listPlainFiles("/out/").names)
      if (name != "index.html") left.insert(name);
    EXPECT_EQ(left, row.left) << "row " << i;
    const bool removes = !row.left.count("lwb.htm") || row.checkOnly;
    EXPECT_EQ(summary.removedPages, std::vector<std::string>(removes, "/out/lwb.htm")) << i;
    EXPECT_EQ(summary.pagesRemoved, row.checkOnly ? 0u : summary.removedPages.size()) << i;
    EXPECT_EQ(second.count(WarningKind::StalePageKept), row.kept) << "row " << i;
    EXPECT_EQ(second.count(WarningKind::ManifestUnusable), row.unusable) << "row " << i;
  }
}

}  // namespace
}  // namespace loom
