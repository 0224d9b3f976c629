// SPDX-License-Identifier: MIT
#include "cli/terminal_progress.h"

#include <unistd.h>

#include <cstdlib>
#include <string_view>

#include "base/text.h"
#include "cli/stop_signal.h"

namespace loom::cli {

namespace {

// A terminal that takes the escape that clears the rest of a line; a dumb
// one gets plain lines, as a file does.
bool updatingTerminal(std::FILE* out) {
  const char* term = std::getenv("TERM");
  return ::isatty(::fileno(out)) == 1 && !(term != nullptr && std::string_view(term) == "dumb");
}

}  // namespace

TerminalProgress::TerminalProgress(std::FILE* out, bool quiet)
    : out_(out), quiet_(quiet), terminal_(updatingTerminal(out)) {}

bool TerminalProgress::stopRequested() { return stopSignalled(); }

void TerminalProgress::endLine() {
  if (lineOpen_) std::fputc('\n', out_);
  lineOpen_ = false;
}

void TerminalProgress::runStarted(std::size_t fileCount) {
  start_ = lastDraw_ = std::chrono::steady_clock::now();
  if (quiet_) return;
  std::fprintf(out_, "%s%s", statusText(fileCount ? 1 : 0, fileCount).c_str(),
               terminal_ ? "" : "\n");
  lineOpen_ = terminal_;
  std::fflush(out_);
}

void TerminalProgress::fileDone(std::size_t k, std::size_t fileCount) {
  if (quiet_) return;
  const auto now = std::chrono::steady_clock::now();
  const int percent = fileCount ? static_cast<int>(k * 100 / fileCount) : 100;
  if (terminal_) {
    // Redrawing costs more than converting a small file: at most 20 a second.
    if (k != fileCount && now - lastDraw_ < std::chrono::milliseconds(50)) return;
    lastDraw_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    std::fprintf(out_, "\r%s (%d%%, %.0f files/s)\033[K", statusText(k, fileCount).c_str(), percent,
                 seconds > 0 ? static_cast<double>(k) / seconds : 0.0);
    lineOpen_ = true;
  } else {
    if (percent == lastPercent_ && k != fileCount) return;
    std::fprintf(out_, "%s (%d%%)\n", statusText(k, fileCount).c_str(), percent);
  }
  lastPercent_ = percent;
  std::fflush(out_);
}

void TerminalProgress::indexStarted() {
  if (quiet_) return;
  endLine();
  std::fprintf(out_, "%s\n", kCreatingIndexText);
}

void TerminalProgress::runFinished(const BatchSummary& s) {
  if (quiet_) return;
  endLine();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  std::fprintf(out_, "%s\n", kFinishedText);
  std::fprintf(out_, "%zu file(s) in %.2f s: %s", s.fileCount, seconds, pageCounts(s).c_str());
  if (s.skippedFiles) std::fprintf(out_, ", %zu skipped", s.skippedFiles);
  std::fprintf(out_, "\n");
}

void TerminalProgress::warning(WarningKind kind, const std::string& message) {
  ++warnings_;
  endLine();
  std::fprintf(out_, "loomwise-batch: %s: %s\n",
               kind == WarningKind::ErrorCondition ? kErrorConditionText : "warning",
               visibleName(message).c_str());
}

}  // namespace loom::cli
