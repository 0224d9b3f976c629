// Bad-input catalogue: file contents and sizes. Every file converts; what
// the page holds for each is stated exactly.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/batch.h"
#include "app/manifest.h"
#include "support/faulty_site.h"
#include "support/memory_file_system.h"

namespace loom::testing {
namespace {

struct ContentCase {
  const char* name;
  std::string bytes;
  std::vector<std::string> pageLines;  // between header and footer
  bool titleIsPath;                    // no usable title line: the index shows the file's path
};

class ContentCatalogue : public ::testing::TestWithParam<ContentCase> {};

TEST_P(ContentCatalogue, ConvertsToItsPage) {
  Site site;
  site.input("f.txt", GetParam().bytes);
  const ToolResult r = site.run({"--quiet"});
  ASSERT_EQ(r.exitCode, kExitOk) << r.err;
  EXPECT_EQ(site.page("lwf.htm"), sitePage(GetParam().pageLines));
  const std::string link = "<A HREF=\"lwf.htm\">";
  const std::size_t at = site.index().find(link);
  ASSERT_NE(at, std::string::npos) << site.index();
  if (GetParam().titleIsPath) {
    EXPECT_EQ(site.index().find(link + site.in() + "/f.txt</a>"), at);
  }
}

const std::string kMegabyte(1 << 20, 'x');

INSTANTIATE_TEST_SUITE_P(
    Catalogue, ContentCatalogue,
    ::testing::Values(
        ContentCase{"EmptyFile", "", {}, true},
        ContentCase{"OnlyBlankLines", "\r\n   \r\n\r\n", {"<TITLE></TITLE><P>"}, true},
        ContentCase{"OneMegabyteLine", kMegabyte, {"<TITLE>" + kMegabyte + "</TITLE><P>"}, false},
        ContentCase{"NulBytes",
                    std::string("a\0b\r\n\0\r\n", 8),
                    {std::string("<TITLE>a\0b</TITLE><P>", 21), std::string("\0<P>", 4)},
                    false},
        ContentCase{"CrOnlyLineEnds",
                    "one\rtwo\rthree",
                    {"<TITLE>one</TITLE><P>", "two<P>", "three<P>"},
                    false},
        ContentCase{
            "LfOnlyLineEndsStayInTheLine", "one\ntwo\n", {"<TITLE>one\ntwo\n</TITLE><P>"}, false},
        ContentCase{"MixedLineEnds",
                    "a\r\nb\rc\nd\r\n\r\n",
                    {"<TITLE>a</TITLE><P>", "b<P>", "c\nd<P>"},
                    false},
        ContentCase{
            "TabsAreNotTrimmed", "\tT\t\r\n \t \r\n", {"<TITLE>\tT\t</TITLE><P>", "\t<P>"}, false},
        ContentCase{"BytesOfEveryValue",
                    std::string("T\r\n") + "\x80\x81\x9F\xA0\xFF",
                    {"<TITLE>T</TITLE><P>", "\x80\x81\x9F\xA0\xFF<P>"},
                    false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ContentCatalogueRuns, InputEqualToOutputDoesNotConvertThePagesOfTheSameRun) {
  Site site;
  site.input("a.txt", "A\r\n");
  site.input("b.txt", "B\r\n");
  const ToolResult r = runBatchTool({"--quiet", "--rules", site.rulesPath(), site.in(), site.in()});
  ASSERT_EQ(r.exitCode, kExitOk) << r.err;
  EXPECT_EQ(directoryNames(site.in()),
            (std::vector<std::string>{kManifestName, "a.txt", "b.txt", "index.html", "lwa.htm",
                                      "lwb.htm"}));
  EXPECT_EQ(readFile(site.in() + "/lwa.htm"), sitePage({"<TITLE>A</TITLE><P>"}));
}

TEST(ContentCatalogueRuns, InputFileOverwrittenByAPageOfTheSameRunIsConvertedAsItWas) {
  // p0.txt's page is lwp0.htm, which is also an input file of the run; the
  // output directory is the input directory however it is spelled. Eight
  // such pairs, so that in the directory's own order some page comes first.
  const struct {
    const char* output;  // appended to the input directory
    const char* jobs;
  } rows[] = {{"", "1"}, {"/.", "1"}, {"/.", "4"}, {"/../in", "4"}, {"/../link", "1"}};
  for (const auto& row : rows) {
    Site site;
    site.rules().fileType("HTM", "1", "", "", "ART");
    std::filesystem::create_directory_symlink(site.in(), site.dir / "link");
    for (char i = '0'; i < '8'; ++i) {
      site.input(std::string("p") + i + ".txt", std::string("Foo") + i + "\r\n");
      site.input(std::string("lwp") + i + ".htm", std::string("Old") + i + "\r\n");
    }
    const std::string out = site.in() + row.output;
    const ToolResult r =
        runBatchTool({"--quiet", "--jobs", row.jobs, "--rules", site.rulesPath(), site.in(), out});
    ASSERT_EQ(r.exitCode, kExitOk) << r.err;
    for (char i = '0'; i < '8'; ++i) {
      EXPECT_EQ(readFile(site.in() + "/lwp" + i + ".htm"),
                sitePage({std::string("<TITLE>Foo") + i + "</TITLE><P>"}))
          << out;
      EXPECT_EQ(readFile(site.in() + "/lwlwp" + i + ".htm"),
                sitePage({std::string("<TITLE>Old") + i + "</TITLE><P>"}))
          << out;
    }
  }
}

TEST(ContentCatalogueRuns, TwoFilesWithOnePageNameGiveTheLaterPageAndTwoLinks) {
  Site site;
  site.input("report.txt", "First\r\n");
  site.input("report.TXT", "Second\r\n");
  const ToolResult r = site.run({"--quiet", "--jobs", "1"});
  ASSERT_EQ(r.exitCode, kExitOk) << r.err;
  const std::string page = site.page("lwreport.htm");
  EXPECT_TRUE(page == sitePage({"<TITLE>First</TITLE><P>"}) ||
              page == sitePage({"<TITLE>Second</TITLE><P>"}));
  EXPECT_NE(site.index().find("<A HREF=\"lwreport.htm\">First</a>"), std::string::npos);
  EXPECT_NE(site.index().find("<A HREF=\"lwreport.htm\">Second</a>"), std::string::npos);
}

TEST(ContentCatalogueRuns, HundredThousandFilesAllBecomePagesAndLinks) {
  Site site;  // for the rule database
  MemoryFileSystem fs;
  fs.addDirectory("/in/");
  fs.addDirectory("/out/");
  constexpr int kFiles = 100000;
  char name[32];
  for (int i = 0; i < kFiles; ++i) {
    std::snprintf(name, sizeof name, "/in/ab%06d.txt", i);
    fs.addFile(name, "T" + std::to_string(i) + "\r\n");
  }
  BatchOptions options;
  options.dirs = {"/in/", "/out/"};
  options.rulesPath = site.rulesPath();
  BatchObserver quiet;
  const BatchSummary summary = RunBatch(options, fs, quiet);
  EXPECT_EQ(summary.pagesWritten, static_cast<std::size_t>(kFiles));
  EXPECT_EQ(fs.contents("/out/lw099999.htm"), sitePage({"<TITLE>T99999</TITLE><P>"}));
  const std::string& index = fs.contents("/out/index.html");
  std::size_t links = 0;
  for (std::size_t at = 0; (at = index.find("<A HREF=", at)) != std::string::npos; ++at) ++links;
  EXPECT_EQ(links, static_cast<std::size_t>(kFiles));
  EXPECT_LT(index.find("lw000000.htm"), index.find("lw099999.htm"));
}

}  // namespace
}  // namespace loom::testing
