#pragma once
// Ctrl-C and SIGTERM during a batch run: the first asks the run to stop after
// the file(s) in progress, so that no page is left half-written and no
// temporary file stays; the second ends the program at once.

namespace loom::cli {

void installStopSignals();
// Whether a stop signal has come.
bool stopSignalled();

}  // namespace loom::cli
