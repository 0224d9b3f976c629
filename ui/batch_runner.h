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
#include "base/error.h"
#include "base/file_system.h"

namespace loomui {

class BatchRunner : public QObject {
  Q_OBJECT

 public:
  BatchRunner(std::shared_ptr<loom::FileSystem> fs, QObject* parent = nullptr);
  // Stops a run that is still going and waits for it.
  ~BatchRunner() override;
  BatchRunner(const BatchRunner&) = delete;  // owns a thread
  BatchRunner& operator=(const BatchRunner&) = delete;

  // Starts a run; does nothing while one is going.
  void start(const loom::BatchOptions& options);
  bool isRunning() const { return running_; }
  // Asks the run to end after the file it is working on and waits for it.
  // Pages already written stay complete; the index page is not written.
  void stopAndWait();
  // Whether stopAndWait has been asked for; read by the worker thread.
  bool stopRequested() const { return stop_; }

 signals:
  void runStarted(int fileCount);
  void fileDone(int k, int fileCount);
  void indexStarted();
  void warning(int kind, const QString& message);  // kind: loom::WarningKind
  void finished(const loom::BatchSummary& summary);
  // kind: loom::ErrorKind; problems: every finding of the pre-run check
  // (none for a failure during the run).
  void failed(int kind, const QString& message, const std::vector<loom::Problem>& problems);

 private:
  class Observer;
  void work(loom::BatchOptions options);
  void onEnded();

  std::shared_ptr<loom::FileSystem> fs_;
  std::atomic<bool> stop_{false};
  bool running_ = false;  // touched on the user-interface thread only
  std::jthread worker_;
};

}  // namespace loomui
