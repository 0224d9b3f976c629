// SPDX-License-Identifier: MIT
#pragma once
// The one place where the stored rule tables become what a conversion runs
// on: the settings and the encoding of a run, the page rules of each
// extension with their constraint rows compiled in the run's encoding, and
// the groups. Every problem and warning found on the way is collected,
// worded as a run reports it. The batch plan, --explain and the Constraint
// Form's preview all compile the rules here.
//
// It sits in app/, above convert/ and index/: it makes their types
// (PageRules, GroupTexts) and words what it finds as the run's warnings
// (app/batch_observer.h), which the layers below do not know.

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/batch_observer.h"
#include "app/page_name.h"
#include "base/codec.h"
#include "base/error.h"
#include "convert/page_rules.h"
#include "index/index_page.h"
#include "rules/constraint_draft.h"
#include "rules/rule_tables.h"
#include "rules/settings_table.h"

namespace loom {

struct PlanWarning {
  WarningKind kind;
  std::string message;
};

// The rules of one run, in its encoding.
struct CompiledRules {
  const TextCodec* codec = &windows1252Codec();
  PageSettings settings;
  std::string indexPageName;  // a plain file name, as stored
  PageNaming pageNaming = PageNaming::Short;
  // Whether FileTypes has a row GEN: the type of every file whose extension
  // has no row of its own, and of every file without ".".
  bool hasGenericType = false;
  std::set<std::string> genericExtensions;  // the run's extensions that take GEN's row
  // Whether EscapeText was given (stored or for this run): when it was not,
  // sources that hold markup-like text are worth a warning.
  bool escapeTextChosen = false;
  std::map<std::string, PageRules> rulesByExtension;
  std::map<std::string, std::string> groupByExtension;     // GroupID as stored, run encoding
  std::vector<std::pair<std::string, GroupTexts>> groups;  // rows in stored order

  std::optional<GroupTexts> findGroup(const std::string& group) const;
};

// Extensions in the run's encoding, each with the files that need its rules:
// the first of them and how many (as a message names them).
struct FilesOfExtension {
  std::string first;
  std::size_t count = 0;
};
using FilesByExtension = std::map<std::string, FilesOfExtension>;

// Compiles in two steps, since the files of a run are listed in its
// encoding: first the settings, then the rules of the extensions that occur.
class RulesCompiler {
 public:
  // What is found is added to `problems` and `warnings`, in the order found.
  RulesCompiler(std::vector<Problem>& problems, std::vector<PlanWarning>& warnings)
      : problems_(problems), warnings_(warnings) {}

  // Reads the tables and the settings and chooses the encoding. Returns
  // false when the rules cannot be read at all or name no known encoding:
  // nothing more can be compiled then.
  bool readSettings(const std::string& rulesPath, const SettingOverrides& overrides,
                    CompiledRules& rules);
  // The page rules of each extension of `files`, and the groups they name.
  // Their rows are not compiled for screening lines (see compileRows): a
  // run does that for the file types it converts.
  void compile(const FilesByExtension& files, CompiledRules& rules);
  // The stored constraint rows of `fileType` and "GEN" in stored order,
  // compiled in the encoding of `rules` (after readSettings), as a run of a
  // file of that type applies them; rows that cannot be used are left out.
  std::vector<CompiledConstraint> constraintsOf(const std::string& fileType,
                                                const CompiledRules& rules);

 private:
  RuleTables tables_;
  std::vector<Problem>& problems_;
  std::vector<PlanWarning>& warnings_;
};

// The run's encoding: the override, else the stored Encoding, else
// Windows-1252. A name that is no encoding adds a problem and gives nullptr.
const TextCodec* chooseCodec(const std::optional<std::string>& override,
                             const std::optional<std::string>& stored,
                             std::vector<Problem>& problems);

// A row that is not stored yet, compiled in `codec` as a run compiles it
// once it is stored. Texts the encoding cannot hold are a LoomError naming
// the field ("The first field").
CompiledConstraint compileDraft(const ConstraintDraft& draft, const TextCodec& codec);

// The FileTypes rows that are never used because an earlier row has their
// Identifier (compared as a run compares it: in `codec`, letter case
// ignored): each as the earlier row's and its own place in stored order,
// from 1.
std::vector<std::pair<std::size_t, std::size_t>> repeatedFileTypes(
    const std::vector<FileTypeRecord>& rows, const TextCodec& codec);

// The problems a run would find in one stored row whenever it uses the row,
// each naming its column in `Problem::column`, with the run's own messages.
// Used to mark rows while they are edited, before any run.
std::vector<Problem> checkFileTypeRow(const FileTypeRecord& row, const TextCodec& codec);
std::vector<Problem> checkGroupRow(const GroupRecord& row, const TextCodec& codec);
std::vector<Problem> checkConstraintRow(const StoredConstraint& row, const TextCodec& codec);

}  // namespace loom
