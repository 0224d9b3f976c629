// SPDX-License-Identifier: MIT
#include "cli/stop_signal.h"

#include <atomic>
#include <csignal>

namespace loom::cli {
namespace {

std::atomic<bool> stopping{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
FileWatcher* wakeOnSignal = nullptr;

extern "C" void onStopSignal(int sig) {
  if (!stopping.exchange(true)) {
    if (wakeOnSignal) wakeOnSignal->wake();  // a write() to a pipe: safe here
    return;
  }
  // The second: the default action, which ends the program.
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

}  // namespace

void installStopSignals(FileWatcher* wake) {
  wakeOnSignal = wake;
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;  // reads and writes go on; the run polls the flag
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool stopSignalled() { return stopping.load(); }

}  // namespace loom::cli
