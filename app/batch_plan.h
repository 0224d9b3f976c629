#pragma once
// Everything a batch run needs, read and checked before any page is written:
// the directories, the snapshot of the input files, and the rules compiled
// in the encoding of the run for exactly the extensions that occur. Planning
// collects every problem at once instead of stopping at the first.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/page_name.h"
#include "app/pair.h"
#include "app/rules_compiler.h"
#include "base/directory_snapshot.h"
#include "base/error.h"
#include "base/file_system.h"

namespace loom {

// Kept once per input file for the whole run: where the page name lies in
// the name is worked out once, and the extension is held once per run (see
// BatchPlan::extensionOf), not beside every name.
struct InputFile {
  // `typed`: the file has a file type, so it gets a page.
  InputFile(std::string listedName, std::uint32_t extensionIndex, PageNaming naming, bool typed);

  std::string name;             // without directory, as listed; not changed afterwards
  std::uint32_t extension = 0;  // in BatchPlan::extensions
  // False when a later file of the run has the same page name: its page
  // replaces this one's, so this one's is not written.
  bool writesPage = false;

  // Nothing when the file has no file type, and so no page.
  std::optional<std::string> pageName() const {
    if (!hasPage_) return std::nullopt;
    return full_ ? name + ".html" : pageNameOf(name, stem_);
  }
  bool hasPage() const { return hasPage_; }
  // What tells the page name apart from others: the whole name, or the
  // part of it between "lw" and ".htm" of a short name.
  std::string_view pageKey() const {
    return full_ ? std::string_view(name) : std::string_view(name).substr(stem_.from, stem_.size);
  }

 private:
  PageStem stem_;
  bool hasPage_ = false;
  bool full_ = false;
};

struct BatchPlan {
  DirectoryPair dirs;
  std::vector<InputFile> files;         // one snapshot, in enumeration order
  std::vector<std::string> extensions;  // the files' extensions, each once, run encoding
  CompiledRules rules;
  std::vector<PlanWarning> warnings;
  bool inputsReadable = false;  // every input file was found readable
  // The files that have no file type of their own and take GEN's.
  std::size_t genericFiles = 0;
  // The output directory's entries as the plan found them, which the run
  // goes by too rather than list the directory again: nothing of the run
  // is written in between, and the directory is locked against other runs.
  // None for a plan that writes nothing (planExplain).
  std::optional<DirectorySnapshot> output;

  const std::string& extensionOf(const InputFile& file) const { return extensions[file.extension]; }
};

struct PlanRequest {
  DirectoryPair dirs;
  std::string rulesPath;
  SettingOverrides overrides;  // over the stored settings, for this run
  // False leaves out the look at whether every input file can be read
  // (unless planning finds other problems): the caller asks unreadableInputs()
  // itself before it writes anything, while other threads start converting.
  bool checkReadable = true;
};

// Throws ValidationError listing every problem found.
BatchPlan planBatch(const PlanRequest& request, const FileSystem& fs);

// The input files of the plan that cannot be read (no permission, or no
// plain file any more), one problem each.
std::vector<Problem> unreadableInputs(const BatchPlan& plan, const FileSystem& fs);

// Plans the conversion of the named files of `inputDir` alone, with no output
// directory, for explaining one file's conversion: the rules are compiled as
// for a run, nothing of the file system is checked. `request.dirs` is unused.
BatchPlan planExplain(const PlanRequest& request, const std::string& inputDir,
                      std::vector<std::string> names);

}  // namespace loom
