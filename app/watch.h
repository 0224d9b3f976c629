// SPDX-License-Identifier: MIT
#pragma once
// Keeping a site up to date: a batch run, then another whenever the input
// directory or the rule database changes.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/batch.h"
#include "base/file_watcher.h"

namespace loom {

// How long the input must stay still before a run: an editor's save or a
// copy of many files is several changes in quick succession.
inline constexpr std::chrono::milliseconds kSettleTime{200};
// A file written to without pause (a log) would never settle: a run comes at
// least this long after the first change.
inline constexpr std::chrono::milliseconds kLongestSettle{1000};

struct WatchRun {
  std::chrono::system_clock::time_point started;
  std::optional<BatchSummary> summary;  // nothing when the run was refused or failed
  std::vector<std::string> problems;    // why, one message each
  // Of a run that failed: how many files it had done, their pages put in
  // place, before the failure; 0 when nothing was written (a refused run).
  std::size_t filesDone = 0;
  // Pages put in place at once, before the run: when only input files the
  // last run knew had changed, their own pages (see refreshPages).
  std::size_t pagesAhead = 0;
};

struct WatchHooks {
  BatchObserver& observer;                       // of every run
  std::function<void(const WatchRun&)> runDone;  // after every run, the first too
  std::function<bool()> stopRequested;           // polled; wake the watcher to be heard at once
};

// Runs `options` once, then again each time changes have settled, until
// hooks.stopRequested(). A failure of the first run is thrown as RunBatch
// throws it; a later run that fails is reported through runDone and the
// watch goes on, leaving the pages of the last good run in place; one that
// failed part-way (a full disk) is tried again after 1 s, then 2, 4, ... up
// to 30 s, until it succeeds or a change comes. Changes that arrive during a
// run lead to one more run. Directories that go and come back are watched
// again, and the targets of links among the input files and of a rule
// database that is a link are watched too. Returns the summary of the
// last run that was not refused (`stopped` when the stop came during it).
BatchSummary watchSite(const BatchOptions& options, FileSystem& fs, FileWatcher& watcher,
                       const WatchHooks& hooks);

}  // namespace loom
