// The index page, byte for byte, from entries in the order a run adds them.

#include "index/index_page.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "base/error.h"

namespace loom {
namespace {

// Group rows looked up without regard to case; counts the lookups.
struct Groups {
  std::map<std::string, GroupTexts> rows;
  std::vector<std::string> lookups;
  GroupLookup lookup() {
    return [this](const std::string& group) -> std::optional<GroupTexts> {
      lookups.push_back(group);
      for (const auto& [id, texts] : rows) {
        if (windows1252Codec().equalNoCase(id, group)) return texts;
      }
      return std::nullopt;
    };
  }
};

std::string indexPage(const std::vector<IndexEntry>& added, Groups& groups,
                      const std::string& header = "<HTML><BODY>",
                      const std::string& footer = "</BODY></HTML>") {
  IndexList list(windows1252Codec());
  for (const IndexEntry& e : added) list.add(e);
  return WriteIndexPage(list, header, footer, groups.lookup());
}

TEST(WriteIndexPage, WorkedExample) {
  Groups groups{{{"DOC", {"<H2>Documents</H2>", "<HR>"}}, {"NWS", {"<H2>News</H2>", ""}}}, {}};
  const std::string page = indexPage({{"NWS", "lwapter0.htm", "Chapter One"},
                                      {"DOC", "lwreadme.htm", "Read Me"},
                                      {"DOC", "lwguide.htm", "User Guide"}},
                                     groups);
  EXPECT_EQ(page,
            "<HTML><BODY>\r\n"
            "<H2>Documents</H2>\r\n"
            "<A HREF=\"lwguide.htm\">User Guide</a><BR>\r\n"
            "<A HREF=\"lwreadme.htm\">Read Me</a><BR>\r\n"
            "<HR>\r\n"
            "<H2>News</H2>\r\n"
            "<A HREF=\"lwapter0.htm\">Chapter One</a><BR>\r\n"
            "</BODY></HTML>\r\n");
  // One lookup per run of entries of one group.
  EXPECT_EQ(groups.lookups, (std::vector<std::string>{"DOC", "NWS"}));
}

TEST(WriteIndexPage, NoEntriesGivesHeaderAndFooterOnly) {
  Groups groups;
  EXPECT_EQ(indexPage({}, groups), "<HTML><BODY>\r\n</BODY></HTML>\r\n");
  EXPECT_EQ(indexPage({}, groups, "", ""), "\r\n\r\n");
  EXPECT_TRUE(groups.lookups.empty());
}

TEST(WriteIndexPage, EmptyGroupHeaderGivesAnEmptyLineAndEmptyFooterNone) {
  Groups groups{{{"A", {"", "</UL>"}}, {"B", {"<UL>", ""}}}, {}};
  EXPECT_EQ(indexPage({{"A", "lwa.htm", "a"}, {"B", "lwb.htm", "b"}}, groups, "H", "F"),
            "H\r\n\r\n<A HREF=\"lwa.htm\">a</a><BR>\r\n</UL>\r\n"
            "<UL>\r\n<A HREF=\"lwb.htm\">b</a><BR>\r\nF\r\n");
}

TEST(WriteIndexPage, EntriesWithoutGroupSortFirstAndGetNoHeader) {
  Groups groups{{{"A", {"<H2>A</H2>", "<HR>"}}}, {}};
  EXPECT_EQ(indexPage({{"A", "lwa.htm", "a"}, {"", "lwz.htm", "z"}}, groups, "H", "F"),
            "H\r\n<A HREF=\"lwz.htm\">z</a><BR>\r\n<H2>A</H2>\r\n"
            "<A HREF=\"lwa.htm\">a</a><BR>\r\n<HR>\r\nF\r\n");
  EXPECT_EQ(groups.lookups, std::vector<std::string>{"A"});
}

TEST(WriteIndexPage, GroupsThatDifferInCaseMixAndRepeatTheirHeader) {
  Groups groups{{{"GEN", {"<H2>G</H2>", "<HR>"}}}, {}};
  const std::string page =
      indexPage({{"GEN", "lwa.htm", "a"}, {"gen", "lwb.htm", "b"}, {"GEN", "lwc.htm", "c"}}, groups,
                "H", "F");
  EXPECT_EQ(page,
            "H\r\n"
            "<H2>G</H2>\r\n<A HREF=\"lwa.htm\">a</a><BR>\r\n<HR>\r\n"
            "<H2>G</H2>\r\n<A HREF=\"lwb.htm\">b</a><BR>\r\n<HR>\r\n"
            "<H2>G</H2>\r\n<A HREF=\"lwc.htm\">c</a><BR>\r\n<HR>\r\n"
            "F\r\n");
  EXPECT_EQ(groups.lookups, (std::vector<std::string>{"GEN", "gen", "GEN"}));
}

TEST(WriteIndexPage, DuplicatesStayAndTitlesAreNotEscaped) {
  Groups groups{{{"D", {"<H2>D</H2>", ""}}}, {}};
  const std::string page =
      indexPage({{"D", "lwreport.htm", "R & <B>D</B>"}, {"D", "lwreport.htm", "R & <B>D</B>"}},
                groups, "H", "F");
  EXPECT_EQ(page,
            "H\r\n<H2>D</H2>\r\n"
            "<A HREF=\"lwreport.htm\">R & <B>D</B></a><BR>\r\n"
            "<A HREF=\"lwreport.htm\">R & <B>D</B></a><BR>\r\n"
            "F\r\n");
}

TEST(WriteIndexPage, MarkersInsideGroupOrTitleStayWhole) {
  Groups groups{{{"A-+-B", {"<H2>plus</H2>", ""}}, {"X-=-Y", {"<H2>equals</H2>", ""}}}, {}};
  const std::string page =
      indexPage({{"A-+-B", "lwx.htm", "T-=-U-+-V"}, {"X-=-Y", "lwy.htm", "-+-"}}, groups, "H", "F");
  EXPECT_EQ(page,
            "H\r\n<H2>plus</H2>\r\n<A HREF=\"lwx.htm\">T-=-U-+-V</a><BR>\r\n"
            "<H2>equals</H2>\r\n<A HREF=\"lwy.htm\">-+-</a><BR>\r\nF\r\n");
  EXPECT_EQ(groups.lookups, (std::vector<std::string>{"A-+-B", "X-=-Y"}));
}

TEST(WriteIndexPage, GroupWithoutRowIsAnErrorNamingIt) {
  Groups groups{{{"DOC", {"<H2>D</H2>", ""}}}, {}};
  try {
    indexPage({{"DOC", "lwa.htm", "a"}, {"ZZZ", "lwb.htm", "b"}}, groups);
    FAIL() << "no error";
  } catch (const LoomError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::Rules);
    EXPECT_NE(std::string(e.what()).find("Groups has no row for \"ZZZ\""), std::string::npos)
        << e.what();
  }
}

TEST(IndexList, SortsByTheJoinedTextIgnoringCaseAndKeepsEqualEntriesInOrder) {
  IndexList list(windows1252Codec());
  const std::vector<IndexEntry> added = {
      {"nws", "lwb.htm", "second"}, {"DOC", "lwz.htm", "z"},     {"NWS", "lwa.htm", "first"},
      {"doc", "lwZ.htm", "Z"},      {"", "lwq.htm", "no group"}, {"NWS", "lwb.htm", "second"},
  };
  for (const IndexEntry& e : added) list.add(e);
  std::vector<std::string> order;
  for (std::size_t k = 0; k < list.size(); ++k) {
    order.push_back(std::string(list[k].group) + "|" + std::string(list[k].pageName) + "|" +
                    std::string(list[k].title));
  }
  EXPECT_EQ(order, (std::vector<std::string>{"|lwq.htm|no group", "DOC|lwz.htm|z", "doc|lwZ.htm|Z",
                                             "NWS|lwa.htm|first", "nws|lwb.htm|second",
                                             "NWS|lwb.htm|second"}));
  EXPECT_EQ(list.size(), 6u);
}

TEST(IndexList, SortsMoreEntriesThanSixteenBitsCount) {
  IndexList list(windows1252Codec());
  for (int i = 40000; i > 0; --i) list.add({"G", "lw" + std::to_string(100000 + i) + ".htm", "t"});
  ASSERT_EQ(list.size(), 40000u);
  EXPECT_EQ(list[0].pageName, "lw100001.htm");
  EXPECT_EQ(list[39999].pageName, "lw140000.htm");
}

}  // namespace
}  // namespace loom
