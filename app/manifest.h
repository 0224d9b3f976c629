// SPDX-License-Identifier: MIT
#pragma once
// The list of the pages a run wrote, kept as a hidden file in the output
// directory, so that a later run can tell the pages it made and may remove
// from the files a user keeps there.

#include <cstdint>
#include <forward_list>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/pair.h"
#include "app/rules_compiler.h"
#include "base/file_system.h"

namespace loom {

// Hidden, so that it is never listed as an input file; not beginning with
// the prefix of temporary files (".loomwise-"), so that it is never taken
// for the leftover of a killed write.
inline constexpr const char* kManifestName = ".loomwise.manifest";

struct ManifestEntry {
  std::string page;    // a plain file name in the output directory
  std::string source;  // the input file the page was made from; empty for the index page
  std::string hash;    // pageHash() of the bytes written
  // The input directory of the run that wrote the page, absolute and ending
  // in "/"; empty in a list written before it was kept (that of the run
  // reading the list is then assumed).
  std::string input;
  // What a later run needs to know the page is up to date without reading
  // its source (see app/batch_plan.h); empty where unknown, as in lists of
  // the earlier forms: the source's state (formatFileState), the digest of
  // the rules the page was made with, and the page's title.
  std::string state;
  std::string digest;
  std::string title;
  bool operator==(const ManifestEntry&) const = default;
};

// A source's state and its page's as the list of pages keeps them, each
// "device:inode:size:modified:changed", joined by "|", written into `out`
// (the look at thousands of pages allocates nothing); returns its length:
//   {1, 2, 3, 4, 5} and {1, 9, 8, 7, 6} give "1:2:3:4:5|1:9:8:7:6", 19.
inline constexpr std::size_t kFileStateTextSize = 2 * 5 * 20 + 9;
std::size_t formatFileState(std::span<char, kFileStateTextSize> out, const FileState& source,
                            const FileState& page);
// The state of a page without a source, the index page's, the same way
// alone: {1, 9, 8, 7, 6} gives "1:9:8:7:6", 9.
std::size_t formatFileState(std::span<char, kFileStateTextSize> out, const FileState& page);

// A fingerprint of a page's bytes: tells a page as written from one edited
// since. Not meant to withstand a deliberate forgery.
std::uint64_t pageHashValue(std::string_view bytes);
// A fingerprint as the list of pages holds it: 16 hexadecimal digits.
std::string hashText(std::uint64_t hash);
inline std::string pageHash(std::string_view bytes) { return hashText(pageHashValue(bytes)); }

std::string formatManifest(const std::vector<ManifestEntry>& entries);
// Adds one entry's line to the text formatManifest makes.
void appendManifestLine(std::string& text, std::string_view hash, std::string_view page,
                        std::string_view source, std::string_view input,
                        std::string_view state = {}, std::string_view digest = {},
                        std::string_view title = {});
// Throws LoomError(Io) naming `path` and the line at fault when `text` is not
// a manifest this program wrote, in this form or the earlier ones without
// states and titles or without input directories.
std::vector<ManifestEntry> parseManifest(std::string_view text, const std::string& path);

// The pages the list in `outputDir` names, the index page among them;
// nothing when there is no list or it cannot be read.
std::set<std::string> listedPages(const std::string& outputDir, const FileSystem& fs);

// One entry of a list as read, its names unescaped; the views point into
// the ListedPages that holds it.
struct ListedEntry {
  std::string_view page, source, hash, input, state, digest, title;
  ManifestEntry owned() const {
    return {std::string(page),  std::string(source), std::string(hash), std::string(input),
            std::string(state), std::string(digest), std::string(title)};
  }
};

// The list of pages in an output directory, read once by a run before it
// writes anything (the directory is locked against other runs, so it is
// still the list when the run ends): every step that needs it (whose pages
// are up to date, which pages are ours, which are stale) looks here.
// Entries are views of the text read, so that a list of many thousands of
// pages costs no string of its own per name.
class ListedPages {
 public:
  enum class State { Missing, Unreadable, Damaged, Read };

  ListedPages() = default;
  static ListedPages read(const std::string& outputDir, const FileSystem& fs);
  // The list in `text`, read from `path`; throws as parseManifest does.
  static ListedPages parse(std::string text, const std::string& path);
  // Whatever the list held, as if there were none (a damaged list is never
  // used at all).
  static ListedPages damaged(std::string problem);

  State state() const { return state_; }
  // Why a damaged list is not used: names the file and the line.
  const std::string& problem() const { return problem_; }
  // Empty unless the list was read whole.
  const std::vector<ListedEntry>& entries() const { return entries_; }
  // The list's bytes as read; empty unless it was read whole.
  std::string_view text() const { return state_ == State::Read ? *text_ : std::string_view(); }

 private:
  State state_ = State::Missing;
  std::string problem_;
  std::unique_ptr<const std::string> text_;   // on the heap: entries point into it
  std::forward_list<std::string> unescaped_;  // the rare names written with %XX
  std::vector<ListedEntry> entries_;
};

// What a run does with the pages of the run before it.
struct PrunePlan {
  std::vector<ManifestEntry> remove;   // the stale pages, with --prune only
  std::vector<ManifestEntry> carried;  // earlier pages still ours, listed again
  std::vector<PlanWarning> warnings;
};

// The input directory of `dirs` as the list of pages names it.
std::string manifestInput(const DirectoryPair& dirs, const FileSystem& fs);

// Compares `listed`, the manifest in the output directory, with the page names this
// run writes (`pages`, sorted, the index page among them). A page is stale when the
// manifest lists it, this run does not write it, its source file is gone from
// the input directory that wrote it and its bytes are still those written;
// with `prune` such pages go into `remove`. Nothing else is ever removed: not
// a file the manifest does not list, not a page edited since or replaced by
// a symbolic link, not a name that leaves the directory.
PrunePlan planPrune(const DirectoryPair& dirs, const std::vector<std::string>& pages,
                    const ListedPages& listed, const FileSystem& fs, bool prune);

}  // namespace loom
