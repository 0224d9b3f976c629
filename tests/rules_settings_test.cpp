// Writing the global settings back as the Setup window does on closing, and
// text that goes through the database and comes back the same.

#include <gtest/gtest.h>

#include <string>

#include "base/codec.h"
#include "base/error.h"
#include "rules/global_settings.h"
#include "rules/rule_tables.h"
#include "support/rule_db.h"
#include "support/temp_dir.h"

namespace loom {
namespace {

using testing::RuleDb;
using testing::TempDir;

GlobalSettings values(std::string tag, std::string header, std::string footer, std::string index) {
  GlobalSettings s;
  s.endOfLineTag = std::move(tag);
  s.header = std::move(header);
  s.footer = std::move(footer);
  s.indexPageName = std::move(index);
  return s;
}

TEST(SaveGlobalSettings, TrimsOnlySpacesAndKeepsTabsAndLineBreaks) {
  TempDir dir;
  RuleDb db(dir / "rules.mdb");
  SaveGlobalSettings(db.path(), values("  <BR>  ", "\t<HTML>\r\n<BODY>\r\n ", "  ", " site.html"));
  EXPECT_EQ(db.content("EndofLine"), "<BR>");
  EXPECT_EQ(db.content("Header"), "\t<HTML>\r\n<BODY>\r\n");
  EXPECT_EQ(db.content("Footer"), "");
  EXPECT_EQ(db.content("IndexPageName"), "site.html");
  const GlobalSettings loaded = LoadGlobalSettings(db.path());
  EXPECT_EQ(loaded.header, "\t<HTML>\r\n<BODY>\r\n");
  EXPECT_EQ(loaded.footer, "");
}

TEST(SaveGlobalSettings, AFailureHalfWayWritesNothingAndReachesTheCaller) {
  TempDir dir;
  RuleDb db(dir / "rules.mdb");
  // The third row refuses the write after the first two were updated.
  db.exec(
      "CREATE TRIGGER refuse BEFORE UPDATE ON GlobalDefs WHEN NEW.ID = 'Footer' "
      "BEGIN SELECT RAISE(ABORT, 'refused'); END");
  EXPECT_THROW(SaveGlobalSettings(db.path(), values("<BR>", "<H>", "<F>", "x.html")), LoomError);
  EXPECT_EQ(db.content("EndofLine"), "<P>");
  EXPECT_EQ(db.content("Header"), "<HTML><BODY>");
  EXPECT_EQ(db.content("Footer"), "</BODY></HTML>");
  EXPECT_EQ(db.content("IndexPageName"), "index.html");
}

TEST(SaveGlobalSettings, ALockedFileIsAnErrorAndNothingChanges) {
  TempDir dir;
  RuleDb db(dir / "rules.mdb");
  {
    const testing::ShortBusyTimeout shortWait;
    Database other(db.path(), Database::Mode::ReadWrite);
    Transaction holding(other);  // holds the write lock past the wait, then rolls back
    try {
      SaveGlobalSettings(db.path(), values("<BR>", "<H>", "<F>", "x.html"));
      FAIL() << "no error";
    } catch (const LoomError& e) {
      EXPECT_EQ(e.kind(), ErrorKind::Rules);
      EXPECT_NE(std::string(e.what()).find("locked"), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(db.path()), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(db.content("EndofLine"), "<P>");
  EXPECT_EQ(db.content("IndexPageName"), "index.html");
}

TEST(SaveGlobalSettings, AMissingRowIsCreatedAndNoOtherRowTouched) {
  TempDir dir;
  RuleDb db(dir / "rules.mdb");
  db.exec("DELETE FROM GlobalDefs WHERE ID = 'Header'");
  db.setting("Other", "unrelated");
  SaveGlobalSettings(db.path(), values("<BR>", "<H>", "<F>", "x.html"));
  EXPECT_EQ(db.content("Header"), "<H>");
  EXPECT_EQ(db.content("EndofLine"), "<BR>");
  EXPECT_EQ(db.content("Footer"), "<F>");
  EXPECT_EQ(db.content("IndexPageName"), "x.html");
  EXPECT_EQ(db.content("Other"), "unrelated");
  EXPECT_EQ(readRuleTables(db.path()).globalDefs.size(), 5u);
}

TEST(StoredText, EveryWindows1252ByteSurvivesSavingAndLoading) {
  TempDir dir;
  RuleDb db(dir / "rules.mdb");
  const TextCodec& codec = windows1252Codec();
  std::string bytes = "<";
  for (int b = 1; b < 256; ++b) bytes.push_back(static_cast<char>(b));
  bytes += ">";
  SaveGlobalSettings(db.path(), values(codec.toStore(bytes), "h", "f", "i"));
  const std::string loaded = LoadGlobalSettings(db.path()).endOfLineTag;
  EXPECT_EQ(codec.fromStore(loaded, "GlobalDefs row \"EndofLine\""), bytes);
  // Bytes 0x80-0x9F are stored as the characters they stand for.
  EXPECT_EQ(codec.toStore("\x80\x8A\x9F"), "\xE2\x82\xAC\xC5\xA0\xC5\xB8");
  EXPECT_EQ(codec.toStore("\x81\x8D\x8F\x90\x9D"), "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
}

}  // namespace
}  // namespace loom
