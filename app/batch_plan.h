// SPDX-License-Identifier: MIT
#pragma once
// Everything a batch run needs, read and checked before any page is written:
// the directories, the snapshot of the input files, and the rules compiled
// in the encoding of the run for exactly the extensions that occur. Planning
// collects every problem at once instead of stopping at the first.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/manifest.h"
#include "app/page_name.h"
#include "app/pair.h"
#include "app/rules_compiler.h"
#include "base/directory_snapshot.h"
#include "base/error.h"
#include "base/file_system.h"

namespace loom {

// Kept once per input file for the whole run: the page name is made once,
// as every step of a run over thousands of files asks for it, and the
// extension is held once per run (see BatchPlan::extensionOf), not beside
// every name.
struct InputFile {
  // `typed`: the file has a file type, so it gets a page.
  InputFile(std::string listedName, std::uint32_t extensionIndex, PageNaming naming, bool typed);

  std::string name;             // without directory, as listed; not changed afterwards
  std::uint32_t extension = 0;  // in BatchPlan::extensions
  // False when a later file of the run has the same page name: its page
  // replaces this one's, so this one's is not written.
  bool writesPage = false;

  // Null when the file has no file type, and so no page.
  const std::string* pageName() const { return hasPage_ ? &page_ : nullptr; }
  bool hasPage() const { return hasPage_; }
  // What tells the page name apart from others: the whole name, or the
  // part of the page name between "lw" and ".htm" of a short name.
  std::string_view pageKey() const {
    return full_ ? std::string_view(name) : std::string_view(page_).substr(2, page_.size() - 6);
  }

 private:
  std::string page_;
  bool hasPage_ = false;
  bool full_ = false;
};

struct BatchPlan {
  DirectoryPair dirs;
  std::vector<InputFile> files;         // one snapshot, in enumeration order
  std::vector<std::string> inputLinks;  // the names of `files` that are symbolic links
  std::vector<std::string> extensions;  // the files' extensions, each once, run encoding
  CompiledRules rules;
  std::vector<PlanWarning> warnings;
  // The files that have no file type of their own and take GEN's.
  std::size_t genericFiles = 0;
  // The output directory's entries as the plan found them, which the run
  // goes by too rather than list the directory again: nothing of the run
  // is written in between, and the directory is locked against other runs.
  // None for a plan that writes nothing (planExplain).
  std::optional<DirectorySnapshot> output;
  // The list of pages of the runs before, read once (see ListedPages);
  // missing for a plan that writes nothing.
  ListedPages listed;

  // Work in proportion to what changed. A page is up to date, and its source
  // is not read, when the list of pages says it was made from a source in
  // exactly the state it is in now (device, inode, size, and the times of
  // the last change in nanoseconds), with rules of the same digest, and the
  // page itself is in the state it was left in. A source's state taken in
  // the last moments before the states were taken is not recorded (see
  // settledState): a change in the same tick of the file system's clock
  // would not show in it.
  struct UpToDate {          // views of `listed`
    std::string_view hash;   // of the page's bytes, as listed
    std::string_view title;  // as listed, for the index page
  };
  std::vector<std::optional<UpToDate>> upToDate;  // per file; empty: all are converted
  // Per file, where the list of pages was read and is used; else empty, and
  // each source's state is taken as it is read.
  std::vector<std::optional<FileState>> sourceStates;
  std::vector<std::optional<FileState>> pageStates;  // per file, of up-to-date pages
  std::optional<FileState> indexPageState;           // looked at with the pages
  std::vector<std::string> digests;                  // per extension with rules
  std::int64_t statesTakenNs = 0;

  const std::string& extensionOf(const InputFile& file) const { return extensions[file.extension]; }
  // Whether the run lists states for the next one to find its pages up to date.
  bool keepsStates() const { return statesTakenNs != 0; }
  // Whether file `i`'s page is up to date, so that its source is not read.
  bool pageUpToDate(std::size_t i) const { return !upToDate.empty() && upToDate[i].has_value(); }
};

inline constexpr std::int64_t kRacyNs = 50'000'000;

// Whether a source's state, looked at when the clock read `takenNs`, would
// show a change made after the look: its times are further back than one
// tick of the file system's clock. A file system that keeps whole seconds
// (FAT keeps every other one, an old ext3 or a network share whole ones)
// shows a modification time of no nanoseconds, and its tick is taken as two
// seconds; a finer one is trusted beyond kRacyNs.
//
//   settledState(a state modified at 10.000000000 s, taken at 11.5 s) == false
//   settledState(a state modified at 10.123456789 s, taken at 11.5 s) == true
bool settledState(const FileState& source, std::int64_t takenNs);

// The digest of what shapes a page of `rules`: its file type's values and
// constraint rows, the settings, the encoding and the program's version.
std::string rulesDigest(const CompiledRules& compiled, const PageRules& rules);

struct PlanRequest {
  DirectoryPair dirs;
  std::string rulesPath;
  SettingOverrides overrides;  // over the stored settings, for this run
  // Whether to take the sources' states and find the pages that are up to
  // date (see BatchPlan::upToDate); with `full` every file is converted all
  // the same, and the states are kept for the next run.
  bool incremental = false;
  bool full = false;
};

// Compiles the rows of each file type that a file of the plan is converted
// with (see compileRows), or of every file type with `every`: a run over
// unchanged input converts nothing, and compiling a file type's rows costs
// more than looking at hundreds of pages.
void compileRowScreens(BatchPlan& plan, bool every);

// Throws ValidationError listing every problem found, input files that
// cannot be read among them. Without other problems, whether every input
// file can be read is left to the one about to read them (unreadableInputs):
// a run asks while its threads start converting.
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
