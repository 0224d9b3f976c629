// SPDX-License-Identifier: MIT
#pragma once
// Runs one batch at a time on a worker thread, so the window stays
// responsive, and hands every progress event to the user-interface thread
// as a queued signal.

#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "app/batch.h"
#include "app/watch.h"
#include "base/error.h"
#include "base/file_system.h"
#include "base/file_watcher.h"

namespace loomui {

class BatchRunner : public QObject {
  Q_OBJECT

 public:
  BatchRunner(std::shared_ptr<loom::FileSystem> fs, QObject* parent = nullptr);
  // Stops a run that is still going and waits for it.
  ~BatchRunner() override;
  BatchRunner(const BatchRunner&) = delete;  // owns a thread
  BatchRunner& operator=(const BatchRunner&) = delete;

  // Starts a run; does nothing while one is going. With `keepUpToDate` the
  // run is followed by another after each change of the input directory or
  // the rule database (watchSite) until stopped, each reported by runDone.
  void start(const loom::BatchOptions& options, bool keepUpToDate = false);
  bool isRunning() const { return running_; }
  // Asks the run to end after the file it is working on, and a watch to end
  // at once; `finished` follows. Pages already written stay complete; the
  // index page of a run cut short is not written.
  void requestStop();
  // requestStop, then waits for the worker.
  void stopAndWait();
  // Whether stopAndWait has been asked for; read by the worker thread.
  bool stopRequested() const { return stop_; }

 signals:
  void runStarted(int fileCount);
  void fileDone(int k, int fileCount);
  void indexStarted();
  void warning(loom::WarningKind kind, const QString& message);
  // Every run of a watch, the first too; `finished` comes when the watch ends.
  void runDone(const loom::WatchRun& run);
  void finished(const loom::BatchSummary& summary);
  // problems: every finding of the pre-run check (none for a failure during
  // the run).
  void failed(loom::ErrorKind kind, const QString& message,
              const std::vector<loom::Problem>& problems);

 private:
  class Observer;
  void work(loom::BatchOptions options);
  void watch(const loom::BatchOptions& options, Observer& observer);
  void onEnded();

  std::shared_ptr<loom::FileSystem> fs_;
  std::atomic<bool> stop_{false};
  bool running_ = false;  // touched on the user-interface thread only
  // Made before the worker starts, so that requestStop can wake it.
  std::unique_ptr<loom::FileWatcher> watcher_;
  std::jthread worker_;
};

}  // namespace loomui
