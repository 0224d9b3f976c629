// SPDX-License-Identifier: MIT
#include "ui/batch_runner.h"

#include <exception>

#include "base/error.h"
#include "base/text.h"

namespace loomui {

namespace {
// Messages name files and quote their text: control characters in them are
// shown as escapes, never passed on as they are.
QString fromUtf8(const std::string& s) { return QString::fromStdString(loom::visibleName(s)); }
}  // namespace

// Turns the engine's calls into signals; emitted on the worker thread, they
// reach the window's slots queued on the user-interface thread.
class BatchRunner::Observer : public loom::BatchObserver {
 public:
  explicit Observer(BatchRunner& runner) : runner_(runner) {}
  void runStarted(std::size_t n) override { emit runner_.runStarted(static_cast<int>(n)); }
  void fileDone(std::size_t k, std::size_t n) override {
    emit runner_.fileDone(static_cast<int>(k), static_cast<int>(n));
  }
  void indexStarted() override { emit runner_.indexStarted(); }
  void warning(loom::WarningKind kind, const std::string& message) override {
    emit runner_.warning(kind, fromUtf8(message));
  }
  bool stopRequested() override { return runner_.stop_; }

 private:
  BatchRunner& runner_;
};

BatchRunner::BatchRunner(std::shared_ptr<loom::FileSystem> fs, QObject* parent)
    : QObject(parent), fs_(std::move(fs)) {
  // The last signal of a run tells the user-interface thread to join it.
  connect(this, &BatchRunner::finished, this, &BatchRunner::onEnded);
  connect(this, &BatchRunner::failed, this, &BatchRunner::onEnded);
}

BatchRunner::~BatchRunner() { stopAndWait(); }

void BatchRunner::start(const loom::BatchOptions& options, bool keepUpToDate) {
  if (running_) return;
  if (worker_.joinable()) worker_.join();
  watcher_.reset();
  if (keepUpToDate) {
    try {
      watcher_ = loom::makeFileWatcher();
    } catch (const loom::LoomError& e) {
      // Reported like any failure of a run, after the caller has returned.
      QMetaObject::invokeMethod(
          this,
          [this, kind = e.kind(), message = fromUtf8(e.what())] { emit failed(kind, message, {}); },
          Qt::QueuedConnection);
      running_ = true;
      return;
    }
  }
  running_ = true;
  stop_ = false;
  worker_ = std::jthread([this, options] { work(options); });
}

void BatchRunner::requestStop() {
  stop_ = true;
  if (watcher_) watcher_->wake();
}

void BatchRunner::stopAndWait() {
  requestStop();
  if (worker_.joinable()) worker_.join();
  running_ = false;
}

void BatchRunner::onEnded() {
  if (worker_.joinable()) worker_.join();
  running_ = false;
}

void BatchRunner::work(loom::BatchOptions options) {
  Observer observer(*this);
  try {
    if (watcher_) {
      watch(options, observer);
    } else {
      emit finished(loom::RunBatch(options, *fs_, observer));
    }
  } catch (const loom::ValidationError& e) {
    emit failed(e.kind(), fromUtf8(e.what()), e.problems());
  } catch (const loom::LoomError& e) {
    emit failed(e.kind(), fromUtf8(e.what()), {});
  } catch (const std::exception& e) {
    emit failed(loom::ErrorKind::Io, fromUtf8(e.what()), {});
  }
}

void BatchRunner::watch(const loom::BatchOptions& options, Observer& observer) {
  const loom::WatchHooks hooks{observer, [this](const loom::WatchRun& run) { emit runDone(run); },
                               [this] { return stop_.load(); }};
  emit finished(loom::watchSite(options, *fs_, *watcher_, hooks));
}

}  // namespace loomui
