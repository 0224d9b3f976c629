// SPDX-License-Identifier: MIT
#pragma once
// Ctrl-C and SIGTERM during a batch run or a watch: the first asks the run
// to stop after the file(s) in progress, so that no page is left
// half-written and no temporary file stays, and wakes a waiting watch; the
// second ends the program at once.

#include "base/file_watcher.h"

namespace loom::cli {

// `wake`, when given, must outlive the process's handling of the signals.
void installStopSignals(FileWatcher* wake = nullptr);
// Whether a stop signal has come.
bool stopSignalled();

}  // namespace loom::cli
