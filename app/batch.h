// SPDX-License-Identifier: MIT
#pragma once
// The batch run: every plain file of the input directory becomes one page in
// the output directory, then the index page links them all.

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/batch_observer.h"
#include "app/batch_plan.h"
#include "app/pair.h"
#include "base/file_system.h"

namespace loom {

struct BatchOptions {
  DirectoryPair dirs;          // the front end has taken apart what the user gave
  std::string rulesPath;       // the rule database file
  SettingOverrides overrides;  // over the rule database's settings, for this run
  // Threads that convert files; 0 means one per core. The pages, the index
  // page and the order of the progress reports are the same for any number.
  unsigned jobs = 0;
  bool checkOnly = false;  // plan and check everything, write nothing
  // Convert every file, also those whose page the list of pages shows to be
  // up to date (see BatchPlan::upToDate).
  bool full = false;
  // Remove the pages the last run wrote whose source file is gone (see
  // planPrune); with checkOnly, only list them.
  bool prune = false;
  // How far converting threads may run ahead of the in-order part that
  // writes the pages: converted files wait in a window of `window` results,
  // and their pages hold about `waitingBytes` at most, so that a run over a
  // million files holds a few results, not one per file. The next file in
  // order is converted whatever its pages weigh, so the run never waits on
  // itself. Tests shrink both to reach that case.
  std::size_t window = 64;
  std::size_t waitingBytes = std::size_t{32} << 20;
  // Called before each converting thread but the caller's starts; tests
  // throw std::system_error from it as a process limit would, after which
  // the threads that started do the work.
  std::function<void()> beforeThreadStart{};
  // Pages a watch put in place just before this run (see refreshPages),
  // each true when it was new: counted as what they were to the user, new
  // or changed, where the run finds them unchanged.
  std::map<std::string, bool> writtenAhead{};
};

// Runs one batch. Before any page is written the whole run is checked; a
// run that fails the check throws ValidationError listing every problem. A failure
// during the run (a file that vanished, a full disk) throws LoomError(Io);
// pages written before stay complete, no page is left half-written, and the
// index page is not written. Pages whose bytes are already on disk are not
// written again, so their modification time stays. A run that writes its
// index page also writes the list of its pages (kManifestName) and, with
// `prune`, then removes the stale pages of the run before.
// With `kept`, the plan of a run that was not refused is left there for
// refreshPages (without what only that run needed).
BatchSummary RunBatch(const BatchOptions& options, FileSystem& fs, BatchObserver& observer,
                      std::optional<BatchPlan>* kept = nullptr);

// Puts the pages of the input files `names` of `plan`, the plan of an
// earlier run, in place at once, converted from their sources as they are
// now with that run's rules: what a watch does first when only such files
// changed, so that their pages follow in milliseconds, before the run that
// brings the index page and the list of pages up to date. A name the plan
// does not know, whose page another file writes, or that cannot be read
// now is left to that run, as is everything when another run holds the
// output directory. Returns the pages it wrote, each true when it was new;
// one that already held its bytes is not among them.
//
//   refreshPages(plan, {"notes.txt"}, fs)  // writes out/lwnotes.htm: {{"lwnotes.htm", false}}
std::map<std::string, bool> refreshPages(const BatchPlan& plan,
                                         const std::vector<std::string>& names, FileSystem& fs);

}  // namespace loom
