// SPDX-License-Identifier: MIT
#include "app/watch.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <set>

#include "app/manifest.h"
#include "base/error.h"
#include "base/file_system.h"

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

std::string nameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A directory as compared: "d", "d/" and "d//" are one.
std::string bare(std::string dir) {
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
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
      bool changed = relevant(watcher_.wait(nextWait()));
      if (directoriesReplaced()) {
        changed = true;
        onlyFiles_ = false;
      }
      const bool retry = retryAt_ && std::chrono::steady_clock::now() >= *retryAt_;
      if (!changed && !retry) continue;
      if (!settle()) break;
      // Only files the last run knew changed: their pages first, at once.
      std::map<std::string, bool> ahead;
      if (onlyFiles_ && plan_) {
        ahead = refreshPages(
            *plan_, std::vector<std::string>(changedFiles_.begin(), changedFiles_.end()), fs_);
      }
      watchDirectories();  // a directory replaced meanwhile is watched anew
      runOnce(false, std::move(ahead));
      changedFiles_.clear();
      onlyFiles_ = true;
    }
    return last_;
  }

 private:
  using Clock = std::chrono::steady_clock;

  // At least once a second, to see directories that came back; sooner when
  // a failed run is due to be tried again.
  std::chrono::milliseconds nextWait() const {
    std::chrono::milliseconds wait = std::chrono::seconds(1);
    if (retryAt_) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*retryAt_ - Clock::now());
      wait = std::clamp(left, std::chrono::milliseconds(0), wait);
    }
    return wait;
  }

  // Watches a directory once however it is spelled, and gives the spelling
  // its changes come with; empty when it cannot be watched now.
  std::string watchOnce(const std::string& dir) {
    const std::optional<FileIdentity> id = fs_.identity(dir);
    if (id) {
      if (const auto known = watched_.find(*id); known != watched_.end()) return known->second;
    }
    try {
      watcher_.watchDirectory(dir);
    } catch (const LoomError&) {
      return {};  // gone for now: the next run says so, and it is watched when it is back
    }
    if (id) watched_[*id] = bare(dir);
    return bare(dir);
  }

  void watchDirectories() {
    watched_.clear();
    // The input first: its spelling is the one its changes come with.
    input_ = watchOnce(options_.dirs.input);
    rules_ = watchOnce(rulesDir_);
    // The output directory for its own going and coming back only.
    watchOnce(options_.dirs.output);
    inputIsOutput_ = sameDirectory(options_.dirs.input, options_.dirs.output);
    identities_ = currentIdentities();
    // A link's target elsewhere changes where no watch of the link's
    // directory sees it: the target's directory is watched too.
    targets_.clear();
    const auto follow = [&](const std::string& target) {
      const std::string dir = watchOnce(directoryOf(target));
      if (!dir.empty() && dir != input_) targets_.emplace(dir, nameOf(target));
    };
    for (const auto& [name, target] : fs_.linksIn(options_.dirs.input)) {
      if (name[0] != '.') follow(target);
    }
    for (const auto& [name, target] : fs_.linksIn(rulesDir_)) {
      if (name == rulesName_) follow(target);
    }
  }

  std::array<std::optional<FileIdentity>, 3> currentIdentities() const {
    return {fs_.identity(options_.dirs.input), fs_.identity(options_.dirs.output),
            fs_.identity(rulesDir_)};
  }

  // A directory that came back (or was replaced) since the last look: no
  // watch of the one that went can see the new one.
  bool directoriesReplaced() const { return currentIdentities() != identities_; }

  // Waits until no relevant change came for kSettleTime, or kLongestSettle
  // passed since the first (a file written to without end still gets its
  // runs); false when the watch is to end instead.
  bool settle() {
    const auto latest = Clock::now() + kLongestSettle;
    auto deadline = std::min(Clock::now() + kSettleTime, latest);
    for (;;) {
      if (hooks_.stopRequested()) return false;
      const auto now = Clock::now();
      if (now >= deadline) return true;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
      if (relevant(watcher_.wait(left + std::chrono::milliseconds(1)))) {
        deadline = std::min(Clock::now() + kSettleTime, latest);
      }
    }
  }

  // Whether `changes` call for a run; notes which input files they name,
  // and whether they name nothing else (see changedFiles_).
  bool relevant(const std::vector<FileChange>& changes) {
    bool any = false;
    for (const FileChange& c : changes) {
      const std::string dir = bare(c.dir);
      // A directory went, or changes were lost; the rules; a link's target.
      if (c.name.empty() || (dir == rules_ && c.name == rulesName_) ||
          targets_.count({dir, c.name})) {
        onlyFiles_ = false;
        any = true;
        continue;
      }
      // Beyond these, only the input's own entries count (or those of a
      // directory no longer known, to be safe).
      if (!dir.empty() && dir != input_) continue;
      // Input files are never hidden; the pages of the last run come from us.
      if (c.name[0] == '.' || (inputIsOutput_ && ownPages_.count(c.name))) continue;
      if (dir.empty()) onlyFiles_ = false;
      changedFiles_.insert(c.name);
      any = true;
    }
    return any;
  }

  bool sameDirectory(const std::string& a, const std::string& b) const {
    const std::optional<FileIdentity> first = fs_.identity(a);
    return first && first == fs_.identity(b);
  }

  // `ahead`: the pages refreshPages wrote just before.
  void runOnce(bool first, std::map<std::string, bool> ahead = {}) {
    WatchRun report;
    report.started = std::chrono::system_clock::now();
    observer_.done = 0;
    bool retry = false;
    BatchOptions options = options_;
    report.pagesAhead = ahead.size();
    options.writtenAhead = std::move(ahead);
    // A plan is kept only from a run that went through: rules that changed
    // since one that failed must not make pages.
    plan_.reset();
    try {
      report.summary = RunBatch(options, fs_, observer_, &plan_);
    } catch (const ValidationError& e) {
      if (first) throw;
      for (const Problem& p : e.problems()) report.problems.push_back(p.message);
    } catch (const LoomError& e) {
      if (first) throw;
      report.problems.push_back(e.what());
      report.filesDone = observer_.done;
      retry = true;  // a full disk, say, may have room again later
    }
    if (retry) {
      retryAt_ = Clock::now() + retryDelay_;
      retryDelay_ = std::min(retryDelay_ * 2, kLongestRetryDelay);
    } else {
      retryAt_.reset();
      retryDelay_ = kFirstRetryDelay;
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

  static constexpr std::chrono::seconds kFirstRetryDelay{1};
  static constexpr std::chrono::seconds kLongestRetryDelay{30};

  const BatchOptions& options_;
  FileSystem& fs_;
  FileWatcher& watcher_;
  const WatchHooks& hooks_;
  StoppingObserver observer_;
  std::string rulesDir_;
  std::string rulesName_;
  std::map<FileIdentity, std::string> watched_;  // directory -> the spelling its changes have
  std::string input_, rules_;                    // as watched; empty while not watched
  std::array<std::optional<FileIdentity>, 3> identities_;  // input, output, rules directory
  std::set<std::pair<std::string, std::string>> targets_;  // links' targets: directory, name
  std::set<std::string> ownPages_;
  // The input files the changes since the last run name, and whether they
  // named nothing else: then the plan of the last run can make their pages.
  std::set<std::string> changedFiles_;
  bool onlyFiles_ = true;
  std::optional<BatchPlan> plan_;
  bool inputIsOutput_ = false;
  std::optional<Clock::time_point> retryAt_;
  std::chrono::seconds retryDelay_ = kFirstRetryDelay;
  BatchSummary last_;
};

}  // namespace

BatchSummary watchSite(const BatchOptions& options, FileSystem& fs, FileWatcher& watcher,
                       const WatchHooks& hooks) {
  return Watch(options, fs, watcher, hooks).run();
}

}  // namespace loom
