#pragma once
// Ctrl-C (SIGINT) and SIGTERM during a watch: instead of ending the process
// part-way through a write, they ask the watch to end; a run in progress
// stops after the file it is converting.

#include "base/file_watcher.h"

namespace loom::cli {

// From now on the signals set stopSignalled() and wake `watcher`, which
// must outlive the process's handling of them.
void catchStopSignals(FileWatcher& watcher);
bool stopSignalled();

}  // namespace loom::cli
