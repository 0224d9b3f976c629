#include "app/watch.h"

#include <set>

#include "app/manifest.h"
#include "base/error.h"

namespace loom {
namespace {

// The observer of the caller, stopping the run when the watch is to end.
class StoppingObserver final : public BatchObserver {
 public:
  StoppingObserver(BatchObserver& inner, const std::function<bool()>& stop)
      : inner_(inner), stop_(stop) {}
  void runStarted(std::size_t n) override { inner_.runStarted(n); }
  void fileDone(std::size_t k, std::size_t n) override {
    done = k;
    inner_.fileDone(k, n);
  }
  void indexStarted() override { inner_.indexStarted(); }
  void runFinished(const BatchSummary& summary) override { inner_.runFinished(summary); }
  void warning(WarningKind kind, const std::string& message) override {
    inner_.warning(kind, message);
  }
  bool stopRequested() override { return stop_() || inner_.stopRequested(); }

  std::size_t done = 0;  // files of the run in progress done so far

 private:
  BatchObserver& inner_;
  const std::function<bool()>& stop_;
};

std::string directoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

class Watch {
 public:
  Watch(const BatchOptions& options, FileSystem& fs, FileWatcher& watcher, const WatchHooks& hooks)
      : options_(options),
        fs_(fs),
        watcher_(watcher),
        hooks_(hooks),
        observer_(hooks.observer, hooks.stopRequested),
        rulesDir_(directoryOf(options.rulesPath)),
        rulesName_(nameOf(options.rulesPath)) {}

  BatchSummary run() {
    watchDirectories();
    runOnce(true);
    while (!hooks_.stopRequested()) {
      if (!relevant(watcher_.wait(std::chrono::seconds(1)))) continue;
      if (!settle()) break;
      watchDirectories();  // a directory replaced meanwhile is watched anew
      runOnce(false);
    }
    return last_;
  }

 private:
  void watchDirectories() {
    for (const std::string& dir : {options_.dirs.input, rulesDir_}) {
      try {
        watcher_.watchDirectory(dir);
      } catch (const LoomError&) {
        // Gone for now: the next run says so, and watching it again is tried then.
      }
    }
    inputIsOutput_ = sameDirectory(options_.dirs.input, options_.dirs.output);
    rulesInInput_ = sameDirectory(rulesDir_, options_.dirs.input);
  }

  // Waits until no relevant change came for kSettleTime; false when the
  // watch is to end instead.
  bool settle() {
    auto deadline = std::chrono::steady_clock::now() + kSettleTime;
    for (;;) {
      if (hooks_.stopRequested()) return false;
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline) return true;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
      if (relevant(watcher_.wait(left + std::chrono::milliseconds(1)))) {
        deadline = std::chrono::steady_clock::now() + kSettleTime;
      }
    }
  }

  bool relevant(const std::vector<FileChange>& changes) const {
    for (const FileChange& c : changes) {
      if (c.name.empty()) return true;
      const bool inRulesDir = c.dir == rulesDir_ || (rulesInInput_ && c.dir == options_.dirs.input);
      if (inRulesDir && c.name == rulesName_) return true;
      if (c.dir == rulesDir_ && !rulesInInput_) continue;
      // Input files are never hidden; the pages of the last run come from us.
      if (c.name[0] == '.' || (inputIsOutput_ && ownPages_.count(c.name))) continue;
      return true;
    }
    return false;
  }

  bool sameDirectory(const std::string& a, const std::string& b) const {
    const std::optional<FileIdentity> first = fs_.identity(a);
    return first && first == fs_.identity(b);
  }

  void runOnce(bool first) {
    WatchRun report;
    report.started = std::chrono::system_clock::now();
    observer_.done = 0;
    try {
      report.summary = RunBatch(options_, fs_, observer_);
    } catch (const ValidationError& e) {
      if (first) throw;
      for (const Problem& p : e.problems()) report.problems.push_back(p.message);
    } catch (const LoomError& e) {
      if (first) throw;
      report.problems.push_back(e.what());
      report.filesDone = observer_.done;
    }
    if (report.summary) last_ = *report.summary;
    rememberOwnPages(report.summary ? report.summary->removedPages : std::vector<std::string>{});
    hooks_.runDone(report);
  }

  // The pages the last run wrote or removed: when the output directory is
  // the input directory, their changes are the run's own, not the user's.
  void rememberOwnPages(const std::vector<std::string>& removed) {
    ownPages_ = listedPages(options_.dirs.output, fs_);
    for (const std::string& path : removed) ownPages_.insert(nameOf(path));
  }

  const BatchOptions& options_;
  FileSystem& fs_;
  FileWatcher& watcher_;
  const WatchHooks& hooks_;
  StoppingObserver observer_;
  std::string rulesDir_;
  std::string rulesName_;
  std::set<std::string> ownPages_;
  bool inputIsOutput_ = false;
  bool rulesInInput_ = false;
  BatchSummary last_;
};

}  // namespace

BatchSummary watchSite(const BatchOptions& options, FileSystem& fs, FileWatcher& watcher,
                       const WatchHooks& hooks) {
  return Watch(options, fs, watcher, hooks).run();
}

}  // namespace loom
