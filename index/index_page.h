#pragma once
// The index page: one entry per page of the run, kept sorted, written after
// the last file with a header and a footer around each group's links.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/codec.h"

namespace loom {

// One page of the run. The three parts are kept apart (never split again
// from one joined text), so a group, page name or title holding "-=-" or
// "-+-" stays whole.
struct IndexEntry {
  std::string group;
  std::string pageName;
  std::string title;
  // The text the entries sort by: group + "-=-" + page name + "-+-" + title.
  std::string joined() const { return group + "-=-" + pageName + "-+-" + title; }
};

// The run's entries in ascending order of their joined text, compared
// without regard to letter case; equal entries all stay, in the order they
// were added.
class IndexList {
 public:
  explicit IndexList(const TextCodec& codec) : codec_(&codec) {}
  void add(IndexEntry entry);
  // The entries in sorted order. Sorting waits until they are asked for, so
  // adding n entries costs n log n, not n squared.
  const std::vector<IndexEntry>& entries() const;
  std::size_t size() const { return entries_.size(); }

 private:
  const TextCodec* codec_;
  mutable std::vector<IndexEntry> entries_;
  mutable bool sorted_ = true;
};

struct GroupTexts {
  std::string header;
  std::string footer;
};

// Finds a group's texts (the lookup ignores letter case); nothing when the
// group has no row.
using GroupLookup = std::function<std::optional<GroupTexts>(const std::string& group)>;

// The bytes of the index page, each line followed by CR LF: the global
// header; for each run of entries with the same group (compared exactly), the
// group's header (even when empty), one link line per entry
// (<A HREF="page">title</a><BR>) and the group's footer when not empty; the
// global footer. Entries with an empty group get no header, footer or lookup.
// A group with no row is a LoomError (Rules) naming it.
std::string WriteIndexPage(const std::vector<IndexEntry>& entries, const std::string& header,
                           const std::string& footer, const GroupLookup& lookupGroup);

// The link address of a page: the name as it is, except that bytes outside
// printable ASCII and the characters " # % & ? \ are percent-encoded, so
// that every name links to its own page ("a#1.htm" -> "a%231.htm"; a name
// need not be valid in the page's encoding).
std::string linkAddress(const std::string& pageName);

}  // namespace loom
