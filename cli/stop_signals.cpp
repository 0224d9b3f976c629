#include "cli/stop_signals.h"

#include <csignal>

namespace loom::cli {
namespace {

volatile std::sig_atomic_t stopped = 0;
FileWatcher* wakeOnSignal = nullptr;

extern "C" void onStopSignal(int) {
  stopped = 1;
  if (wakeOnSignal) wakeOnSignal->wake();  // a write() to a pipe: safe here
}

}  // namespace

void catchStopSignals(FileWatcher& watcher) {
  wakeOnSignal = &watcher;
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM}) ::sigaction(signal, &action, nullptr);
}

bool stopSignalled() { return stopped != 0; }

}  // namespace loom::cli
