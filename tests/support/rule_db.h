#pragma once
// Builds a rule database for a test from rows, so each test states exactly
// the rules it runs with. Every cell is text or NULL (nothing); the columns'
// own types turn "1" into a number where the schema says INTEGER, and keep
// "abc" as text, as a hand-edited grid would.

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "rules/sqlite.h"
#include "support/temp_dir.h"

namespace loom::testing {

using Cell = std::optional<std::string>;
inline const Cell kNull = std::nullopt;

class RuleDb {
 public:
  // A new database at `path` holding the four settings rows with their
  // default values and no other rows.
  explicit RuleDb(std::string path);

  const std::string& path() const { return path_; }

  RuleDb& fileType(const Cell& identifier, const Cell& titleLine, const Cell& beginSection,
                   const Cell& endSection, const Cell& groupId);
  RuleDb& group(const Cell& groupId, const Cell& header, const Cell& footer);
  RuleDb& constraint(const Cell& fileType, const Cell& type, const Cell& search,
                     const Cell& replace, const Cell& rFirst = " ", const Cell& rLast = " ",
                     const Cell& caseSensitive = "1");
  // Sets the Content of a GlobalDefs row, adding the row when it is missing.
  RuleDb& setting(const std::string& id, const Cell& content);
  // Rows written as lines "T|identifier|title line|begin|end|group",
  // "G|group|header|footer", "C|file type|type|search|replace[|rfirst|rlast|case]"
  // "S|id|content" and "X|SQL statements"; "~" is NULL.
  RuleDb& rows(const std::string& lines);
  RuleDb& exec(const std::string& sql);
  // Content of a GlobalDefs row as stored (first row of that key).
  Cell content(const std::string& id) const;

 private:
  RuleDb& insert(const std::string& sql, const std::vector<Cell>& cells);
  std::string path_;
};

// While it lives, rule database handles opened meanwhile give up on another
// writer's lock after a tenth of a second, so that a test of the refusal
// does not wait out the five seconds people get.
struct ShortBusyTimeout {
  ShortBusyTimeout() { setBusyTimeout(std::chrono::milliseconds(100)); }
  ~ShortBusyTimeout() { setBusyTimeout(kDefaultBusyTimeout); }
  ShortBusyTimeout(const ShortBusyTimeout&) = delete;  // one restores the default
  ShortBusyTimeout& operator=(const ShortBusyTimeout&) = delete;
};

// A rule database in a scratch directory, with one file type TXT of group G.
class OneFileTypeRules : public ::testing::Test {
 protected:
  TempDir dir;
  RuleDb rules{dir / "rules.mdb"};
  void SetUp() override { rules.fileType("TXT", "1", "", "", "G").group("G", "<H2>", ""); }
};

inline bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace loom::testing
