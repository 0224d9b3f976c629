// SPDX-License-Identifier: MIT
#pragma once
// A rule database from rows, so each test states exactly the rules it runs with, each cell
// text or NULL as a hand-edited grid types it; and the checks of messages tests share.

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "base/error.h"
#include "support/temp_dir.h"

namespace loom::testing {

class RuleDb {
 public:
  // A new database at `path` holding only the settings rows, with defaults.
  explicit RuleDb(std::string path);
  const std::string& path() const { return path_; }
  // Lines "T|identifier|title line|begin|end|group", "G|group|header|footer", "S|id|content"
  // (added or changed), "X|SQL statements", "C|file type|type|search|replace[|rfirst|rlast|case]"
  // (" ", " " and "1" when left out); "~" is NULL.
  RuleDb& rows(const std::string& lines);
  RuleDb& setting(const std::string& id, const std::optional<std::string>& content);
  RuleDb& exec(const std::string& sql);
  // Content of a GlobalDefs row as stored (first row of that key).
  std::optional<std::string> content(const std::string& id) const;

 private:
  std::string path_;
};

class OneFileTypeRules : public ::testing::Test {
 protected:
  TempDir dir;
  RuleDb rules = RuleDb(dir / "rules.mdb").rows("T|TXT|1|||G\nG|G|<H2>|");
};

inline bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The message of the LoomError that `action` must throw, a failure if it is not of `kind`.
std::string errorOf(const std::function<void()>& action, ErrorKind kind = ErrorKind::Rules);

}  // namespace loom::testing
