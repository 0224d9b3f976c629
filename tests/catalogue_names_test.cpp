// Bad-input catalogue: file names. Each name gets the page name the naming
// rule gives it and a link on the index page that leads to that page; names
// that cannot become pages are reported and skipped.

#include <gtest/gtest.h>

#include <string>

#include "support/faulty_site.h"

namespace loom::testing {
namespace {

struct NameCase {
  const char* name;
  std::string fileName;
  std::string pageName;
  std::string href;  // as written on the index page
};

class NameCatalogue : public ::testing::TestWithParam<NameCase> {};

TEST_P(NameCatalogue, BecomesItsPageWithAWorkingLink) {
  Site site;
  site.input(GetParam().fileName, "The title\r\nbody\r\n");
  const ToolResult r = site.run({"--quiet"});
  ASSERT_EQ(r.exitCode, kExitOk) << r.err;
  EXPECT_EQ(site.page(GetParam().pageName), sitePage({"<TITLE>The title</TITLE><P>", "body<P>"}));
  EXPECT_EQ(site.index(), "<HTML><BODY>\r\n<H2>Articles</H2>\r\n<A HREF=\"" + GetParam().href +
                              "\">The title</a><BR>\r\n</UL>\r\n</BODY></HTML>\r\n");
  EXPECT_EQ(site.outputNames().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, NameCatalogue,
    ::testing::Values(NameCase{"Blanks", "my notes.txt", "lw notes.htm", "lw notes.htm"},
                      NameCase{"Comma", "a,b.txt", "lwa,b.htm", "lwa,b.htm"},
                      NameCase{"Apostrophe", "it's.txt", "lwit's.htm", "lwit's.htm"},
                      NameCase{"Quotes", "say \"hi\".txt", "lwy \"hi\".htm", "lwy %22hi%22.htm"},
                      NameCase{"GroupMarker", "a-=-b.txt", "lwa-=-b.htm", "lwa-=-b.htm"},
                      NameCase{"TitleMarker", "x-+-y.txt", "lwx-+-y.htm", "lwx-+-y.htm"},
                      NameCase{"NotUtf8", "caf\xE9.txt", "lwcaf\xE9.htm", "lwcaf%E9.htm"},
                      NameCase{"Utf8", "r\xC3\xA9sum\xC3\xA9.txt", "lwr\xC3\xA9sum\xC3\xA9.htm",
                               "lwr%C3%A9sum%C3%A9.htm"},
                      NameCase{"Hash", "#1.txt", "lw#1.htm", "lw%231.htm"},
                      NameCase{"Percent", "100%.txt", "lw100%.htm", "lw100%25.htm"},
                      NameCase{"QuestionMark", "why?.txt", "lwwhy?.htm", "lwwhy%3F.htm"},
                      NameCase{"Ampersand", "x&amp;y.txt", "lw&amp;y.htm", "lw%26amp;y.htm"},
                      NameCase{"Backslash", "a\\b.txt", "lwa\\b.htm", "lwa%5Cb.htm"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NameCatalogueSkipped, NameWithoutDotIsReportedAndSkipped) {
  Site site;
  site.input("README", "no type\r\n");
  site.input("a.txt", "A\r\n");
  const ToolResult r = site.run();
  EXPECT_EQ(r.exitCode, kExitOk) << r.err;
  EXPECT_NE(r.err.find("warning: File \"" + site.in() +
                       "/README\" has no \".\" in its name, so it "
                       "has no file type; skipped"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(site.outputNames(), (std::vector<std::string>{"index.html", "lwa.htm"}));
}

TEST(NameCatalogueSkipped, HiddenNameWithLeadingDotIsNotAnInputFile) {
  Site site;
  site.input(".profile.txt", "hidden\r\n");
  site.input("..x.txt", "hidden too\r\n");
  const ToolResult r = site.run({"--quiet"});
  EXPECT_EQ(r.exitCode, kExitOk) << r.err;
  EXPECT_EQ(site.outputNames(), std::vector<std::string>{"index.html"});
  EXPECT_EQ(site.index(), "<HTML><BODY>\r\n</BODY></HTML>\r\n");
}

TEST(NameCatalogueSkipped, ExtensionWithApostropheNamesTheMissingFileType) {
  Site site;
  site.input("a.t'x", "x\r\n");
  const ToolResult r = site.run();
  EXPECT_EQ(r.exitCode, kExitRules) << r.err;
  EXPECT_NE(r.err.find("FileTypes has no row for \"T'X\" (needed by file \"a.t'x\")"),
            std::string::npos)
      << r.err;
  EXPECT_TRUE(site.outputNames().empty());
}

}  // namespace
}  // namespace loom::testing
