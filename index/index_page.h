// SPDX-License-Identifier: MIT
#pragma once
// The index page: one entry per page of the run, kept sorted, written after
// the last file with a header and a footer around each group's links.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/codec.h"

namespace loom {

// One page of the run. The three parts are kept apart (never split again
// from one joined text), so a group, page name or title holding "-=-" or
// "-+-" stays whole.
struct IndexEntry {
  std::string_view group;
  std::string_view pageName;
  std::string_view title;
};

// The run's entries in ascending order of their joined text (group + "-=-" +
// page name + "-+-" + title), compared without regard to letter case; equal
// entries all stay, in the order they were added. The joined texts of all
// entries share a few large blocks, so that a run over many files holds each
// entry's bytes and a few numbers, not three strings of its own, and no
// buffer that doubles as it grows holds up to twice what it needs.
class IndexList {
 public:
  explicit IndexList(const TextCodec& codec) : codec_(&codec) {}
  void add(const IndexEntry& entry);
  // Room for this many entries, when known: a list grown one entry at a
  // time holds up to twice what it needs.
  void reserve(std::size_t entries) { slots_.reserve(entries); }
  std::size_t size() const { return slots_.size(); }
  // The k-th entry in sorted order, viewing the list's own bytes. Sorting
  // waits until an entry is asked for, so adding n entries costs n log n,
  // not n squared.
  IndexEntry operator[](std::size_t k) const;

 private:
  struct Slot {
    const char* text;  // the joined text, in one of the blocks
    std::uint32_t groupLength;
    std::uint32_t pageLength;  // a file name: a few hundred bytes at most
    std::size_t titleLength;
  };
  static std::string_view joined(const Slot& slot);

  const TextCodec* codec_;
  // Each block is reserved once and never grows past it, so the slots'
  // pointers stay valid.
  std::vector<std::string> blocks_;
  mutable std::vector<Slot> slots_;
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
std::string WriteIndexPage(const IndexList& entries, const std::string& header,
                           const std::string& footer, const GroupLookup& lookupGroup);

// The link address of a page: the name as it is, except that bytes outside
// printable ASCII and the characters " # % & ? \ are percent-encoded, so
// that every name links to its own page ("a#1.htm" -> "a%231.htm"; a name
// need not be valid in the page's encoding); a name with a ":" begins with
// "./", so that no part of it is read as a scheme ("lw:30 no.htm" ->
// "./lw:30 no.htm").
std::string linkAddress(std::string_view pageName);

}  // namespace loom
