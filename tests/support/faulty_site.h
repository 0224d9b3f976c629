#pragma once
// A small site on the real disk for the bad-input catalogue: in/ and out/
// directories and a rule database with one file type (TXT, title line 1, in
// group ART), run through the real loomwise-batch.

#include <string>
#include <vector>

#include "support/faulty_tool.h"
#include "support/rule_db.h"
#include "support/temp_dir.h"

namespace loom::testing {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitRules = 3;
inline constexpr int kExitIo = 4;

class Site {
 public:
  Site();
  std::string in() const { return dir / "in"; }
  std::string out() const { return dir / "out"; }
  std::string rulesPath() const { return dir / "rules.mdb"; }
  RuleDb& rules() { return rules_; }
  // Adds a file to in/.
  void input(const std::string& name, const std::string& bytes);
  // loomwise-batch --rules <rules> [extra...] in out
  ToolResult run(const std::vector<std::string>& extra = {}) const;
  std::string page(const std::string& name) const { return readFile(out() + "/" + name); }
  std::string index() const { return page("index.html"); }
  // out/'s names, hidden ones too (stray temporary files), but not the list
  // of pages every run keeps there.
  std::vector<std::string> outputNames() const;

  TempDir dir;

 private:
  RuleDb rules_;
};

// The page the site's rules make of `lines` (already the page's own lines,
// each with its end-of-line tag), between the default header and footer.
std::string sitePage(const std::vector<std::string>& lines);

}  // namespace loom::testing
