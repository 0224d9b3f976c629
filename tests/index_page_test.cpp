// SPDX-License-Identifier: MIT
// The index page, byte for byte, from entries in the order a run adds them.

#include "index/index_page.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/rule_db.h"

namespace loom {
namespace {

std::string link(const std::string& page, const std::string& title) {
  return "<A HREF=\"" + page + "\">" + title + "</a><BR>\r\n";
}

TEST(WriteIndexPage, WorkedPages) {
  // Group rows looked up without regard to case.
  const std::map<std::string, GroupTexts> groups = {
      {"DOC", {"<D>", "<HR>"}}, {"NWS", {"<N>", ""}},   {"A", {"", "</UL>"}},
      {"B", {"<UL>", ""}},      {"A-+-B", {"<P>", ""}}, {"X-=-Y", {"<E>", ""}}};
  const struct {
    std::vector<IndexEntry> added;
    std::string page;     // between "H\r\n" and "F\r\n"
    std::string lookups;  // one per run of entries of one group
  } rows[] = {
      {{{"NWS", "lwapter0.htm", "Chapter One"},
        {"DOC", "lwreadme.htm", "Read Me"},
        {"DOC", "lwguide.htm", "User Guide"}},
       "<D>\r\n" + link("lwguide.htm", "User Guide") + link("lwreadme.htm", "Read Me") +
           "<HR>\r\n<N>\r\n" + link("lwapter0.htm", "Chapter One"),
       "DOC NWS "},
      // An empty group header gives an empty line, an empty footer none.
      {{{"A", "lwa.htm", "a"}, {"B", "lwb.htm", "b"}},
       "\r\n" + link("lwa.htm", "a") + "</UL>\r\n<UL>\r\n" + link("lwb.htm", "b"),
       "A B "},
      // Entries without a group sort first and get no header.
      {{{"doc", "lwa.htm", "a"}, {"", "lwz.htm", "z"}},
       link("lwz.htm", "z") + "<D>\r\n" + link("lwa.htm", "a") + "<HR>\r\n",
       "doc "},
      // Groups that differ in case mix and repeat their header.
      {{{"DOC", "lwa.htm", "a"}, {"doc", "lwb.htm", "b"}, {"DOC", "lwc.htm", "c"}},
       "<D>\r\n" + link("lwa.htm", "a") + "<HR>\r\n<D>\r\n" + link("lwb.htm", "b") +
           "<HR>\r\n<D>\r\n" + link("lwc.htm", "c") + "<HR>\r\n",
       "DOC doc DOC "},
      // Duplicates stay; titles are not escaped; markers stay whole.
      {{{"NWS", "lwr.htm", "R & <B>D</B>"}, {"NWS", "lwr.htm", "R & <B>D</B>"}},
       "<N>\r\n" + link("lwr.htm", "R & <B>D</B>") + link("lwr.htm", "R & <B>D</B>"),
       "NWS "},
      {{{"A-+-B", "lwx.htm", "T-=-U-+-V"}, {"X-=-Y", "lwy.htm", "-+-"}},
       "<P>\r\n" + link("lwx.htm", "T-=-U-+-V") + "<E>\r\n" + link("lwy.htm", "-+-"),
       "A-+-B X-=-Y "},
  };
  for (const auto& row : rows) {
    std::string lookups;
    const GroupLookup lookup = [&](const std::string& group) -> std::optional<GroupTexts> {
      lookups += group + " ";
      for (const auto& [id, texts] : groups)
        if (windows1252Codec().equalNoCase(id, group)) return texts;
      return std::nullopt;
    };
    IndexList list(windows1252Codec());
    for (const IndexEntry& e : row.added) list.add(e);
    EXPECT_EQ(WriteIndexPage(list, "H", "F", lookup), "H\r\n" + row.page + "F\r\n");
    EXPECT_EQ(lookups, row.lookups);
  }
  EXPECT_EQ(WriteIndexPage(IndexList(windows1252Codec()), "", "", {}), "\r\n\r\n");
  IndexList unknown(windows1252Codec());
  unknown.add({"ZZZ", "lwb.htm", "b"});
  const GroupLookup none = [](const std::string&) { return std::nullopt; };
  const std::string message = testing::errorOf([&] { WriteIndexPage(unknown, "H", "F", none); });
  EXPECT_TRUE(testing::contains(message, "Groups has no row for \"ZZZ\"")) << message;
}

TEST(IndexList, SortsIgnoringCaseKeepingEqualEntriesInOrderAndEncodesLinks) {
  IndexList list(windows1252Codec());
  const IndexEntry added[] = {{"nws", "lwb.htm", "second"}, {"DOC", "lwz.htm", "z"},
                              {"NWS", "lwa.htm", "first"},  {"doc", "lwZ.htm", "Z"},
                              {"", "lwq.htm", "no group"},  {"NWS", "lwb.htm", "second"}};
  for (const IndexEntry& e : added) list.add(e);
  std::string seen;
  for (std::size_t k = 0; k < list.size(); ++k) {
    const IndexEntry e = list[k];
    seen += std::string(e.group) + "|" + std::string(e.pageName) + "|" + std::string(e.title) + " ";
  }
  EXPECT_EQ(seen,
            "|lwq.htm|no group DOC|lwz.htm|z doc|lwZ.htm|Z NWS|lwa.htm|first nws|lwb.htm|second "
            "NWS|lwb.htm|second ");
  IndexList many(windows1252Codec());  // more entries than sixteen bits count
  for (int i = 40000; i > 0; --i) many.add({"G", "lw" + std::to_string(100000 + i) + ".htm", "t"});
  ASSERT_EQ(many.size(), 40000u);
  EXPECT_EQ(many[0].pageName, "lw100001.htm");
  EXPECT_EQ(many[39999].pageName, "lw140000.htm");
  // Entries added after a read, one larger than the list's blocks, sort in.
  const std::string huge(100000, 'h');
  many.add({"G", "lw100001.htm", huge});
  many.add({"G", "lw100000.htm", "t"});
  EXPECT_EQ(many[0].pageName, "lw100000.htm");
  EXPECT_EQ(many[1].title, huge);
  EXPECT_EQ(many[2].title, "t");
  EXPECT_EQ(linkAddress("lw notes,it's-=-.htm"), "lw notes,it's-=-.htm");
  EXPECT_EQ(linkAddress("lw:30 no.htm"), "./lw:30 no.htm");
  EXPECT_EQ(linkAddress("10:30 notes.txt#1.html"), "./10:30 notes.txt%231.html");
  EXPECT_EQ(linkAddress("lwy \"hi\"#1%?&amp;\\caf\xE9r\xC3\xA9.htm"),
            "lwy %22hi%22%231%25%3F%26amp;%5Ccaf%E9r%C3%A9.htm");
}

}  // namespace
}  // namespace loom
