#pragma once
// Everything a batch run needs, read and checked before any page is written:
// the directories, the snapshot of the input files, and the rules prepared in
// the encoding of the run for exactly the extensions that occur. Planning
// collects every problem at once instead of stopping at the first.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/batch_observer.h"
#include "app/pair.h"
#include "base/codec.h"
#include "base/error.h"
#include "base/file_system.h"
#include "convert/page_rules.h"
#include "index/index_page.h"
#include "rules/rule_tables.h"

namespace loom {

// Kept once per input file for the whole run: the page name is made from the
// name when asked for, and the extension is held once per run (see
// RunPlan::extensionOf), not beside every name.
struct InputFile {
  std::string name;             // without directory, as listed
  std::uint32_t extension = 0;  // in RunPlan::extensions

  // Nothing when the name has no ".", for then the file has no type.
  std::optional<std::string> pageName() const { return PageName(name); }
  bool hasPage() const { return name.find('.') != std::string::npos; }
};

struct PlanWarning {
  WarningKind kind;
  std::string message;
};

struct RunPlan {
  const TextCodec* codec = &windows1252Codec();
  DirectoryPair dirs;
  PageSettings settings;                // in the encoding of the run
  std::string indexPageName;            // a plain file name, as stored
  std::vector<InputFile> files;         // one snapshot, in enumeration order
  std::vector<std::string> extensions;  // the files' extensions, each once, run encoding
  std::map<std::string, PageRules> rulesByExtension;
  std::map<std::string, std::string> groupByExtension;     // GroupID as stored, run encoding
  std::vector<std::pair<std::string, GroupTexts>> groups;  // rows in stored order
  std::vector<PlanWarning> warnings;
  // Whether EscapeText was given (stored or for this run): when it was not,
  // sources that hold markup-like text are worth a warning.
  bool escapeTextChosen = false;

  std::optional<GroupTexts> findGroup(const std::string& group) const;
  const std::string& extensionOf(const InputFile& file) const { return extensions[file.extension]; }
};

struct PlanRequest {
  DirectoryPair dirs;
  std::string rulesPath;
  // Overrides of the optional settings "Encoding", "LineEnds" and
  // "EscapeText" for one run.
  std::optional<std::string> encoding;
  std::optional<std::string> lineEnds;
  std::optional<std::string> escapeText;
};

// Throws ValidationError listing every problem found.
RunPlan planRun(const PlanRequest& request, const FileSystem& fs);

// The constraint rows that apply to files of `extension` (its own and
// "GEN"), prepared in `codec`, in stored order. Rows that cannot be used add
// to `problems` or, for an unknown Type, to `warnings`, and are left out.
std::vector<PreparedConstraint> constraintsFor(const RuleTables& tables, const TextCodec& codec,
                                               const std::string& extension,
                                               std::vector<Problem>& problems,
                                               std::vector<PlanWarning>& warnings);

// The problems a run would find in one stored row whenever it uses the row,
// each naming its column in `Problem::column`, with the run's own messages.
// Used to mark rows while they are edited, before any run.
std::vector<Problem> checkFileTypeRow(const FileTypeRecord& row, const TextCodec& codec);
std::vector<Problem> checkGroupRow(const GroupRecord& row, const TextCodec& codec);
std::vector<Problem> checkConstraintRow(const ConstraintRecord& row, const TextCodec& codec);

// Plans the conversion of the named files of `inputDir` alone, with no output
// directory (for explaining one file's conversion). `request.dirs` is unused.
RunPlan planFiles(const PlanRequest& request, const std::string& inputDir,
                  std::vector<std::string> names);

}  // namespace loom
