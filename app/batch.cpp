// SPDX-License-Identifier: MIT
#include "app/batch.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <condition_variable>
#include <exception>
#include <forward_list>
#include <mutex>
#include <new>
#include <set>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "app/index_digest.h"
#include "app/look_at_files.h"
#include "app/manifest.h"
#include "app/source_warnings.h"
#include "base/directory_snapshot.h"
#include "base/error.h"
#include "base/text.h"
#include "base/utf8.h"
#include "convert/convert_file.h"

namespace loom {

std::string statusText(std::size_t k, std::size_t fileCount) {
  return "Processing file " + std::to_string(k) + " of " + std::to_string(fileCount);
}

std::string pageCounts(const BatchSummary& s) {
  return std::to_string(s.pagesNew) + " new, " + std::to_string(s.pagesChanged) + " changed, " +
         std::to_string(s.pagesUnchanged) + " unchanged, " + std::to_string(s.pagesRemoved) +
         " removed";
}

namespace {

enum class WriteOutcome { New, Changed, Unchanged };

// How long a run waits for another that is writing into its output directory.
constexpr std::chrono::seconds kOutputLockWait{5};

// What writing a page over `old` makes of it.
WriteOutcome outcomeOver(FileMatch old) {
  if (old == FileMatch::Same) return WriteOutcome::Unchanged;
  return old == FileMatch::Differs ? WriteOutcome::Changed : WriteOutcome::New;
}

// Writes a page unless the file already holds exactly these bytes; says
// what the path held before.
FileMatch writePage(FileSystem& fs, const std::string& path, const std::string& bytes) {
  const FileMatch old = fs.compare(path, bytes);
  if (old != FileMatch::Same) fs.writeFileAtomically(path, bytes);
  return old;
}

// The index page's entry in the list of pages when the page there is the one
// the run would write: made of what the run's is made of (`digest`) and
// still in the state it was left in. Null otherwise, and always with --full,
// which takes no states.
const ListedEntry* unchangedIndexPage(const BatchPlan& plan, std::string_view digest) {
  if (!plan.indexPageState) return nullptr;
  std::array<char, kFileStateTextSize> state;
  const std::string_view now(state.data(), formatFileState(state, *plan.indexPageState));
  const std::vector<ListedEntry>& listed = plan.listed.entries();
  // Listed after the pages of its run.
  const auto entry = std::find_if(listed.rbegin(), listed.rend(), [&](const ListedEntry& e) {
    return e.source.empty() && e.page == plan.rules.indexPageName;
  });
  if (entry == listed.rend() || entry->digest != digest || entry->state != now) return nullptr;
  return &*entry;
}

// Refuses the run or the check before anything is read when an input file
// it would read cannot be.
void refuseUnreadable(const BatchPlan& plan, const FileSystem& fs) {
  if (std::vector<Problem> unreadable = unreadableInputs(plan, fs); !unreadable.empty())
    throw ValidationError(std::move(unreadable));
}

// What converting one file leaves for the in-order part of the run.
struct FileResult {
  bool ready = false;
  std::exception_ptr error;
  std::string title;  // as converted
  // Instead, for a page up to date: the title the list of pages holds.
  std::optional<std::string_view> listedTitle;
  std::string_view titleText() const { return listedTitle ? *listedTitle : title; }
  // When this file's page is the one written: what writing it makes of it
  // (or why it failed), the page staged unless it is unchanged, and the
  // size and hash of its bytes.
  std::optional<WriteOutcome> outcome;
  std::exception_ptr writeError;
  std::unique_ptr<StagedFile> staged;
  std::size_t pageSize = 0;
  std::uint64_t hash = 0;
  std::optional<std::string> invalidText;  // a warning about bytes not valid UTF-8
  SourceFacts facts;
  std::optional<FileState> sourceState;  // as read, or as the plan found it up to date
};

// The pages this run wrote, for the list of pages: which files' pages, and
// their hashes in the order of the files.
struct WrittenPages {
  std::vector<bool> files;
  std::vector<std::uint64_t> hashes;
  // For the next run's index; empty when too long to list. Views of the
  // list of pages read, or of `convertedTitles`.
  std::vector<std::string_view> titles;
  std::forward_list<std::string> convertedTitles;
  std::vector<std::optional<FileState>> sources;  // the states the pages were made from
};

// The index page as the list of pages keeps it: the hash of its bytes, the
// digest of what it was made of (IndexDigest) and its state once written,
// empty where unknown.
struct ListedIndexPage {
  std::string hash, digest, state;
};

// A title is listed for the next run up to this size; a longer one (a file
// of one huge line) is made again instead.
constexpr std::size_t kLongestListedTitle = 4096;

class Runner {
 public:
  // Converted files wait for the in-order part of the run, which writes
  // their pages, in a window of `window` results holding about
  // `waitingBytes` of pages (in files without a name, or in memory); a
  // thread that gets this far ahead waits.
  Runner(const BatchPlan& plan, FileSystem& fs, const SourceWarnings& sourceWarnings,
         std::size_t window, std::size_t waitingBytes)
      : plan_(plan),
        fs_(fs),
        sourceWarnings_(sourceWarnings),
        window_(std::max<std::size_t>(window, 1)),
        mostWaitingBytes_(waitingBytes),
        results_(window_) {
    // No page replaces an input file (the plan refuses that), so every file
    // is read when its turn comes; a page the output directory did not hold
    // when the run began is new without a look. Pages up to date are not
    // written at all.
    const DirectorySnapshot& output = *plan.output;  // a checked plan has it
    pageMayExist_.assign(plan.files.size(), false);
    for (std::size_t i = 0; i < plan.files.size(); ++i) {
      if (plan.files[i].writesPage && !plan.pageUpToDate(i))
        pageMayExist_[i] = output.mayHold(*plan.files[i].pageName());
    }
  }

  // What a helping thread does: converts the files no thread has claimed
  // yet, until there are none or the run stops.
  void help() {
    for (std::size_t i; (i = next_++) < plan_.files.size();) {
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return hasRoomFor(i) || stopped_; });
        if (stopped_) return;
      }
      convert(i);
    }
  }

  // The result of file `i`, the next in order, once it is there. Rather than
  // wait for it, the calling thread converts the next unclaimed file while
  // the window has room (file `i` itself when no thread has claimed it), so
  // that it works on a core of its own instead of sleeping and waking once
  // a file.
  FileResult take(std::size_t i) {
    std::unique_lock lock(mutex_);
    FileResult& slot = results_[i % window_];
    while (!slot.ready) {
      std::size_t j = next_;
      if (j >= plan_.files.size() || !hasRoomFor(j)) {
        changed_.wait(lock);  // for file i, or for room
      } else if (next_.compare_exchange_strong(j, j + 1)) {
        lock.unlock();
        convert(j);
        lock.lock();
      }  // else another thread claimed file j first: look again
    }
    FileResult result = std::move(slot);
    slot = FileResult();
    waitingBytes_ -= result.pageSize;
    ++taken_;
    changed_.notify_all();
    return result;
  }

  // Lets threads waiting for room in the window go: the run ends.
  void stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    changed_.notify_all();
  }

 private:
  // Whether file `i` may be converted now; the caller holds the lock. The
  // next file in order always may: the pages waiting are those after it,
  // which cannot be taken before it, so without it the run would wait on
  // itself.
  bool hasRoomFor(std::size_t i) const {
    return i < taken_ + window_ && (waitingBytes_ < mostWaitingBytes_ || i == taken_);
  }

  void convert(std::size_t i) {
    FileResult result;
    try {
      const InputFile& file = plan_.files[i];
      if (plan_.pageUpToDate(i)) {
        // Its page is up to date: the source is not even read.
        const BatchPlan::UpToDate& listed = *plan_.upToDate[i];
        result.listedTitle = listed.title;
        std::from_chars(listed.hash.data(), listed.hash.data() + listed.hash.size(), result.hash,
                        16);
        result.outcome = WriteOutcome::Unchanged;
        result.sourceState = plan_.sourceStates[i];
      } else if (const std::string* pageName = file.pageName()) {
        const std::string path = plan_.dirs.input + file.name;
        // The state comes with the read: the look that opens the file.
        std::string contents = plan_.keepsStates() ? fs_.readFileWithState(path, result.sourceState)
                                                   : fs_.readFile(path);
        if (sourceWarnings_.wanted()) {
          result.facts =
              inspectSource(contents, plan_.rules.settings.lineEnds, sourceWarnings_.look());
          result.invalidText = SourceWarnings::invalidText(path, result.facts);
        }
        ConvertedPage page = ConvertOwnedFile(
            std::move(contents), path, plan_.rules.rulesByExtension.at(plan_.extensionOf(file)),
            plan_.rules.settings, *plan_.rules.codec);
        result.title = std::move(page.title);
        // Only the last of the files with one page name writes it, which
        // also lets files convert in any order.
        if (file.writesPage) stagePage(result, i, *pageName, std::move(page.bytes));
      }
    } catch (const std::bad_alloc&) {
      result.error = std::make_exception_ptr(
          LoomError(ErrorKind::Io, "Not enough memory to convert the file \"" + plan_.dirs.input +
                                       plan_.files[i].name + "\"; nothing more was written"));
    } catch (...) {
      result.error = std::current_exception();
    }
    result.ready = true;
    std::lock_guard lock(mutex_);
    waitingBytes_ += result.pageSize;
    results_[i % window_] = std::move(result);
    changed_.notify_all();
  }

  // Writes the page on this thread, where its bytes were made, for the
  // in-order part of the run to put in place; unless the output directory
  // already holds exactly these bytes. The directory had no such name when
  // the run began unless `pageMayExist_` says so: the page is then new
  // without a look.
  void stagePage(FileResult& result, std::size_t i, const std::string& pageName,
                 std::string bytes) {
    result.hash = pageHashValue(bytes);
    result.pageSize = bytes.size();
    try {
      const std::string path = plan_.dirs.output + pageName;
      const FileMatch old = pageMayExist_[i] ? fs_.compare(path, bytes) : FileMatch::NoFile;
      if (old != FileMatch::Same) result.staged = fs_.stageFile(path, std::move(bytes));
      result.outcome = outcomeOver(old);
    } catch (...) {
      result.writeError = std::current_exception();
    }
  }

  const BatchPlan& plan_;
  FileSystem& fs_;
  const SourceWarnings& sourceWarnings_;
  std::vector<bool> pageMayExist_;
  std::mutex mutex_;
  std::condition_variable changed_;
  const std::size_t window_, mostWaitingBytes_;
  std::vector<FileResult> results_;   // file i's in slot i % window_
  std::atomic<std::size_t> next_{0};  // the first file no thread has claimed
  std::size_t taken_ = 0;             // the files before this one are taken
  std::size_t waitingBytes_ = 0;      // of the pages in the window
  bool stopped_ = false;
};

// What the files' text says about the settings, as the run would say it.
// The plan has already found files that cannot be read; the files are read
// only when the settings leave something to warn about.
std::vector<PlanWarning> checkSources(const BatchPlan& plan, const FileSystem& fs) {
  SourceWarnings warnings(plan.rules);
  if (!warnings.wanted()) return {};
  std::vector<Problem> problems;
  std::vector<PlanWarning> perFile;  // as the run says them, file by file, before the others
  for (const InputFile& file : plan.files) {
    if (!file.hasPage()) continue;
    const std::string path = plan.dirs.input + file.name;
    try {
      const std::string contents = fs.readFile(path);
      const SourceFacts facts =
          inspectSource(contents, plan.rules.settings.lineEnds, warnings.look());
      if (auto invalid = SourceWarnings::invalidText(path, facts))
        perFile.push_back({WarningKind::InvalidText, std::move(*invalid)});
      warnings.add(path, facts);
    } catch (const LoomError& e) {
      problems.push_back({e.kind(), e.what()});
    }
  }
  if (!problems.empty()) throw ValidationError(std::move(problems));
  for (PlanWarning& w : warnings.warnings()) perFile.push_back(std::move(w));
  return perFile;
}

// The names in the output directory that this run writes or reads: never
// stale, whatever the last run's list says. Sorted.
std::vector<std::string> namesOfThisRun(const BatchPlan& plan, const FileSystem& fs) {
  const std::optional<FileIdentity> input = fs.identity(plan.dirs.input);
  const bool inputIsOutput = input && input == fs.identity(plan.dirs.output);
  std::vector<std::string> names;
  names.reserve(1 + plan.files.size() * (inputIsOutput ? 2 : 1));
  names.push_back(plan.rules.indexPageName);
  for (const InputFile& file : plan.files) {
    if (const std::string* page = file.pageName()) names.push_back(*page);
  }
  if (inputIsOutput) {
    for (const InputFile& file : plan.files) names.push_back(file.name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A list of pages with the sources' states left out: what matters to any
// reader but the next run's look for pages that are up to date.
std::string withoutStates(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t field = 0;
  for (const char c : text) {
    if (c == '\n') field = 0;
    if (c == '\t') ++field;
    if (field != 4 || c == '\t') out += c;
  }
  return out;
}

// Whether the list of pages already says what replaceManifest would write:
// every page of this run was up to date, the index page is the one listed,
// and the list names nothing else, so that nothing can be stale. A run over
// unchanged input then looks at no page of another run and writes nothing.
bool listUnchanged(const BatchPlan& plan, const WrittenPages& written, const ListedIndexPage& index,
                   const std::string& input) {
  if (plan.upToDate.empty() || plan.listed.state() != ListedPages::State::Read) return false;
  std::size_t pages = 0;
  for (std::size_t i = 0; i < plan.files.size(); ++i) {
    if (!written.files[i]) continue;
    if (!plan.upToDate[i]) return false;
    ++pages;
  }
  const std::vector<ListedEntry>& listed = plan.listed.entries();
  return listed.size() == pages + 1 &&
         std::any_of(listed.begin(), listed.end(), [&](const ListedEntry& e) {
           return e.page == plan.rules.indexPageName && e.hash == index.hash && e.input == input &&
                  e.source.empty() && e.state == index.state && e.digest == index.digest &&
                  e.title.empty();
         });
}

// Removes the stale pages of the run before, then lists this run's pages
// (`written`, then the index page) and the earlier ones still ours for the
// next run. A page that cannot be removed stays listed, so that a later run
// tries again.
void replaceManifest(const BatchPlan& plan, const WrittenPages& written,
                     const ListedIndexPage& index, bool prune, FileSystem& fs,
                     BatchObserver& observer, BatchSummary& summary) {
  const std::string input = manifestInput(plan.dirs, fs);
  if (listUnchanged(plan, written, index, input)) return;
  PrunePlan stale = planPrune(plan.dirs, namesOfThisRun(plan, fs), plan.listed, fs, prune);
  for (const PlanWarning& w : stale.warnings) observer.warning(w.kind, w.message);
  std::string text = formatManifest({});
  // A line holds a hash, six tabs, the page name, the file name, the input
  // directory, a state, a digest, a title and a line end; room for them all
  // at once, for the text is not held twice while it grows (room never
  // written costs no memory). A name with bytes to escape may still need more.
  const std::size_t fixed = 2 * 16 + 7 + kFileStateTextSize + input.size();
  std::size_t size = text.size() + plan.rules.indexPageName.size() + fixed;
  for (std::size_t i = 0, k = 0; i < plan.files.size(); ++i) {
    if (!written.files[i]) continue;
    size += fixed + plan.files[i].pageName()->size() + plan.files[i].name.size() +
            written.titles[k++].size();
  }
  for (const ManifestEntry& e : stale.carried) {
    size +=
        fixed + e.page.size() + e.source.size() + e.input.size() + e.state.size() + e.title.size();
  }
  text.reserve(size);
  // The states of this run's pages, for the next run to know them unchanged:
  // those it found up to date as they were, the others looked at now, in
  // the order of the files.
  FileLook toLook{plan.dirs.output, {}, {}};
  for (std::size_t i = 0; i < plan.files.size() && plan.keepsStates(); ++i) {
    if (written.files[i] && !plan.pageUpToDate(i))
      toLook.names.push_back(*plan.files[i].pageName());
  }
  lookAtFiles(fs, {&toLook});
  toLook.names = {};
  const std::vector<std::optional<FileState>>& looked = toLook.states;
  std::array<char, kFileStateTextSize> stateText;
  for (std::size_t i = 0, k = 0, j = 0; i < plan.files.size(); ++i) {
    if (!written.files[i]) continue;
    const InputFile& file = plan.files[i];
    const std::optional<FileState>& source = written.sources[k];
    std::optional<FileState> page;
    if (plan.pageUpToDate(i)) {
      page = plan.pageStates[i];
    } else if (j < looked.size()) {
      page = looked[j++];
    }
    // A state of the last moments before the run began to look (or of any
    // moment since, for a source read since) may not show a change that
    // follows in the same tick of the clock: not listed, so made again.
    const bool settled = source && settledState(*source, plan.statesTakenNs);
    std::string_view state;
    if (settled && page) state = {stateText.data(), formatFileState(stateText, *source, *page)};
    appendManifestLine(text, hashText(written.hashes[k]), *file.pageName(), file.name, input, state,
                       plan.digests.empty() ? std::string_view() : plan.digests[file.extension],
                       written.titles[k]);
    ++k;
  }
  appendManifestLine(text, index.hash, plan.rules.indexPageName, {}, input, index.state,
                     index.digest);
  for (const ManifestEntry& e : stale.carried)
    appendManifestLine(text, e.hash, e.page, e.source, e.input, e.state, e.digest, e.title);
  for (const ManifestEntry& e : stale.remove) {
    const std::string path = plan.dirs.output + e.page;
    try {
      fs.removeFile(path);
      summary.removedPages.push_back(path);
    } catch (const LoomError& error) {
      observer.warning(WarningKind::StalePageKept, error.what());
      appendManifestLine(text, e.hash, e.page, e.source, e.input, e.state, e.digest, e.title);
    }
  }
  summary.pagesRemoved = summary.removedPages.size();
  // A run over unchanged input leaves the list as it is: no new file, no
  // write that a full disk could refuse, no change that a watch would see.
  const std::string path = plan.dirs.output + kManifestName;
  const bool listed = plan.listed.state() == ListedPages::State::Read;
  if (listed && plan.listed.text() == text) return;
  try {
    fs.writeFileAtomically(path, text);
  } catch (const LoomError&) {
    // States newly settled are worth keeping, not worth failing a run that
    // changed nothing else (a full disk, say): the next run looks again.
    if (!listed || withoutStates(plan.listed.text()) != withoutStates(text)) throw;
  }
}

// Lists the pages of a run that stopped or failed before its index page,
// with the entries of the list before it for every other page: a later run
// then knows them as its own, to leave as they are or prune, rather than as
// pages someone edited. Best effort: a disk too full for the list leaves it
// as it was.
void listPagesSoFar(const BatchPlan& plan, const WrittenPages& written, FileSystem& fs) noexcept {
  if (written.hashes.empty()) return;
  try {
    const std::string path = plan.dirs.output + kManifestName;
    const std::string input = manifestInput(plan.dirs, fs);
    std::vector<ManifestEntry> entries;
    std::set<std::string, std::less<>> pages;
    for (std::size_t i = 0, k = 0; i < plan.files.size(); ++i) {
      if (!written.files[i]) continue;
      std::string page = *plan.files[i].pageName();
      pages.insert(page);
      entries.push_back(
          {std::move(page), plan.files[i].name, hashText(written.hashes[k++]), input, {}, {}, {}});
    }
    // A damaged list is of no use to any run: this run's pages replace it.
    for (const ListedEntry& e : plan.listed.entries()) {
      if (!pages.contains(e.page)) entries.push_back(e.owned());
    }
    writePage(fs, path, formatManifest(entries));
  } catch (...) {
  }
}

// Runs a checked plan: the part of RunBatch after the check. Whether every
// input file can be read is looked at here, after the other threads have
// started converting and before anything is written.
BatchSummary executePlan(const BatchPlan& plan, const BatchOptions& options, FileSystem& fs,
                         BatchObserver& observer) {
  unsigned jobs = options.jobs;
  const bool prune = options.prune;
  BatchSummary summary;
  const std::size_t n = plan.files.size();
  summary.fileCount = n;
  summary.genericFiles = plan.genericFiles;

  if (jobs == 0) jobs = std::max(1u, std::thread::hardware_concurrency());
  // Threads for the files to convert: a page up to date costs nothing to take.
  const std::size_t toConvert =
      n - static_cast<std::size_t>(std::count_if(plan.upToDate.begin(), plan.upToDate.end(),
                                                 [](const auto& u) { return u.has_value(); }));
  if (jobs > toConvert) jobs = static_cast<unsigned>(std::max<std::size_t>(toConvert, 1));
  SourceWarnings sourceWarnings(plan.rules);
  Runner runner(plan, fs, sourceWarnings, options.window, options.waitingBytes);
  // This thread converts too, between writing pages: `jobs` threads in all.
  std::vector<std::jthread> workers;
  workers.reserve(jobs - 1);
  for (unsigned w = 1; w < jobs; ++w) {
    try {
      if (options.beforeThreadStart) options.beforeThreadStart();
      workers.emplace_back([&runner] { runner.help(); });
    } catch (const std::system_error&) {
      break;  // a process limit: the threads that started do the work
    }
  }
  // Stops and joins the workers on every way out.
  struct StopWorkers {
    Runner& runner;
    std::vector<std::jthread>& workers;
    ~StopWorkers() {
      runner.stop();
      workers.clear();
    }
  } stopWorkers{runner, workers};
  refuseUnreadable(plan, fs);
  observer.runStarted(n);
  for (const PlanWarning& w : plan.warnings) observer.warning(w.kind, w.message);
  // Temporary files of an earlier run that was killed go before new ones come.
  if (plan.output->mayHoldNameStartingWith(kTemporaryFilePrefix))
    fs.removeStaleTemporaryFiles(plan.dirs.output);

  std::optional<IndexList> index(std::in_place, *plan.rules.codec);
  index->reserve(n);
  IndexDigest indexDigest;
  WrittenPages written;
  written.files.assign(n, false);
  written.hashes.reserve(n);
  written.titles.reserve(n);
  written.sources.reserve(n);
  // However the run ends before its list of pages, the pages it wrote are listed.
  struct ListOnEarlyEnd {
    const BatchPlan& plan;
    const WrittenPages& written;
    FileSystem& fs;
    bool finished = false;
    ~ListOnEarlyEnd() {
      if (!finished) listPagesSoFar(plan, written, fs);
    }
  } listOnEarlyEnd{plan, written, fs};
  for (std::size_t i = 0; i < n; ++i) {
    if (observer.stopRequested()) {
      summary.stopped = true;
      return summary;
    }
    FileResult result = runner.take(i);
    if (result.error) std::rethrow_exception(result.error);
    if (result.invalidText) observer.warning(WarningKind::InvalidText, *result.invalidText);
    const InputFile& file = plan.files[i];
    if (const std::string* pageName = file.pageName()) {
      std::string_view title = result.titleText();
      const bool read = !result.listedTitle;  // a source whose page is up to date is not read
      if (read) sourceWarnings.add(plan.dirs.input + file.name, result.facts);
      ++summary.pagesWritten;
      if (result.writeError) std::rethrow_exception(result.writeError);
      if (result.outcome) {
        // Pages are put in place here, one after another in file order: a
        // run that stops or fails has the pages of the files before and none
        // of those after. Their bytes were written by the thread that made
        // them, as moving them to this thread's core cost more than writing.
        if (result.staged) result.staged->commit();
        WriteOutcome outcome = *result.outcome;
        if (outcome == WriteOutcome::Unchanged) {
          const auto ahead = options.writtenAhead.find(*pageName);
          if (ahead != options.writtenAhead.end())
            outcome = ahead->second ? WriteOutcome::New : WriteOutcome::Changed;
        }
        if (outcome == WriteOutcome::New) ++summary.pagesNew;
        if (outcome == WriteOutcome::Changed) ++summary.pagesChanged;
        if (outcome == WriteOutcome::Unchanged) ++summary.pagesUnchanged;
        written.files[i] = true;
        written.hashes.push_back(result.hash);
        written.sources.push_back(result.sourceState);
        if (title.size() > kLongestListedTitle) {
          written.titles.emplace_back();
        } else {
          if (read) title = written.convertedTitles.emplace_front(std::move(result.title));
          written.titles.push_back(title);
        }
      }
      const auto group = plan.rules.groupByExtension.find(plan.extensionOf(file));
      const IndexEntry entry{group->second, *pageName, title};
      index->add(entry);
      indexDigest.add(entry);
    } else {
      ++summary.skippedFiles;
    }
    observer.fileDone(i + 1, n);
  }
  if (observer.stopRequested()) {
    summary.stopped = true;
    return summary;
  }

  for (const PlanWarning& w : sourceWarnings.warnings()) observer.warning(w.kind, w.message);
  observer.indexStarted();
  summary.indexPath = plan.dirs.output + plan.rules.indexPageName;
  ListedIndexPage listedIndex{{}, indexDigest.text(plan.rules), {}};
  if (const ListedEntry* same = unchangedIndexPage(plan, listedIndex.digest)) {
    // Made of what it was made of, and as it was left: not sorted, made or
    // compared again.
    listedIndex.hash = same->hash;
    listedIndex.state = same->state;
    index.reset();
  } else {
    const std::string indexBytes =
        WriteIndexPage(*index, plan.rules.settings.header, plan.rules.settings.footer,
                       [&plan](const std::string& group) { return plan.rules.findGroup(group); });
    index.reset();  // its bytes go before the list of pages comes
    writePage(fs, summary.indexPath, indexBytes);
    listedIndex.hash = pageHash(indexBytes);
    const std::string_view name = plan.rules.indexPageName;
    if (const std::optional<FileState> written = fs.fileStates(plan.dirs.output, {name}).front()) {
      std::array<char, kFileStateTextSize> state;
      listedIndex.state.assign(state.data(), formatFileState(state, *written));
    }
  }
  listOnEarlyEnd.finished = true;
  replaceManifest(plan, written, listedIndex, prune, fs, observer, summary);
  observer.runFinished(summary);
  return summary;
}

}  // namespace

std::map<std::string, bool> refreshPages(const BatchPlan& plan,
                                         const std::vector<std::string>& names, FileSystem& fs) {
  std::map<std::string, bool> written;
  std::unique_ptr<FileSystem::DirectoryLock> lock;
  try {
    lock = fs.lockDirectory(plan.dirs.output, std::chrono::milliseconds(0));
  } catch (const LoomError&) {
    return written;  // another run writes there: the run that follows waits for it
  }
  for (const std::string& name : names) {
    const auto file = std::find_if(plan.files.begin(), plan.files.end(),
                                   [&](const InputFile& f) { return f.name == name; });
    if (file == plan.files.end() || !file->writesPage) continue;
    const std::string source = plan.dirs.input + file->name;
    try {
      const ConvertedPage page = ConvertOwnedFile(
          fs.readFile(source), source, plan.rules.rulesByExtension.at(plan.extensionOf(*file)),
          plan.rules.settings, *plan.rules.codec);
      const std::string& pageName = *file->pageName();
      const FileMatch old = writePage(fs, plan.dirs.output + pageName, page.bytes);
      if (old != FileMatch::Same) written.emplace(pageName, old == FileMatch::NoFile);
    } catch (const LoomError&) {
      // Gone, or a full disk: the run that follows says so.
    }
  }
  return written;
}

BatchSummary RunBatch(const BatchOptions& options, FileSystem& fs, BatchObserver& observer,
                      std::optional<BatchPlan>* kept) {
  // Two runs into one directory would each list only their own pages, and
  // each take the other's for a user's; the second waits, or is refused.
  const auto lock =
      options.checkOnly ? nullptr : fs.lockDirectory(options.dirs.output, kOutputLockWait);
  BatchPlan plan = planBatch({.dirs = options.dirs,
                              .rulesPath = options.rulesPath,
                              .overrides = options.overrides,
                              .incremental = !options.checkOnly,
                              .full = options.full},
                             fs);
  if (options.checkOnly) {
    refuseUnreadable(plan, fs);
    for (const PlanWarning& w : plan.warnings) observer.warning(w.kind, w.message);
    for (const PlanWarning& w : checkSources(plan, fs)) observer.warning(w.kind, w.message);
    BatchSummary summary;
    summary.fileCount = plan.files.size();
    summary.genericFiles = plan.genericFiles;
    if (options.prune) {
      PrunePlan stale = planPrune(plan.dirs, namesOfThisRun(plan, fs), plan.listed, fs, true);
      for (const PlanWarning& w : stale.warnings) observer.warning(w.kind, w.message);
      for (const ManifestEntry& e : stale.remove)
        summary.removedPages.push_back(plan.dirs.output + e.page);
    }
    return summary;
  }
  // A kept plan converts whatever files a watch sees change next.
  compileRowScreens(plan, kept != nullptr);
  const BatchSummary summary = executePlan(plan, options, fs, observer);
  if (kept != nullptr) {
    // What only this run needed would be held for the whole watch.
    plan.listed = ListedPages();
    plan.output.reset();
    plan.upToDate = {};
    plan.sourceStates = {};
    plan.pageStates = {};
    plan.indexPageState.reset();
    *kept = std::move(plan);
  }
  return summary;
}

}  // namespace loom
