// SPDX-License-Identifier: MIT
// The rules as a text file: export and import.

#include "rules/rules_json.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "rules/rule_tables.h"
#include "support/rule_db.h"
#include "support/temp_dir.h"

namespace loom {
namespace {

using testing::contains;
using testing::RuleDb;
using RulesJson = testing::OneFileTypeRules;

TEST_F(RulesJson, ImportRefusesBadFilesAndExportsRoundTripWithNullsEmptyTextsLineBreaksAndOrder) {
  const std::string good = exportRulesText(rules.path());
  const RuleDb target = RuleDb(dir / "target.mdb").rows("C|GEN|1|keep|me");
  const std::string before = exportRulesText(target.path());

  auto with = [&](const std::string& from, const std::string& to) {
    std::string text = good;
    return text.replace(text.find(from), from.size(), to);
  };
  const std::string titleLine = "\"Title Line\":1", lastSetting = "{\"ID\":\"IndexPageName\"";
  const std::string column = "line 4: FileTypes record 1, column \"Title Line\": ";
  const std::pair<std::string, std::string> cases[] = {
      {with(",\"GroupID\":\"G\"", ""), "line 4: FileTypes record 1 has no column \"GroupID\""},
      {with(titleLine, titleLine + "8446744073709551615"),
       column + "the number 18446744073709551615"},
      {with(titleLine, titleLine + "e400"), "line 4: the number 1e400 is out of range"},
      {with(titleLine, titleLine + ".5"), column + "needs a whole number, not 1.5"},
      {with(lastSetting, "{\"ID\":\"header\",\"Content\":\"\"},\n" + lastSetting),
       "the ID \"header\" occurs already in GlobalDefs record 2"},
      {with("\"Groups\"", "\"Groups\" oops"), "line 6: not valid JSON"},
      {"{\"format\": \"loomwise-rules 1\"}", "the table \"FileTypes\" is missing"},
      {with("\"Groups\"", "\"Groups\":\"none\",\"Unused\""), "the table \"Groups\" is missing"},
      {"[]", "line 1: not a Loomwise rules file"},
      {with(lastSetting, "{\"ID\":\"Spare\""), "GlobalDefs has no row for \"IndexPageName\""},
  };
  for (const auto& [text, expected] : cases) {
    const std::string message = testing::errorOf(
        [&] { importRulesText(target.path(), text, "rules.json"); }, ErrorKind::Usage);
    EXPECT_TRUE(contains(message, expected) && contains(message, "\"rules.json\"")) << message;
    EXPECT_EQ(exportRulesText(target.path()), before);
  }
  rules.setting("Header", "<HTML>\r\n<BODY>\r\n")
      .rows(
          "G|N|~|\nC|GEN|1|first|1\nC|GEN|1|second|2\nC|GEN|1|third|3|~||~\n"
          "X|DELETE FROM Constraints WHERE \"Search String\" = 'second'\nC|GEN|2|fourth|(EOL)");
  const std::string text = exportRulesText(rules.path());
  EXPECT_TRUE(contains(text, "{\"GroupID\":\"N\",\"Header\":null,\"Footer\":\"\"}\n")) << text;
  EXPECT_TRUE(contains(text, "\"Content\":\"<HTML>\\r\\n<BODY>\\r\\n\"")) << text;
  EXPECT_LT(text.find("third"), text.find("fourth"));
  EXPECT_EQ(text.find("second"), std::string::npos);

  // What the run accepts the export writes (a blob of text); what JSON cannot hold it refuses.
  RuleDb odd(dir / "odd.mdb");
  odd.exec("UPDATE GlobalDefs SET Content = CAST('<HTML>' AS BLOB) WHERE ID = 'Header'");
  EXPECT_TRUE(contains(exportRulesText(odd.path()), "{\"ID\":\"Header\",\"Content\":\"<HTML>\"}"));
  odd.rows("T|TXT|1|||G\nX|UPDATE FileTypes SET \"Title Line\" = 9e999");
  EXPECT_THROW(exportRulesText(odd.path()), LoomError);

  RuleDb fresh(dir / "fresh.mdb");
  importRulesText(fresh.path(), text, "rules.json");
  EXPECT_EQ(exportRulesText(fresh.path()), text);  // NULL and the empty text stay apart
}

}  // namespace
}  // namespace loom
