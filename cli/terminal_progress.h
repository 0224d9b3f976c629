// SPDX-License-Identifier: MIT
#pragma once
// Progress of a batch run on stderr: one updating line on a terminal, plain
// lines (at most one per percent) otherwise.

#include <chrono>
#include <cstdio>

#include "app/batch_observer.h"

namespace loom::cli {

class TerminalProgress final : public BatchObserver {
 public:
  TerminalProgress(std::FILE* out, bool quiet);
  void runStarted(std::size_t fileCount) override;
  void fileDone(std::size_t k, std::size_t fileCount) override;
  void indexStarted() override;
  void runFinished(const BatchSummary& summary) override;
  void warning(WarningKind kind, const std::string& message) override;
  // After Ctrl-C or SIGTERM (see stop_signal.h).
  bool stopRequested() override;
  std::size_t warnings() const { return warnings_; }
  // Ends the updating line, so that a message after it starts a line of its own.
  void endLine();

 private:
  std::FILE* out_;
  bool quiet_;
  bool terminal_;
  bool lineOpen_ = false;
  int lastPercent_ = -1;
  std::size_t warnings_ = 0;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastDraw_;
};

}  // namespace loom::cli
