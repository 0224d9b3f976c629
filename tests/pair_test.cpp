// Taking the directory pair apart, naming pages and finding a file's type.

#include "app/pair.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace loom {
namespace {

TEST(SplitPair, WorkedPairs) {
  const std::pair<std::string, std::string> rows[] = {
      {"/texts,/site", "/texts/|/site/"},
      {"/texts/,/site/", "/texts/|/site/"},
      {"/texts/ , /site/", "/texts//|/site/"},  // the character before the comma is a blank
      {"  /in , /out  ", "/in/|/out/"},
      {"/in,/out,more", "/in/|/out,more/"},  // further commas belong to the output directory
      {"/my texts,/my site", "/my texts/|/my site/"},
      {"\"/in\",\"/out\"", "\"/in\"/|\"/out\"/"},
  };
  for (const auto& [pair, dirs] : rows) {
    const std::optional<DirectoryPair> got = splitPair(pair);
    ASSERT_TRUE(got.has_value()) << pair;
    EXPECT_EQ(got->input + "|" + got->output, dirs) << pair;
  }
  // An empty part would otherwise read from or write into the root directory.
  for (const std::string pair :
       {"", "/texts", "/texts,", "/texts,   ", ",/site", "   ,/site", ",", " , "})
    EXPECT_FALSE(splitPair(pair).has_value()) << '"' << pair << '"';
}

TEST(JoinArguments, PutsBackTheBlanksTheShellSplitAt) {
  const char* argv[] = {"loomwise-batch", "/my", "texts,/my", "site"};
  EXPECT_EQ(joinArguments(4, argv, 1), "/my texts,/my site");
  EXPECT_EQ(joinArguments(4, argv, 3), "site");
  EXPECT_EQ(joinArguments(1, argv, 1), "");
}

TEST(PageName, WorkedNames) {
  const std::pair<std::string, std::string> rows[] = {
      {"chapter01.txt", "lwapter0.htm"},
      {"faq.txt", "lwfaq.htm"},
      {"notes.2024.txt", "lwnotes.htm"},
      {".hidden", "lw.htm"},
      {"a.b.c", "lwa.htm"},
      {"abreport.txt", "lwreport.htm"},
      {"abcdefg.txt", "lwbcdefg.htm"},
      {"abcdef.txt", "lwabcdef.htm"},
      {"CHAPTER01.TXT", "lwAPTER0.htm"},
      // Whole characters of a UTF-8 name, never half of one.
      {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9.txt",
       "lw\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9.htm"},
      {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4"
       "\xE3\x83\xAB\xE5\x90\x8D.txt",
       "lw\xE8\xAA\x9E\xE3\x81\xAE\xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4\xE3\x83\xAB.htm"},
      // A name that is not UTF-8 is cut on bytes.
      {"\xE9\xE9\xE9\xE9\xE9\xE9\xE9\xE9\xE9.txt", "lw\xE9\xE9\xE9\xE9\xE9\xE9.htm"},
  };
  for (const auto& [file, page] : rows) EXPECT_EQ(pageNameFor(file), page) << file;
  for (const char* none : {"README", ""}) EXPECT_EQ(pageNameFor(none), std::nullopt) << none;
}

TEST(FileExtension, ComesFromTheFileNameAlone) {
  const std::pair<std::string, std::string> rows[] = {
      {"notes.txt", "TXT"},  {"README.TXT", "TXT"},        {"Readme.Txt", "TXT"},
      {"a.b.txt", "B.TXT"},  {"archive.tar.gz", "TAR.GZ"}, {"README", "README"},
      {".hidden", "HIDDEN"}, {"it's.t'x", "T'X"},          {"x.", ""},
  };
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
