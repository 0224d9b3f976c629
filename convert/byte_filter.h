#pragma once
// A quick test that lets the conversion pass over a row that cannot change a
// line: a row's texts can only occur in a line that holds every byte value
// they are made of. The line's byte values are noted in one pass; each row
// then looks up a handful of bytes instead of searching through the line. The
// test may say "may match" when the row does not, never the other way round.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/codec.h"
#include "convert/page_rules.h"
#include "rules/constraint_row.h"

namespace loom {

// The one case every Windows-1252 byte folds to, taken from the codec itself
// so that the filter folds exactly as its search does.
inline const std::array<unsigned char, 256>& windows1252Fold() {
  static const std::array<unsigned char, 256> fold = [] {
    std::array<unsigned char, 256> table{};
    for (int b = 0; b < 256; ++b) {
      const char c = static_cast<char>(b);
      table[b] = static_cast<unsigned char>(windows1252Codec().upper(std::string_view(&c, 1))[0]);
    }
    return table;
  }();
  return fold;
}

// The byte values of the current line, as they are and folded to one case
// the way a case-insensitive Windows-1252 search folds them. A byte counts as
// present when its entry holds the current line's mark, so a new line needs
// no clearing.
class LineBytes {
 public:
  explicit LineBytes(bool withFolded) : withFolded_(withFolded) {}

  void scan(std::string_view line) {
    const std::uint64_t mark = ++mark_;  // a local, so the stores cannot alias it
    if (!withFolded_) {
      for (char c : line) exact_[static_cast<unsigned char>(c)] = mark;
      return;
    }
    const auto& fold = windows1252Fold();
    for (char c : line) {
      const auto b = static_cast<unsigned char>(c);
      exact_[b] = mark;
      folded_[fold[b]] = mark;
    }
  }
  // Notes bytes that a rewrite may have brought into the line.
  void add(std::string_view bytes) {
    const auto& fold = windows1252Fold();
    const std::uint64_t mark = mark_;
    for (char c : bytes) {
      exact_[static_cast<unsigned char>(c)] = mark;
      folded_[fold[static_cast<unsigned char>(c)]] = mark;
    }
  }
  bool hasAll(std::string_view bytes, bool folded) const {
    const auto& table = folded ? folded_ : exact_;
    for (char c : bytes) {
      if (table[static_cast<unsigned char>(c)] != mark_) return false;
    }
    return true;
  }

 private:
  std::array<std::uint64_t, 256> exact_{};
  std::array<std::uint64_t, 256> folded_{};
  std::uint64_t mark_ = 0;
  bool withFolded_;
};

// What one row needs from a line, and what it may bring into it.
class RowFilter {
 public:
  RowFilter(const PreparedConstraint& row, const TextCodec& codec) {
    // Texts that must all occur before the row changes anything: the search
    // text, and for a block also its end marker.
    const bool block = row.kind == ConstraintType::RemoveBlock ||
                       row.kind == ConstraintType::ReplaceFormatting;
    std::string needed = row.search;
    if (block && row.replace != kEndOfLineMarker) needed += row.replace;
    if (row.kind == ConstraintType::HeaderLine) {
      always_ = true;  // a whole-line comparison, cheap already
    } else if (row.caseSensitive) {
      addOnce(need_, needed);
    } else if (codec.encoding() == Encoding::Windows1252) {
      folded_ = true;
      for (char& c : needed) c = static_cast<char>(windows1252Fold()[static_cast<unsigned char>(c)]);
      addOnce(need_, needed);
    } else {
      always_ = true;  // Unicode folding may change bytes and lengths
    }
    // Everything a rewrite can insert comes from the row's texts.
    for (const std::string* t : {&row.search, &row.replace, &row.front, &row.back}) {
      addOnce(inserted_, *t);
    }
  }

  bool mayMatch(const LineBytes& line) const { return always_ || line.hasAll(need_, folded_); }
  // Keeps the noted bytes a superset of the line's after the row rewrote it.
  void addInserted(LineBytes& line) const { line.add(inserted_); }
  bool folded() const { return folded_; }

 private:
  static void addOnce(std::string& set, std::string_view bytes) {
    for (char c : bytes) {
      if (set.find(c) == std::string::npos) set.push_back(c);
    }
  }

  std::string need_;      // distinct bytes, folded when `folded_`
  std::string inserted_;  // distinct bytes
  bool folded_ = false;   // case-insensitive: test the folded bytes
  bool always_ = false;   // no test possible: always search
};

}  // namespace loom
