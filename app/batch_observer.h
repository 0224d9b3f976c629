// SPDX-License-Identifier: MIT
#pragma once
// How a batch run reports what it does. The engine never prints or shows
// anything; the desktop window, the command-line tool and the tests each
// implement this interface and hand it to RunBatch. Calls come from the
// thread that called RunBatch, in the order of the files.

#include <cstddef>
#include <string>
#include <vector>

namespace loom {

struct BatchSummary {
  std::size_t fileCount = 0;       // plain files listed at the start
  std::size_t pagesWritten = 0;    // files converted into a page
  std::size_t skippedFiles = 0;    // names without "." (and no file type GEN)
  std::size_t genericFiles = 0;    // pages of files that took the file type GEN
  std::size_t pagesNew = 0;        // page files that did not exist before
  std::size_t pagesChanged = 0;    // page files whose bytes changed
  std::size_t pagesUnchanged = 0;  // page files left alone: same bytes as before
  std::size_t pagesRemoved = 0;    // stale pages of the run before removed (--prune)
  // The stale pages removed, or with checkOnly those that would be.
  std::vector<std::string> removedPages;
  std::string indexPath;  // empty when the index page was not written
  bool stopped = false;   // the observer asked the run to stop
};

enum class WarningKind {
  ErrorCondition,     // a constraint row with a Type other than 1 to 5; ignored
  SkippedFile,        // a file name without "."; no page, no entry
  InvalidText,        // bytes that are not valid in the run's encoding; passed through
  LoneLineFeeds,      // a file with LF but no CR while lines end only at CR LF or CR
  CharsetMismatch,    // the Header declares another charset than the run writes
  MarkupInText,       // source text that browsers read as markup, EscapeText not set
  PageNameCollision,  // two files give the same page name; the later page wins
  ManifestUnusable,   // no readable list of the last run's pages; nothing is pruned
  StalePageKept,      // a listed page that is not removed: edited since, or a foreign name
  EncodingHint,       // a Windows-1252 run over text that is UTF-8
  RepeatedRow,        // a FileTypes row whose Identifier an earlier row has; never used
};

class BatchObserver {
 public:
  virtual ~BatchObserver() = default;
  // Before the first file: N plain files (statusText(1, N)).
  virtual void runStarted(std::size_t /*fileCount*/) {}
  // After file k of N has been finished (statusText(k, N); the bar stands at k).
  virtual void fileDone(std::size_t /*k*/, std::size_t /*fileCount*/) {}
  // The last file is done and the index page is being made.
  virtual void indexStarted() {}
  virtual void runFinished(const BatchSummary& /*summary*/) {}
  virtual void warning(WarningKind /*kind*/, const std::string& /*message*/) {}
  // Polled between files; true ends the run before the index page is
  // written. Pages already written stay complete.
  virtual bool stopRequested() { return false; }
};

inline constexpr const char* kCreatingIndexText = "Creating index file...";
inline constexpr const char* kFinishedText = "Finished processing files";
inline constexpr const char* kErrorConditionText = "Error condition";

// "Processing file k of N".
std::string statusText(std::size_t k, std::size_t fileCount);
// What a run did to the pages, as every front end reports it:
// "2 new, 1 changed, 40 unchanged, 0 removed".
std::string pageCounts(const BatchSummary& summary);

}  // namespace loom
