// SPDX-License-Identifier: MIT
#include "app/batch_plan.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "app/look_at_files.h"
#include "app/manifest.h"
#include "base/directory_snapshot.h"
#include "base/side_work.h"
#include "base/text.h"
#include "rules/constraint_draft.h"

namespace loom {
namespace {

void checkDirectories(const DirectoryPair& dirs, const FileSystem& fs,
                      std::vector<Problem>& problems) {
  const PathKind in = fs.kind(dirs.input);
  if (in == PathKind::Missing) {
    problems.push_back({ErrorKind::Io, "Input directory " + quoted(dirs.input) + " " +
                                           fs.unreachable(dirs.input).value_or("does not exist")});
  } else if (in != PathKind::Directory) {
    problems.push_back(
        {ErrorKind::Io, "Input directory " + quoted(dirs.input) + " is not a directory"});
  }
  const PathKind out = fs.kind(dirs.output);
  if (const auto why = out == PathKind::Missing ? fs.unreachable(dirs.output) : std::nullopt) {
    problems.push_back({ErrorKind::Io, "Output directory " + quoted(dirs.output) + " " + *why});
  } else if (out == PathKind::Missing) {
    problems.push_back({ErrorKind::Io,
                        "Output directory " + quoted(dirs.output) + " does not exist",
                        Missing::OutputDirectory, dirs.output});
  } else if (out != PathKind::Directory) {
    problems.push_back(
        {ErrorKind::Io, "Output directory " + quoted(dirs.output) + " is not a directory"});
  } else if (!fs.isWritableDirectory(dirs.output)) {
    problems.push_back(
        {ErrorKind::Io, "Output directory " + quoted(dirs.output) + " cannot be written"});
  }
}

// What would make the run fail after it has written pages, or write where
// it must not, found before any: a directory (or other non-file) where a page
// or the index page must go, a page name too long for the file system, and
// a page that would replace an input file (compared as files, so "d" and
// "d/." are one; the pages of the run before are no inputs). An input file
// that cannot be read is the other such problem.
void checkRunTargets(const BatchPlan& plan, const FileSystem& fs, std::vector<Problem>& problems) {
  constexpr std::size_t kLongestName = 255;  // NAME_MAX of the common file systems
  const DirectorySnapshot& output = *plan.output;
  std::vector<std::pair<std::string_view, const InputFile*>> targets;  // the index page: no file
  targets.reserve(plan.files.size() + 1);
  for (const InputFile& file : plan.files) {
    const std::string* page = file.pageName();
    if (page == nullptr) continue;
    if (page->size() > kLongestName) {
      problems.push_back(
          {ErrorKind::Io,
           "The page of the file " + quoted(visibleName(plan.dirs.input + file.name)) +
               " would have a name of " + std::to_string(page->size()) +
               " bytes; a file name can have at most " + std::to_string(kLongestName) +
               " (set PageNames to short, or rename the file)"});
    } else {
      targets.emplace_back(*page, &file);
    }
  }
  if (!plan.rules.indexPageName.empty()) targets.emplace_back(plan.rules.indexPageName, nullptr);
  // A directory (or other non-file) where a file of the run must go.
  const auto inTheWay = [&](std::string_view name) -> std::optional<PathKind> {
    // The listing tells, on the file systems that say what each entry is.
    const std::optional<PathKind> listed = output.kindOf(name);
    const PathKind kind = listed ? *listed : fs.entryKind(plan.dirs.output + std::string(name));
    if (kind != PathKind::Directory && kind != PathKind::Other) return std::nullopt;
    return kind;
  };
  const auto say = [&](PathKind kind, const std::string& shown, const char* what) {
    problems.push_back(
        {ErrorKind::Io,
         "Output directory holds " +
             std::string(kind == PathKind::Directory ? "a directory"
                                                     : "something that is not a file") +
             " named " + quoted(shown) + ", where the run " + what + "; move it away"});
  };
  // Only an entry of the listing that is not a plain file can be in the
  // way, and a site seldom holds one: on a run after another, where every
  // page is in the listing, the pages are looked for among those few.
  const std::optional<std::vector<std::string_view>> others = output.namesOfOtherThanFiles();
  const std::unordered_set<std::string_view> suspects =
      others ? std::unordered_set<std::string_view>(others->begin(), others->end())
             : std::unordered_set<std::string_view>();
  std::map<std::string_view, PathKind> blocked;  // each named once and in order
  for (const auto& [name, file] : targets) {
    if (others && (suspects.empty() || suspects.count(name) == 0)) continue;
    if (const auto kind = inTheWay(name)) blocked.emplace(name, *kind);
  }
  for (const auto& [name, kind] : blocked)
    say(kind, visibleName(std::string(name)), "must write a page");
  // The list of pages is written after every page: found now, before them.
  if (output.mayHold(kManifestName)) {
    if (const auto kind = inTheWay(kManifestName))
      say(*kind, kManifestName, "keeps the list of its pages");
  }
  // The page names, for the few questions below (the first file of a name
  // wins, as its page is the one looked at).
  std::unordered_map<std::string_view, const InputFile*> pageOf;
  const auto findTarget = [&](std::string_view name) -> const InputFile* {
    if (pageOf.empty()) {
      pageOf.reserve(targets.size());
      for (const auto& [page, file] : targets) pageOf.emplace(page, file);
    }
    const auto hit = pageOf.find(name);
    return hit == pageOf.end() || !output.mayHold(name) ? nullptr : hit->second;
  };
  // An input file is a page's file when input and output are one directory
  // and the names are equal, or when it is a link to the page: only those
  // need a look, not every file.
  std::vector<std::pair<const InputFile*, const InputFile*>> replaced;  // input, page's file
  const auto outputId = fs.identity(plan.dirs.output);
  if (outputId && outputId == fs.identity(plan.dirs.input)) {
    for (const InputFile& input : plan.files) {
      if (const InputFile* file = findTarget(input.name)) replaced.emplace_back(&input, file);
    }
  } else if (outputId) {
    std::map<std::string_view, const InputFile*> inputs;
    for (const std::string& link : plan.inputLinks) {
      if (inputs.empty()) {
        for (const InputFile& input : plan.files) inputs.emplace(input.name, &input);
      }
      const std::string target = fs.absolutePath(plan.dirs.input + link);
      const std::size_t slash = target.rfind('/');
      const auto input = inputs.find(link);
      if (slash == std::string::npos || input == inputs.end()) continue;
      const InputFile* file = findTarget(std::string_view(target).substr(slash + 1));
      if (file == nullptr || fs.identity(target.substr(0, slash + 1)) != outputId) continue;
      replaced.emplace_back(input->second, file);
    }
  }
  if (replaced.empty()) return;
  const bool listed = plan.listed.state() != ListedPages::State::Missing;
  for (const auto& [input, file] : replaced) {
    problems.push_back(
        {ErrorKind::Io,
         "The page of the file " + quoted(visibleName(plan.dirs.input + file->name)) +
             " would replace the input file " + quoted(visibleName(plan.dirs.input + input->name)) +
             ", which this program did not write" +
             (listed ? std::string()
                     : " (the output directory has no list of the pages of earlier runs, " +
                           std::string(kManifestName) + ")") +
             "; rename one of them, or write the site into another directory"});
  }
}

// Two files whose names give one page: the later file's page replaces the
// earlier's, which is then not written at all, and both keep their index
// entry; said once per pair.
void settlePageNameCollisions(BatchPlan& plan) {
  // Full page names never collide: a directory holds each name once.
  if (plan.rules.pageNaming == PageNaming::Full) return;
  // Keyed by the part of each name the page name is made of.
  std::unordered_map<std::string_view, InputFile*> previous;
  previous.reserve(plan.files.size());
  for (InputFile& file : plan.files) {
    if (!file.hasPage()) continue;
    const auto [it, first] = previous.emplace(file.pageKey(), &file);
    if (first) continue;
    it->second->writesPage = false;
    const std::string& page = *file.pageName();
    plan.warnings.push_back({WarningKind::PageNameCollision,
                             "Files " + quoted(plan.dirs.input + it->second->name) + " and " +
                                 quoted(plan.dirs.input + file.name) + " both give the page " +
                                 quoted(page) + "; the page of the later, " + quoted(file.name) +
                                 ", replaces the other's, and both keep their index entry"});
    it->second = &file;
  }
}

// The index page is written last, over whatever has its name: never over a
// page of the same run, the list of pages, the rule database, nor over an
// input file when input and output are one directory (compared as files, so
// "d" and "d/." are one).
void checkIndexPageTarget(const BatchPlan& plan, const std::string& rulesPath, const FileSystem& fs,
                          std::vector<Problem>& problems) {
  if (plan.rules.indexPageName.empty()) return;
  const std::string where = "GlobalDefs row \"IndexPageName\": " + quoted(plan.rules.indexPageName);
  if (plan.rules.indexPageName == kManifestName) {
    problems.push_back({ErrorKind::Rules, where + " is the name of the list of pages this program "
                                                  "keeps in the output directory; choose another"});
  }
  const auto target = fs.identity(plan.dirs.output + plan.rules.indexPageName);
  if (target && target == fs.identity(rulesPath)) {
    problems.push_back({ErrorKind::Rules, where + " is the rule database " + quoted(rulesPath) +
                                              " itself; the index page would replace the rules"});
  }
  for (const InputFile& file : plan.files) {
    if (file.hasPage() && *file.pageName() == plan.rules.indexPageName) {
      problems.push_back({ErrorKind::Rules, where + " is also the page of the file " +
                                                quoted(plan.dirs.input + file.name) +
                                                "; the index page would replace it"});
      break;
    }
  }
  const auto input = fs.identity(plan.dirs.input);
  if (!input || input != fs.identity(plan.dirs.output)) return;
  for (const InputFile& file : plan.files) {
    if (file.name == plan.rules.indexPageName) {
      // Without the list, an index page of an earlier run is an input file.
      const bool unlisted = plan.listed.state() == ListedPages::State::Missing;
      problems.push_back(
          {ErrorKind::Rules, where + " is the name of the input file " +
                                 quoted(plan.dirs.input + file.name) +
                                 "; the index page would replace it" +
                                 (unlisted ? std::string(". The list of pages (") + kManifestName +
                                                 ") that would show it to be an earlier run's "
                                                 "index page is missing"
                                           : std::string())});
    }
  }
}

void addFiles(BatchPlan& plan, std::vector<std::string> names) {
  plan.files.reserve(plan.files.size() + names.size());
  std::map<std::string, std::uint32_t> known;
  for (std::size_t k = 0; k < plan.extensions.size(); ++k) {
    known.emplace(plan.extensions[k], static_cast<std::uint32_t>(k));
  }
  // Thousands of files share a few extensions: each extension as listed is
  // put in the run's encoding and upper case once.
  std::map<std::string, std::uint32_t, std::less<>> listed;
  for (std::string& name : names) {
    // A name without "." has no extension of its own: it is of the type GEN
    // when the rules have one, and is skipped otherwise.
    const bool dotless = name.find('.') == std::string::npos;
    const std::string_view asListed = dotless ? std::string_view() : listedExtension(name);
    auto seen = listed.find(asListed);
    if (seen == listed.end()) {
      const std::string extension =
          dotless ? std::string(kGenericFileType) : fileExtension(name, *plan.rules.codec);
      const auto [it, added] =
          known.emplace(extension, static_cast<std::uint32_t>(plan.extensions.size()));
      if (added) plan.extensions.push_back(it->first);
      seen = listed.emplace(asListed, it->second).first;
    }
    InputFile file(std::move(name), seen->second, plan.rules.pageNaming,
                   !dotless || plan.rules.hasGenericType);
    if (!file.hasPage()) {
      plan.warnings.push_back({WarningKind::SkippedFile,
                               "File " + quoted(plan.dirs.input + file.name) +
                                   " has no \".\" in its name, so it has no file type; skipped "
                                   "(a FileTypes row GEN would give it one)"});
    }
    plan.files.push_back(std::move(file));
  }
}

// The extensions of the files that give a page, each with its first file
// and their number.
FilesByExtension filesByExtension(const BatchPlan& plan) {
  FilesByExtension files;
  for (const InputFile& file : plan.files) {
    if (!file.hasPage()) continue;
    FilesOfExtension& those = files[plan.extensionOf(file)];
    if (those.count++ == 0) those.first = file.name;
  }
  return files;
}

// Compiles the rules of the plan's files, and counts the files that take
// the type GEN for want of their own.
void compileRules(RulesCompiler& compiler, BatchPlan& plan) {
  compiler.compile(filesByExtension(plan), plan.rules);
  for (const InputFile& file : plan.files) {
    const bool dotless = file.name.find('.') == std::string::npos;
    if (file.hasPage() &&
        (dotless || plan.rules.genericExtensions.count(plan.extensionOf(file)) != 0)) {
      ++plan.genericFiles;
    }
  }
}

// Marks the pages the list of pages shows to be up to date (see
// BatchPlan::upToDate). Anything unexpected (no list, a damaged one, a state
// the file system cannot tell) leaves the page to be converted.
void findUpToDatePages(BatchPlan& plan, const FileSystem& fs, bool full) {
  plan.statesTakenNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count();
  const std::size_t n = plan.files.size();
  plan.digests.assign(plan.extensions.size(), {});
  for (std::size_t k = 0; k < plan.extensions.size(); ++k) {
    const auto rules = plan.rules.rulesByExtension.find(plan.extensions[k]);
    if (rules != plan.rules.rulesByExtension.end())
      plan.digests[k] = rulesDigest(plan.rules, rules->second);
  }
  if (full || plan.listed.state() != ListedPages::State::Read) return;
  FileLook sources{plan.dirs.input, {}, {}}, pages{plan.dirs.output, {}, {}};
  sources.names.reserve(n);
  for (const InputFile& file : plan.files) sources.names.push_back(file.name);
  pages.names.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    if (plan.files[i].writesPage) pages.names[i] = *plan.files[i].pageName();
  }
  pages.names.push_back(plan.rules.indexPageName);  // the index page's state comes last
  // A look at each source and at each page is a system call per file, most
  // of a run over unchanged input.
  lookAtFiles(fs, {&sources, &pages});
  plan.sourceStates = std::move(sources.states);
  plan.pageStates = std::move(pages.states);
  plan.indexPageState = plan.pageStates.back();
  plan.pageStates.pop_back();
  const std::string input = manifestInput(plan.dirs, fs);
  const std::vector<ListedEntry>& entries = plan.listed.entries();
  const auto usable = [&](const ListedEntry& e) {
    return !e.source.empty() && !e.state.empty() && e.input == input;
  };
  // The list holds the files in the order of the listing it was made from,
  // which is this run's when no file came or went: each file's entry is
  // looked for next to the last one found, and in an index only after a miss.
  std::unordered_map<std::string_view, const ListedEntry*> bySource;
  const auto entryOf = [&](std::size_t& next, std::string_view name) -> const ListedEntry* {
    if (next < entries.size() && entries[next].source == name && usable(entries[next]))
      return &entries[next++];
    if (bySource.empty()) {
      bySource.reserve(entries.size());
      // The first entry of a source counts, as in a list read in order.
      for (const ListedEntry& e : entries) {
        if (usable(e)) bySource.emplace(e.source, &e);
      }
    }
    const auto hit = bySource.find(name);
    if (hit == bySource.end()) return nullptr;
    next = static_cast<std::size_t>(hit->second - entries.data()) + 1;
    return hit->second;
  };
  plan.upToDate.assign(n, std::nullopt);
  std::array<char, kFileStateTextSize> state;
  std::size_t next = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const InputFile& file = plan.files[i];
    const std::optional<FileState>& source = plan.sourceStates[i];
    const std::optional<FileState>& page = plan.pageStates[i];
    if (!file.writesPage || !source || !page) continue;
    const ListedEntry* entry = entryOf(next, file.name);
    if (entry == nullptr) continue;
    const ListedEntry& e = *entry;
    if (e.page == pages.names[i] && e.digest == plan.digests[file.extension] && !e.title.empty() &&
        e.state == std::string_view(state.data(), formatFileState(state, *source, *page))) {
      plan.upToDate[i] = BatchPlan::UpToDate{e.hash, e.title};
    }
  }
}

// When the output directory is the input directory, the pages and the index
// page of the run before are there among the input files; they are ours,
// not text to convert (and the index page would otherwise refuse the run as
// replacing an input file). A list of pages that cannot be read leaves every
// name, and the run says what it finds.
void dropOwnPages(const BatchPlan& plan, const FileSystem& fs, std::vector<std::string>& names) {
  const std::optional<FileIdentity> input = fs.identity(plan.dirs.input);
  if (!input || input != fs.identity(plan.dirs.output)) return;
  std::unordered_set<std::string_view> pages;
  for (const ListedEntry& e : plan.listed.entries()) pages.insert(e.page);
  std::erase_if(names, [&pages](const std::string& name) { return pages.count(name) > 0; });
}

}  // namespace

bool settledState(const FileState& source, std::int64_t takenNs) {
  constexpr std::int64_t kSecondNs = 1'000'000'000;
  const std::int64_t tick = source.modifiedNs % kSecondNs == 0 ? 2 * kSecondNs : kRacyNs;
  return source.changedNs < takenNs - tick && source.modifiedNs < takenNs - tick;
}

std::string rulesDigest(const CompiledRules& compiled, const PageRules& rules) {
  std::string all;
  const auto add = [&all](std::string_view text) {
    all += std::to_string(text.size());
    all += ':';
    all += text;
  };
  const PageSettings& s = compiled.settings;
  for (const std::string_view text :
       {std::string_view(LOOMWISE_VERSION), compiled.codec->name(), std::string_view(s.header),
        std::string_view(s.footer), std::string_view(s.endOfLineTag),
        std::string_view(lineEndsName(s.lineEnds)), std::string_view(s.escapeText ? "y" : "n"),
        std::string_view(s.lines == LineLayout::Keep ? "keep" : "trim"),
        std::string_view(rules.beginSection), std::string_view(rules.endSection)}) {
    add(text);
  }
  add(std::to_string(rules.titleLine));
  for (const CompiledConstraint& row : rules.constraints) {
    add(std::to_string(static_cast<int>(row.type)));
    for (const std::string* text : {&row.searchString, &row.replaceString, &row.rFirst, &row.rLast})
      add(*text);
    add(row.caseSensitive ? "1" : "0");
  }
  return hashText(pageHashValue(all));
}

InputFile::InputFile(std::string listedName, std::uint32_t extensionIndex, PageNaming naming,
                     bool typed)
    : name(std::move(listedName)),
      extension(extensionIndex),
      writesPage(typed),
      hasPage_(typed),
      full_(naming == PageNaming::Full) {
  if (typed) page_ = pageNameFor(name, naming);
}

BatchPlan planBatch(const PlanRequest& request, const FileSystem& fs) {
  BatchPlan plan;
  plan.dirs = request.dirs;
  std::vector<Problem> problems;
  checkDirectories(plan.dirs, fs, problems);
  // The list of pages and the output directory's entries are read on
  // threads of their own while this one reads the rules and lists the
  // input: on a run after another, each is thousands of entries, and none
  // waits on another. Nothing is written before the plan is made.
  SideWork listRead([&plan, &fs] { plan.listed = ListedPages::read(plan.dirs.output, fs); });
  SideWork outputRead([&plan, &fs] { plan.output.emplace(fs, plan.dirs.output); });
  RulesCompiler compiler(problems, plan.warnings);
  if (!compiler.readSettings(request.rulesPath, request.overrides, plan.rules)) {
    throw ValidationError(std::move(problems));
  }
  FileSystem::PlainFiles inputFiles;
  if (fs.kind(plan.dirs.input) == PathKind::Directory) {
    try {
      inputFiles = fs.listPlainFiles(plan.dirs.input);
    } catch (const LoomError& e) {
      problems.push_back({e.kind(), e.what()});
    }
  }
  listRead.wait();
  outputRead.wait();
  dropOwnPages(plan, fs, inputFiles.names);
  addFiles(plan, std::move(inputFiles.names));
  plan.inputLinks = std::move(inputFiles.links);
  checkIndexPageTarget(plan, request.rulesPath, fs, problems);
  checkRunTargets(plan, fs, problems);
  settlePageNameCollisions(plan);
  compileRules(compiler, plan);
  if (!problems.empty()) {
    // Every problem at once: the files that cannot be read too.
    const std::vector<Problem> unreadable = unreadableInputs(plan, fs);
    problems.insert(problems.end(), unreadable.begin(), unreadable.end());
    throw ValidationError(std::move(problems));
  }
  if (request.incremental) findUpToDatePages(plan, fs, request.full);
  return plan;
}

std::vector<Problem> unreadableInputs(const BatchPlan& plan, const FileSystem& fs) {
  std::vector<std::string_view> names;
  names.reserve(plan.files.size());
  for (std::size_t i = 0; i < plan.files.size(); ++i) {
    // A file whose page is up to date is not read.
    if (plan.files[i].hasPage() && !plan.pageUpToDate(i)) names.push_back(plan.files[i].name);
  }
  std::vector<Problem> problems;
  for (const std::size_t i : fs.unreadableFiles(plan.dirs.input, names)) {
    const std::string path = plan.dirs.input + std::string(names[i]);
    problems.push_back({ErrorKind::Io, "Input file " + quoted(path) +
                                           " cannot be read (no permission, or not a plain file "
                                           "any more)"});
  }
  return problems;
}

void compileRowScreens(BatchPlan& plan, bool every) {
  std::vector<bool> converted(plan.extensions.size(), every);
  for (std::size_t i = 0; i < plan.files.size(); ++i) {
    if (plan.files[i].writesPage && !plan.pageUpToDate(i))
      converted[plan.files[i].extension] = true;
  }
  for (std::size_t k = 0; k < plan.extensions.size(); ++k) {
    const auto rules = plan.rules.rulesByExtension.find(plan.extensions[k]);
    if (converted[k] && rules != plan.rules.rulesByExtension.end() && !rules->second.screen)
      compileRows(rules->second, *plan.rules.codec);
  }
}

BatchPlan planExplain(const PlanRequest& request, const std::string& inputDir,
                      std::vector<std::string> names) {
  BatchPlan plan;
  plan.dirs.input = inputDir;
  std::vector<Problem> problems;
  RulesCompiler compiler(problems, plan.warnings);
  if (!compiler.readSettings(request.rulesPath, request.overrides, plan.rules)) {
    throw ValidationError(std::move(problems));
  }
  addFiles(plan, std::move(names));
  compileRules(compiler, plan);
  if (!problems.empty()) throw ValidationError(std::move(problems));
  compileRowScreens(plan, true);
  return plan;
}

}  // namespace loom
