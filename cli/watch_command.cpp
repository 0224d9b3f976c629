// SPDX-License-Identifier: MIT
#include "cli/watch_command.h"

#include <cstdio>
#include <ctime>

#include "app/watch.h"
#include "base/file_watcher.h"
#include "base/text.h"
#include "cli/stop_signal.h"
#include "cli/terminal_progress.h"

namespace loom::cli {
namespace {

std::string clockTime(std::chrono::system_clock::time_point when) {
  const std::time_t t = std::chrono::system_clock::to_time_t(when);
  std::tm local{};
  ::localtime_r(&t, &local);
  char text[16];
  std::strftime(text, sizeof text, "%H:%M:%S", &local);
  return text;
}

// One line per run on stdout, for a terminal or a log; the problems of a
// refused run go to stderr first.
void printRun(const WatchRun& run) {
  const std::string time = clockTime(run.started);
  if (run.summary) {
    const BatchSummary& s = *run.summary;
    std::printf("%s %s, 0 problems%s\n", time.c_str(), pageCounts(s).c_str(),
                s.stopped ? " (stopped before the index page)" : "");
  } else {
    for (const std::string& p : run.problems)
      std::fprintf(stderr, "loomwise-batch: %s\n", visibleName(p).c_str());
    if (run.filesDone == 0) {
      std::printf("%s %zu problem(s); the site stays as it was\n", time.c_str(),
                  run.problems.size());
    } else {
      std::printf(
          "%s %zu problem(s) after %zu file(s), whose pages were written; the index page "
          "was not\n",
          time.c_str(), run.problems.size(), run.filesDone);
    }
  }
  std::fflush(stdout);
}

}  // namespace

int watch(const Options& options, const BatchOptions& batch) {
  const auto fs = makePosixFileSystem();
  const auto watcher = makeFileWatcher();
  installStopSignals(watcher.get());
  // Progress lines of every run would bury the one line each run prints.
  TerminalProgress progress(stderr, true);
  bool announced = false;
  const WatchHooks hooks{progress,
                         [&](const WatchRun& run) {
                           printRun(run);
                           if (!announced && !options.quiet) {
                             std::fprintf(stderr, "Watching %s and %s; Ctrl-C ends the watch.\n",
                                          visibleName(batch.dirs.input).c_str(),
                                          visibleName(batch.rulesPath).c_str());
                           }
                           announced = true;
                         },
                         &stopSignalled};
  const BatchSummary last = watchSite(batch, *fs, *watcher, hooks);
  return last.stopped ? 1 : 0;
}

}  // namespace loom::cli
