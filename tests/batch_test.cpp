// Whole batch runs on an in-memory file system with a real rule database:
// what the observer hears, which pages and index entries come out, what the
// check before the run refuses.

#include "app/batch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/manifest.h"
#include "base/error.h"
#include "support/memory_file_system.h"
#include "support/rule_db.h"
#include "support/temp_dir.h"

namespace loom {
namespace {

using testing::kNull;
using testing::MemoryFileSystem;
using testing::RuleDb;
using testing::TempDir;

class Recorder : public BatchObserver {
 public:
  void runStarted(std::size_t n) override { events.push_back("started " + std::to_string(n)); }
  void fileDone(std::size_t k, std::size_t n) override { events.push_back(statusText(k, n)); }
  void indexStarted() override { events.push_back(kCreatingIndexText); }
  void runFinished(const BatchSummary&) override { events.push_back(kFinishedText); }
  void warning(WarningKind kind, const std::string& message) override {
    warnings.push_back({kind, message});
  }
  std::size_t count(WarningKind kind) const {
    return static_cast<std::size_t>(std::count_if(
        warnings.begin(), warnings.end(), [kind](const auto& w) { return w.first == kind; }));
  }
  std::vector<std::string> events;
  std::vector<std::pair<WarningKind, std::string>> warnings;
};

// A rule database with the file types TXT and LST in the group DOC, and an
// input and an output directory.
struct Site {
  TempDir dir;
  RuleDb db{dir / "rules.mdb"};
  MemoryFileSystem fs;
  Recorder recorder;
  DirectoryPair dirs{"/in/", "/out/"};
  BatchOptions options;        // overrides; dirs, rules and jobs are set by run()
  std::vector<Problem> found;  // of the last refused run

  Site() {
    db.fileType("TXT", "1", "", "", "DOC").fileType("LST", "1", "", "", "DOC");
    db.group("DOC", "<H2>Docs</H2>", "<HR>");
    fs.addDirectory("/in/");
    fs.addDirectory("/out/");
  }
  BatchSummary run(unsigned jobs = 1) {
    options.dirs = dirs;
    options.rulesPath = db.path();
    options.jobs = jobs;
    return RunBatch(options, fs, recorder);
  }
  std::vector<std::string> problems() {
    try {
      run();
    } catch (const ValidationError& e) {
      found = e.problems();
      std::vector<std::string> messages;
      for (const Problem& p : e.problems()) messages.push_back(p.message);
      return messages;
    }
    ADD_FAILURE() << "the run was not refused";
    return {};
  }
  std::string page(const std::string& name) const { return fs.contents("/out/" + name); }
  // What the refused run said is missing, as "kind subject".
  std::vector<std::string> missing() const {
    std::vector<std::string> result;
    for (const Problem& p : found) {
      if (p.missing != Missing::Nothing) {
        result.push_back(std::to_string(static_cast<int>(p.missing)) + " " + p.subject);
      }
    }
    return result;
  }
};

bool mentions(const std::vector<std::string>& messages, const std::string& text) {
  return std::any_of(messages.begin(), messages.end(),
                     [&](const std::string& m) { return m.find(text) != std::string::npos; });
}

std::string joined(const std::vector<std::string>& messages) {
  std::string all;
  for (const std::string& m : messages) all += m + "\n";
  return all;
}

TEST(RunBatch, ReportsProgressInFileOrderAndWritesPagesAndIndex) {
  Site site;
  site.fs.addFile("/in/a.txt", "Alpha\r\nbody a\r\n");
  site.fs.addFile("/in/b.txt", "Beta");
  site.fs.addFile("/in/c.txt", "Gamma\r\n");
  const BatchSummary summary = site.run();
  EXPECT_EQ(site.recorder.events,
            (std::vector<std::string>{"started 3", "Processing file 1 of 3",
                                      "Processing file 2 of 3", "Processing file 3 of 3",
                                      "Creating index file...", "Finished processing files"}));
  EXPECT_EQ(summary.fileCount, 3u);
  EXPECT_EQ(summary.pagesWritten, 3u);
  EXPECT_EQ(summary.indexPath, "/out/index.html");
  EXPECT_EQ(site.page("lwa.htm"),
            "<HTML><BODY>\r\n<TITLE>Alpha</TITLE><P>\r\nbody a<P>\r\n</BODY></HTML>\r\n");
  EXPECT_EQ(site.page("index.html"),
            "<HTML><BODY>\r\n<H2>Docs</H2>\r\n"
            "<A HREF=\"lwa.htm\">Alpha</a><BR>\r\n"
            "<A HREF=\"lwb.htm\">Beta</a><BR>\r\n"
            "<A HREF=\"lwc.htm\">Gamma</a><BR>\r\n"
            "<HR>\r\n</BODY></HTML>\r\n");
}

TEST(RunBatch, FilesWithTheSamePageNameShareOnePageAndKeepTheirEntries) {
  for (const bool checkOnly : {true, false}) {
    Site site;
    site.fs.addFile("/in/report.txt", "x");
    site.fs.addFile("/in/report.lst", "x");
    site.fs.addFile("/in/other.txt", "x");
    site.fs.addFile("/in/xxreport.txt", "x");  // the six after the first two: one more
    site.options.checkOnly = checkOnly;
    site.run();
    // Said once per pair, naming both files and the page, by the check too.
    ASSERT_EQ(site.recorder.count(WarningKind::PageNameCollision), 2u) << checkOnly;
    const std::string first = site.recorder.warnings[0].second;
    for (const char* part : {"\"/in/report.txt\" and \"/in/report.lst\"", "\"lwreport.htm\""}) {
      EXPECT_NE(first.find(part), std::string::npos) << first;
    }
  }
  Site site;
  site.fs.addFile("/in/report.txt", "Text report\r\nfrom txt");
  site.fs.addFile("/in/report.lst", "List report\r\nfrom lst");
  site.run();
  EXPECT_EQ(site.page("lwreport.htm"),
            "<HTML><BODY>\r\n<TITLE>List report</TITLE><P>\r\nfrom lst<P>\r\n</BODY></HTML>\r\n");
  EXPECT_EQ(site.page("index.html"),
            "<HTML><BODY>\r\n<H2>Docs</H2>\r\n"
            "<A HREF=\"lwreport.htm\">List report</a><BR>\r\n"
            "<A HREF=\"lwreport.htm\">Text report</a><BR>\r\n"
            "<HR>\r\n</BODY></HTML>\r\n");
}

TEST(RunBatch, EmptyInputDirectoryStillWritesTheIndexPage) {
  Site site;
  const BatchSummary summary = site.run();
  EXPECT_EQ(summary.fileCount, 0u);
  EXPECT_EQ(site.page("index.html"), "<HTML><BODY>\r\n</BODY></HTML>\r\n");
  EXPECT_EQ(site.recorder.events,
            (std::vector<std::string>{"started 0", kCreatingIndexText, kFinishedText}));
}

TEST(RunBatch, NameWithoutDotIsSkippedAndReported) {
  Site site;
  site.fs.addFile("/in/README", "no type");
  site.fs.addFile("/in/a.txt", "A");
  const BatchSummary summary = site.run();
  EXPECT_EQ(summary.skippedFiles, 1u);
  EXPECT_EQ(summary.pagesWritten, 1u);
  ASSERT_EQ(site.recorder.count(WarningKind::SkippedFile), 1u);
  EXPECT_NE(site.recorder.warnings[0].second.find("/in/README"), std::string::npos);
  EXPECT_EQ(site.fs.listPlainFiles("/out/"), (std::vector<std::string>{"lwa.htm", "index.html"}));
  EXPECT_EQ(site.page("index.html").find("README"), std::string::npos);
  EXPECT_EQ(site.recorder.events.size(), 5u);  // both files count for the progress
}

TEST(RunBatch, RowWithAnUnknownTypeIsReportedOnceAndIgnored) {
  const auto pages = [](bool withBadRows, Recorder* seen) {
    Site site;
    if (withBadRows) site.db.constraint("GEN", "9", "a", "X");
    site.db.constraint("GEN", "1", "a", "b");
    if (withBadRows) site.db.constraint("TXT", kNull, "b", "X");
    site.fs.addFile("/in/one.txt", "a1\r\na2\r\n\r\na3");
    site.fs.addFile("/in/two.txt", "a4\r\na5");
    site.run();
    if (seen) *seen = site.recorder;
    return site.page("lwone.htm") + site.page("lwtwo.htm") + site.page("index.html");
  };
  Recorder recorder;
  EXPECT_EQ(pages(true, &recorder), pages(false, nullptr));
  ASSERT_EQ(recorder.count(WarningKind::ErrorCondition), 2u);
  EXPECT_NE(recorder.warnings[0].second.find("Constraints row 1"), std::string::npos);
  EXPECT_NE(recorder.warnings[1].second.find("Constraints row 3"), std::string::npos);
  EXPECT_STREQ(kErrorConditionText, "Error condition");
}

TEST(RunBatch, EmptyConstraintsTableMeansNoTransformation) {
  Site site;
  site.fs.addFile("/in/a.txt", "*a* [b] \"\"c\"\"");
  site.run();
  EXPECT_EQ(site.page("lwa.htm"),
            "<HTML><BODY>\r\n<TITLE>*a* [b] \"\"c\"\"</TITLE><P>\r\n</BODY></HTML>\r\n");
}

TEST(RunBatch, StoredOrderDecidesBetweenGenericAndOwnRows) {
  for (const bool genericFirst : {true, false}) {
    Site site;
    const auto generic = [&] { site.db.constraint("GEN", "1", "a", "b"); };
    const auto own = [&] { site.db.constraint("TXT", "1", "b", "c"); };
    if (genericFirst) {
      generic();
      own();
    } else {
      own();
      generic();
    }
    site.db.constraint("txt", "1", "c", "LOWER").constraint(" TXT", "1", "c", "BLANK");
    site.db.constraint("LST", "1", kNull, kNull);  // applies to no file here, so never read
    site.fs.addFile("/in/notes.txt", "title\r\naXa");
    site.run();
    EXPECT_EQ(site.page("lwnotes.htm"), std::string("<HTML><BODY>\r\n<TITLE>title</TITLE><P>\r\n") +
                                            (genericFirst ? "cXc" : "bXb") +
                                            "<P>\r\n</BODY></HTML>\r\n");
  }
}

TEST(RunBatch, SectionTextsOfSpacesAddNoLineOthersKeepTheirSpaces) {
  Site site;
  site.db.exec(
      "UPDATE FileTypes SET BeginSection = '   ', EndSection = '  </DIV>', "
      "\"Title Line\" = 0 WHERE Identifier = 'TXT'");
  site.db.setting("Header", "");
  site.fs.addFile("/in/a.txt", "x");
  site.run();
  EXPECT_EQ(site.page("lwa.htm"), "\r\nx<P>\r\n  </DIV>\r\n</BODY></HTML>\r\n");
  // Without a title line the index lists the page under its input path.
  EXPECT_NE(site.page("index.html").find(">/in/a.txt</a>"), std::string::npos);
}

TEST(RunBatch, KeysWithApostrophesAndOtherLetterCasesFindTheirRows) {
  Site site;
  site.db.fileType("t'x", "1", "", "", "o'k").group("O'K", "<H2>Quoted</H2>", "");
  site.fs.addFile("/in/it's.t'x", "Quoted");
  site.fs.addFile("/in/UP.T'X", "Upper");
  site.fs.addFile("/in/low.txt", "Lower-case file, upper-case key");
  site.run();
  const std::string index = site.page("index.html");
  EXPECT_NE(index.find("<H2>Quoted</H2>\r\n"), std::string::npos) << index;
  EXPECT_NE(index.find(">Quoted</a>"), std::string::npos) << index;
  EXPECT_NE(index.find(">Upper</a>"), std::string::npos) << index;
  EXPECT_TRUE(site.fs.has("/out/lwit's.htm"));
}

TEST(RunBatch, StoredTextIsTranscodedToWindows1252) {
  Site site;
  site.db.exec(
      "UPDATE FileTypes SET BeginSection = '\xE2\x82\xAC\xC5\xB8\xC2\x81\xC3\xA9' "
      "WHERE Identifier = 'TXT'");
  site.fs.addFile("/in/a.txt", "caf\xE9");
  site.run();
  EXPECT_EQ(site.page("lwa.htm"),
            "<HTML><BODY>\r\n\x80\x9F\x81\xE9\r\n<TITLE>caf\xE9</TITLE><P>\r\n</BODY></HTML>\r\n");

  Site bad;
  bad.db.constraint("GEN", "1", "a", "\xE4\xB8\xAD");
  bad.fs.addFile("/in/a.txt", "a");
  const std::vector<std::string> problems = bad.problems();
  EXPECT_TRUE(mentions(problems, "Constraints row 1")) << joined(problems);
  EXPECT_TRUE(mentions(problems, "\"Replace String\"")) << joined(problems);
  EXPECT_TRUE(mentions(problems, "U+4E2D")) << joined(problems);
  EXPECT_FALSE(bad.fs.has("/out/lwa.htm"));
}

TEST(RunBatch, DotsInTheDirectoryPathDoNotMatter) {
  Site site;
  site.fs.addDirectory("/srv/v1.2/in/");
  site.fs.addFile("/srv/v1.2/in/a.txt", "A");
  site.dirs.input = "/srv/v1.2/in/";
  site.run();
  EXPECT_NE(site.page("index.html").find(">A</a>"), std::string::npos);
}

TEST(RunBatch, CheckReportsEveryProblemAtOnceAndWritesNothing) {
  Site site;
  site.db.fileType("BAD", "abc", kNull, "", "ZZZ");
  site.db.constraint("BAD", "1", "   ", "x");
  site.db.constraint("GEN", "1", "a", kNull);
  site.db.constraint("GEN", "1", "a", "b", " ", " ", kNull);
  site.db.constraint("GEN", "4", "a", "b", " ", " ", kNull);  // kind 4 reads no case flag
  site.db.constraint("GEN", "3", "*", "*", kNull, "</B>");
  site.db.setting("Footer", kNull);
  site.fs.addFile("/in/a.bad", "x");
  site.fs.addFile("/in/b.doc", "x");
  const std::vector<std::string> problems = site.problems();
  for (const char* expected :
       {"FileTypes has no row for \"DOC\"", "Groups has no row for \"ZZZ\"",
        "FileTypes row \"BAD\": Title Line \"abc\" is not a whole number",
        "FileTypes row \"BAD\": BeginSection is empty (NULL)",
        "Constraints row 1 (FileType \"BAD\"): Search String is empty or only spaces",
        "Constraints row 2 (FileType \"GEN\"): Replace String is empty (NULL)",
        "Constraints row 3 (FileType \"GEN\"): CaseSensitive is empty (NULL)",
        "Constraints row 5 (FileType \"GEN\"): RFirst is empty (NULL)",
        "GlobalDefs row \"Footer\": Content is empty (NULL)"}) {
    EXPECT_TRUE(mentions(problems, expected)) << expected << "\nin:\n" << joined(problems);
  }
  EXPECT_FALSE(mentions(problems, "row 4")) << joined(problems);
  // The two a front end can offer to add, and nothing else.
  EXPECT_EQ(site.missing(), (std::vector<std::string>{
                                std::to_string(static_cast<int>(Missing::FileTypesRow)) + " DOC",
                                std::to_string(static_cast<int>(Missing::GroupsRow)) + " ZZZ"}));
  EXPECT_TRUE(site.fs.listPlainFiles("/out/").empty());
}

// The one-row checks give the run's own messages, each with its column, so
// an editor can mark the very cell a run would refuse.
TEST(RunBatch, RowChecksNameTheColumnAtFault) {
  const TextCodec& codec = windows1252Codec();
  auto columns = [](const std::vector<Problem>& problems) {
    std::string all;
    for (const Problem& p : problems) all += p.column + ": " + p.message + "\n";
    return all;
  };
  FileTypeRecord type;
  type.identifier = "BAD";
  type.titleLine.type = SQLITE_TEXT;
  type.titleLine.text = "first";
  type.endSection = "";
  type.groupId = "DOC";
  EXPECT_EQ(columns(checkFileTypeRow(type, codec)),
            "Title Line: FileTypes row \"BAD\": Title Line \"first\" is not a whole number\n"
            "BeginSection: FileTypes row \"BAD\": BeginSection is empty (NULL)\n");
  GroupRecord group;
  group.groupId = "DOC";
  group.header = "";
  EXPECT_EQ(columns(checkGroupRow(group, codec)),
            "Footer: Groups row \"DOC\": Footer is empty (NULL)\n");
  StoredConstraint row;
  row.position = 3;
  row.fileType = "TXT";
  row.type.type = SQLITE_INTEGER;
  row.type.integer = 1;
  row.searchString = " ";
  row.replaceString = "x";
  row.caseSensitive.type = SQLITE_INTEGER;
  EXPECT_EQ(columns(checkConstraintRow(row, codec)),
            "Search String: Constraints row 3 (FileType \"TXT\"): Search String is empty or "
            "only spaces; a search and replace row needs a text to find\n");
  row.type.integer = 7;
  EXPECT_NE(columns(checkConstraintRow(row, codec)).find("Type: "), std::string::npos);
  row.type.integer = 1;
  row.searchString = "teh";
  EXPECT_EQ(columns(checkConstraintRow(row, codec)), "");
}

// The text settings and the warnings that say when they do not fit the text:
// the check and the run say the same, in the same order.
struct TextSettingsCase {
  const char* name;
  std::map<std::string, std::string> settings;  // GlobalDefs rows
  std::map<std::string, std::string> files;     // under /in/
  std::vector<std::string> warnings;            // fragments, in order; none other
};

TEST(RunBatch, TextSettingsWarnWhenTheyDoNotFitTheText) {
  const std::string lf = ": each LF stays inside a line; set LineEnds to any";
  const std::string markup = "; set EscapeText to yes (or to no if the text holds HTML on purpose)";
  const std::vector<TextSettingsCase> cases = {
      {"CrLfTextIsQuiet", {}, {{"a.txt", "A\r\nb\r\n"}, {"b.txt", "one line"}}, {}},
      {"LfOnlyFilesAreNamed",
       {},
       {{"a.txt", "A\nb\n"}, {"b.txt", "B\r\nc\n"}, {"c.txt", "C\n"}},
       {"File \"/in/a.txt\" has no CR LF line ends" + lf,
        "File \"/in/c.txt\" has no CR LF line ends" + lf}},
      {"ManyLfOnlyFilesAreSummedUp",
       {},
       {{"a.txt", "\n"}, {"b.txt", "\n"}, {"c.txt", "\n"}, {"d.txt", "\n"}},
       {"4 files have no CR LF line ends, the first \"/in/a.txt\"" + lf}},
      {"LineEndsAnyIsQuiet", {{"LineEnds", "Any"}}, {{"a.txt", "A\nb\n"}}, {}},
      {"MarkupWithoutEscapeTextRow",
       {},
       {{"a.txt", "T\r\nMail Ann <ann@example.org>\r\n"},
        {"b.txt", "a & b, a &amp; b\r\n"},
        {"c.txt", "1 < 2 && 3 > 2\r\n"}},
       {"2 files hold text that browsers read as markup and hide, first \"/in/a.txt\" line 2: "
        "\"<ann@example.org>\"" +
        markup}},
      {"MarkupLineCountsWithTheLineEnds",
       {{"LineEnds", "any"}},
       {{"a.txt", "T\n\n<!-- x -->\n"}},
       {"1 file holds text that browsers read as markup and hide, first \"/in/a.txt\" line 3: "
        "\"<!-- x -->\"" +
        markup}},
      {"EscapeTextNoSaysTheTextHoldsHtml", {{"EscapeText", "no"}}, {{"a.txt", "<B>b</B>"}}, {}},
      {"EscapeTextYesIsQuiet", {{"EscapeText", " YES "}}, {{"a.txt", "<B>b</B>"}}, {}},
      {"HeaderDeclaringAnotherCharset",
       {{"Header",
         "<html><meta http-equiv=\"Content-Type\" content=\"text/html; CharSet=UTF-8\">"}},
       {{"a.txt", "A"}},
       {"GlobalDefs row \"Header\" declares charset \"utf-8\", but the pages are written in "
        "windows-1252: browsers will read them as utf-8"}},
      {"HeaderDeclaringLatin1IsReadAsWindows1252",
       {{"Header", "<meta charset='ISO-8859-1'>"}},
       {{"a.txt", "A"}},
       {}},
      {"Utf8WithoutCharset",
       {{"Encoding", "utf-8"}},
       {{"a.txt", "A"}},
       {"GlobalDefs row \"Header\" declares no charset, but the pages are written in utf-8: "
        "browsers will assume windows-1252"}},
      {"Utf8DeclaredIsQuiet",
       {{"Encoding", "utf-8"}, {"Header", "<HTML><META charset=\"utf-8\"><BODY>"}},
       {{"a.txt", "A"}},
       {}},
  };
  for (const TextSettingsCase& c : cases) {
    std::vector<std::vector<std::string>> heard;
    for (const bool checkOnly : {true, false}) {
      Site site;
      for (const auto& [key, value] : c.settings) site.db.setting(key, value);
      for (const auto& [name, bytes] : c.files) site.fs.addFile("/in/" + name, bytes);
      site.options.checkOnly = checkOnly;
      site.run();
      std::vector<std::string> messages;
      for (const auto& [kind, message] : site.recorder.warnings) messages.push_back(message);
      heard.push_back(messages);
    }
    EXPECT_EQ(heard[0], heard[1]) << c.name << ": the check and the run differ";
    ASSERT_EQ(heard[1].size(), c.warnings.size()) << c.name << "\n" << joined(heard[1]);
    for (std::size_t i = 0; i < c.warnings.size(); ++i) {
      EXPECT_NE(heard[1][i].find(c.warnings[i]), std::string::npos) << c.name << "\n"
                                                                    << heard[1][i] << "\nlacks\n"
                                                                    << c.warnings[i];
    }
  }
}

TEST(RunBatch, IndexPageNameMustBeAPlainFileNameThatReplacesNoFileOfTheRun) {
  const struct {
    std::string name, output, message;
  } rows[] = {
      {"", "/out/", "IndexPageName\": Content is empty"},
      {"../x.html", "/out/", "is not a plain file name"},
      {"a/b.html", "/out/", "is not a plain file name"},
      {"/etc/x.html", "/out/", "is not a plain file name"},
      {"..", "/out/", "is not a plain file name"},
      {"lwa.htm", "/out/", "\"lwa.htm\" is also the page of the file \"/in/a.txt\""},
      {"a.txt", "/in/./", "\"a.txt\" is the name of the input file \"/in/a.txt\""},
      {".", "/out/", "\".\" is not a plain file name"},
      {std::string(256, 'x'), "/out/", "is 256 bytes long"},
      {"a\nb.html", "/out/", "\"a\\nb.html\" holds a control character"},
      {std::string("a\0b\x1F", 4), "/out/", "\"a\\x00b\\x1F\" holds a control character"},
      {"a..b.html", "/out/", ""},  // a plain name
      {"index.html", "/out/", "Output directory holds a directory named \"index.html\""},
      {"index.html", "/out/", "Output directory holds a directory named \"lwa.htm\""},
  };
  for (const auto& row : rows) {
    Site site;
    site.db.setting("IndexPageName", row.name);
    site.fs.addFile("/in/a.txt", "A");
    site.dirs.output = row.output;
    if (row.message.find("a directory named") != std::string::npos) {
      site.fs.addDirectory(row.message.find("lwa") != std::string::npos ? "/out/lwa.htm/"
                                                                        : "/out/index.html/");
    }
    if (row.message.empty()) {
      EXPECT_EQ(site.run().indexPath, "/out/" + row.name);
      continue;
    }
    const std::vector<std::string> problems = site.problems();
    EXPECT_TRUE(mentions(problems, row.message)) << '"' << row.name << "\"\n" << joined(problems);
    EXPECT_TRUE(site.fs.listPlainFiles("/out/").empty()) << row.name;
    EXPECT_EQ(site.fs.contents("/in/a.txt"), "A");
  }
}

TEST(RunBatch, DirectoriesAreChecked) {
  Site site;
  site.dirs = {"/nope/", "/gone/"};
  const std::vector<std::string> problems = site.problems();
  EXPECT_TRUE(mentions(problems, "Input directory \"/nope/\" does not exist")) << joined(problems);
  EXPECT_TRUE(mentions(problems, "Output directory \"/gone/\" does not exist")) << joined(problems);
  EXPECT_EQ(site.missing(),
            std::vector<std::string>{std::to_string(static_cast<int>(Missing::OutputDirectory)) +
                                     " /gone/"});

  Site readOnly;
  readOnly.fs.addDirectory("/locked/", /*writable=*/false);
  readOnly.dirs.output = "/locked/";
  EXPECT_TRUE(mentions(readOnly.problems(), "cannot be written"));
}

TEST(RunBatch, UnchangedPagesAreNotWrittenAgain) {
  Site site;
  site.fs.addFile("/in/a.txt", "A");
  site.fs.addFile("/in/b.txt", "B");
  site.run();
  const BatchSummary again = site.run();
  EXPECT_EQ(again.pagesUnchanged, 2u);
  EXPECT_EQ(site.fs.writes("/out/lwa.htm"), 1);
  EXPECT_EQ(site.fs.writes("/out/index.html"), 1);
  site.fs.addFile("/in/b.txt", "B2");
  const BatchSummary changed = site.run();
  EXPECT_EQ(changed.pagesChanged, 1u);
  EXPECT_EQ(site.fs.writes("/out/lwa.htm"), 1);
  EXPECT_EQ(site.fs.writes("/out/lwb.htm"), 2);
  EXPECT_EQ(site.fs.writes("/out/index.html"), 2);
}

std::size_t countFiles(const std::string& dir) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir),
                                                std::filesystem::directory_iterator()));
}

std::map<std::string, std::string> filesOf(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    files[entry.path().filename().string()] = testing::readFile(entry.path().string());
  }
  return files;
}

TEST(RunBatch, AnyNumberOfJobsGivesTheSameBytes) {
  TempDir dir;
  RuleDb db(dir / "rules.mdb");
  db.fileType("TXT", "1", "<DIV>", "</DIV>", "DOC").fileType("LST", "2", "", "", "LST");
  db.group("DOC", "<H2>Docs</H2>", "<HR>").group("LST", "", "");
  db.constraint("GEN", "3", "*", "*", "<B>", "</B>")
      .constraint("TXT", "1", "a", "A", " ", " ", "0");
  for (const char* sub : {"in", "one", "four"}) std::filesystem::create_directory(dir / sub);
  for (int i = 0; i < 40; ++i) {
    const std::string name =
        (i % 3 == 0 ? "report" : "file" + std::to_string(i)) + std::string(i % 2 ? ".lst" : ".txt");
    testing::writeFile(dir / ("in/" + std::to_string(i % 5) + name),
                       "Title *" + std::to_string(i) + "*\r\nline a\r\nmore *text*");
  }
  testing::writeFile(dir / "in/report.txt", "Report\r\n");
  testing::writeFile(dir / "in/abreport.lst", "x\r\nAb report\r\n");
  auto fs = makePosixFileSystem();
  for (const auto& [out, jobs] : {std::pair{"one", 1u}, std::pair{"four", 4u}}) {
    BatchOptions options;
    options.dirs = {dir / "in/", dir / out + "/"};
    options.rulesPath = db.path();
    options.jobs = jobs;
    Recorder recorder;
    RunBatch(options, *fs, recorder);
    EXPECT_EQ(recorder.events.size(), countFiles(dir / "in") + 3) << out;
  }
  const auto one = filesOf(dir / "one");
  EXPECT_EQ(one, filesOf(dir / "four"));
  EXPECT_GT(one.size(), 10u);
  EXPECT_TRUE(one.count("lwreport.htm"));
}

// A --prune run after a plain one: b.txt is gone before it, and each row
// changes something more. What the output directory holds afterwards is
// checked by name: the user's own files and anything edited or not listed
// stay, whatever the list of pages says.
TEST(RunBatch, PruneRemovesOnlyUnchangedPagesOfDeletedSources) {
  using testing::writeFile;
  struct Case {
    const char* what;
    std::function<void(const TempDir&, const BatchOptions&)> between;
    std::set<std::string> left;  // in out/ besides index.html and the list of pages
    std::size_t kept = 0;        // StalePageKept warnings
    std::size_t unusable = 0;    // ManifestUnusable warnings
    bool checkOnly = false;
  };
  const std::string list = std::string("out/") + kManifestName;
  const auto entry = [](const std::string& page, const std::string& source,
                        const std::string& bytes) {
    return ManifestEntry{page, source, pageHash(bytes)};
  };
  // Any byte but "/" and NUL can be part of a name, and stays in the list.
  const std::vector<ManifestEntry> odd = {entry("lw%25\t\n\r.htm", "a%\t\n\r.txt", "x")};
  EXPECT_EQ(parseManifest(formatManifest(odd), list), odd);
  const auto nothing = [](const TempDir&, const BatchOptions&) {};
  const std::vector<Case> cases = {
      {"source deleted", nothing, {"lwa.htm", "mine.htm"}},
      {"a run without --prune in between keeps the page listed",
       [](const TempDir&, const BatchOptions& o) {
         BatchObserver quiet;
         RunBatch(o, *makePosixFileSystem(), quiet);
       },
       {"lwa.htm", "mine.htm"}},
      {"page edited by hand since",
       [](const TempDir& d, const BatchOptions&) { writeFile(d / "out/lwb.htm", "my notes"); },
       {"lwa.htm", "lwb.htm", "mine.htm"},
       1},
      {"manifest missing",
       [&](const TempDir& d, const BatchOptions&) { std::filesystem::remove(d / list); },
       {"lwa.htm", "lwb.htm", "mine.htm"},
       0,
       1},
      {"manifest damaged",
       [&](const TempDir& d, const BatchOptions&) {
         writeFile(d / list, testing::readFile(d / list).substr(0, 40));
       },
       {"lwa.htm", "lwb.htm", "mine.htm"},
       0,
       1},
      {"foreign entries leaving the directory",
       [&](const TempDir& d, const BatchOptions&) {
         const std::string a = testing::readFile(d / "in/a.txt");
         writeFile(d / list,
                   formatManifest({entry("../in/a.txt", "gone.txt", a), entry("..", "gone.txt", ""),
                                   entry(d / "in/a.txt", "gone.txt", a),
                                   entry("mine.htm", "../in/gone.txt", "mine")}));
       },
       {"lwa.htm", "lwb.htm", "mine.htm"},
       4},
      {"a user file with the name of a page, not listed",
       [](const TempDir& d, const BatchOptions&) { writeFile(d / "out/lwc.htm", "mine too"); },
       {"lwa.htm", "lwc.htm", "mine.htm"}},
      {"same page name now made from another file",
       [](const TempDir& d, const BatchOptions&) { writeFile(d / "in/b.lst", "B list\r\n"); },
       {"lwa.htm", "lwb.htm", "mine.htm"}},
      {"check lists and removes nothing", nothing, {"lwa.htm", "lwb.htm", "mine.htm"}, 0, 0, true},
  };
  for (const Case& c : cases) {
    TempDir dir;
    RuleDb db(dir / "rules.mdb");
    db.fileType("TXT", "1", "", "", "DOC").fileType("LST", "1", "", "", "DOC").group("DOC", "", "");
    for (const char* sub : {"in", "out"}) std::filesystem::create_directory(dir / sub);
    writeFile(dir / "in/a.txt", "A\r\n");
    writeFile(dir / "in/b.txt", "B\r\n");
    writeFile(dir / "out/mine.htm", "mine");
    auto fs = makePosixFileSystem();
    BatchOptions options;
    options.dirs = {dir / "in/", dir / "out/"};
    options.rulesPath = db.path();
    Recorder first;
    RunBatch(options, *fs, first);
    std::filesystem::remove(dir / "in/b.txt");
    c.between(dir, options);
    options.prune = true;
    options.checkOnly = c.checkOnly;
    Recorder second;
    const BatchSummary summary = RunBatch(options, *fs, second);
    std::set<std::string> left;
    for (const auto& [name, bytes] : filesOf(dir / "out")) left.insert(name);
    left.erase("index.html");
    left.erase(kManifestName);
    EXPECT_EQ(left, c.left) << c.what;
    const bool removes = !c.left.count("lwb.htm") || c.checkOnly;
    EXPECT_EQ(summary.removedPages,
              removes ? std::vector<std::string>{dir / "out/lwb.htm"} : std::vector<std::string>{})
        << c.what;
    EXPECT_EQ(summary.pagesRemoved, c.checkOnly ? 0u : summary.removedPages.size()) << c.what;
    EXPECT_EQ(testing::readFile(dir / "in/a.txt"), "A\r\n") << c.what;
    EXPECT_EQ(second.count(WarningKind::StalePageKept), c.kept) << c.what;
    EXPECT_EQ(second.count(WarningKind::ManifestUnusable), c.unusable) << c.what;
  }
}
}  // namespace
}  // namespace loom
