// SPDX-License-Identifier: MIT
// Taking the directory pair apart, naming pages and finding a file's type.

#include "app/pair.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "app/page_name.h"

namespace loom {
namespace {

TEST(SplitPair, WorkedPairsAndJoinedArguments) {
  const std::pair<std::string, std::string> rows[] = {
      // Further commas belong to the output directory; "/texts/ " ends in a blank.
      {"/texts,/site", "/texts/|/site/"},        {"/texts/,/site/", "/texts/|/site/"},
      {"/texts/ , /site/", "/texts//|/site/"},   {"  /in , /out  ", "/in/|/out/"},
      {"/in,/out,more", "/in/|/out,more/"},      {"/my texts,/my site", "/my texts/|/my site/"},
      {"\"/in\",\"/out\"", "\"/in\"/|\"/out\"/"}};
  for (const auto& [pair, dirs] : rows) {
    const std::optional<DirectoryPair> got = splitPair(pair);
    ASSERT_TRUE(got.has_value()) << pair;
    EXPECT_EQ(got->input + "|" + got->output, dirs) << pair;
  }
  // An empty part would otherwise read from or write into the root directory.
  for (const std::string pair :
       {"", "/texts", "/texts,", "/texts,   ", ",/site", "   ,/site", ",", " , "})
    EXPECT_FALSE(splitPair(pair).has_value()) << '"' << pair << '"';
  const char* argv[] = {"loomwise-batch", "/my", "texts,/my", "site"};
  EXPECT_EQ(joinArguments(4, argv, 1), "/my texts,/my site");
  EXPECT_EQ(joinArguments(4, argv, 3) + joinArguments(1, argv, 1), "site");
}

TEST(PageName, WorkedNames) {
  // Whole characters of a UTF-8 name, never half of one; other names are cut on bytes.
  const std::string e3 = "\xC3\xA9\xC3\xA9\xC3\xA9", b3 = "\xE9\xE9\xE9";
  for (const std::string row :
       {"chapter01.txt lwapter0.htm", "faq.txt lwfaq.htm", ".hidden lw.htm", "a.b.c lwa.htm",
        "notes.2024.txt lwnotes.htm", "abreport.txt lwreport.htm", "abcdefg.txt lwbcdefg.htm",
        "abcdef.txt lwabcdef.htm", "CHAPTER01.TXT lwAPTER0.htm", "README lwREADME.htm",
        "Makefile-old lwkefile.htm"})
    EXPECT_EQ(pageNameFor(row.substr(0, row.find(' '))), row.substr(row.find(' ') + 1)) << row;
  for (const char* name : {"chapter01.txt", "README", "10:30 notes.txt", "a.b"})
    EXPECT_EQ(pageNameFor(name, PageNaming::Full), std::string(name) + ".html") << name;
  EXPECT_EQ(pageNameFor(e3 + e3 + e3 + ".txt"), "lw" + e3 + e3 + ".htm");
  EXPECT_EQ(pageNameFor(b3 + b3 + b3 + ".txt"), "lw" + b3 + b3 + ".htm");
}

TEST(FileExtension, ComesFromTheFileNameAlone) {
  const std::pair<std::string, std::string> rows[] = {
      {"notes.txt", "TXT"},  {"README.TXT", "TXT"},        {"Readme.Txt", "TXT"},
      {"a.b.txt", "B.TXT"},  {"archive.tar.gz", "TAR.GZ"}, {"README", "README"},
      {".hidden", "HIDDEN"}, {"it's.t'x", "T'X"},          {"x.", ""}};
  for (const auto& [file, extension] : rows) {
    EXPECT_EQ(fileExtension(file, windows1252Codec()), extension) << file;
    EXPECT_EQ(fileExtension(file, utf8Codec()), extension) << file;
  }
  // A UTF-8 name is compared in the encoding of the run.
  EXPECT_EQ(fileExtension("x.\xC3\xA9t\xC3\xA9", windows1252Codec()), "\xC9T\xC9");
  EXPECT_EQ(fileExtension("x.\xC3\xA9t\xC3\xA9", utf8Codec()), "\xC3\x89T\xC3\x89");
  EXPECT_EQ(fileExtension("ποίημα.κείμ", utf8Codec()), "ΚΕΊΜ");
}

}  // namespace
}  // namespace loom
