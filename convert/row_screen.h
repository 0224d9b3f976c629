// SPDX-License-Identifier: MIT
#pragma once
// A file type's rows compiled once per run, so that the cost of a line does
// not grow with the number of rows that cannot change it.
//
// Three ways to pick the rows a line gets, chosen once in the constructor:
//
//   way          chosen when                    per line
//   -----------  -----------------------------  ------------------------------------
//   row bits     at most 64 rows, their needed  LineBytes folds the line into one
//   (screens-    bytes fit one 64-bit word of   word of byte classes; rowBitsToTry
//   RowBits)     byte classes, and fewer than   turns it into a word of rows, one
//                kRowsWorthAPass keyed rows     bit a row (eight table loads)
//   byte test    otherwise, while fewer than    rowsToTry hands out every row from
//   of every     kRowsWorthAPass keyed rows     `first` on; each row's RowFilter
//   row          remain, or when the automaton  tests the line's noted bytes before
//                would not fit its index        the row's own search runs
//   automaton    kRowsWorthAPass keyed rows or  one pass of a multi-pattern automaton
//   (Aho-        more remain                    (Aho-Corasick) names the rows whose
//   Corasick)                                   key occurs; those and the rows always
//                                               tried get the byte test
//
// A screen built with `multiPattern` false screens nothing: every row is
// tried on every line and its own search decides.
//
// A row's key is text that every line it can change must hold: its search
// text or begin marker (for a header line the header itself), or for a
// case-insensitive UTF-8 row the longest run of ASCII characters that no
// other character folds with. The line is matched with the codec's case
// folding, so the screen may name a row that then finds nothing, never the
// other way round. Rows without a key, and rows that act on lines without
// their texts, are tried on every line.
//
// Example: rows "colour" -> "color" and "[" ... "]" -> "<I>" ... "</I>" on the
// line "a [b] c" name only the second row; "colour" costs nothing more.

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/codec.h"
#include "convert/byte_filter.h"
#include "convert/constraint_ops.h"
#include "convert/page_rules.h"

namespace loom {

// What an operation learns from a row's texts alone, worked out once per run.
struct RowFacts {
  bool neverEnds = false;  // a formatting row's replaceFormattingNeverEnds
  SearchReplaceWay way;    // a search-and-replace row's searchReplaceWay
};

// Works out the facts of `row`.
RowFacts factsOf(const CompiledConstraint& row, const TextCodec& codec);

class RowScreen {
 public:
  // The automaton's moves index a table of states x classes cells in 31
  // bits (the top bit flags states where keys end); a rule table whose keys
  // would need more cells is screened by the byte test alone.
  static constexpr std::size_t kMostAutomatonCells = std::size_t{1} << 31;

  // What one conversion keeps between lines while it screens, so that no
  // line allocates: the rows handed out and a per-row table of which rows a
  // pass has already named. Get one from scratch() per conversion (per
  // thread); the rows rowsToTry and rowsAfterChange hand out live in it
  // until its next use.
  class Scratch {
   public:
    explicit Scratch(std::size_t rows) : seen_(rows, 0) {}

   private:
    friend class RowScreen;
    // A new generation for seen_, so that the table is not cleared for
    // every line; only when the counter wraps around could an old entry
    // look current, and then it is cleared.
    std::uint32_t nextMark() {
      if (++mark_ == 0) {
        std::fill(seen_.begin(), seen_.end(), 0);
        mark_ = 1;
      }
      return mark_;
    }
    std::vector<std::uint32_t> seen_;  // row -> mark of the pass that named it
    std::uint32_t mark_ = 0;
    std::vector<std::uint32_t> rows_, spare_;
  };

  // `multiPattern` false screens nothing, which is what the screened
  // conversion must equal (tests compare the two, so a fault in the byte
  // test shows). `mostAutomatonCells` below kMostAutomatonCells lets tests
  // take the byte test's way where the automaton would otherwise serve.
  RowScreen(const std::vector<CompiledConstraint>& rows, const TextCodec& codec,
            bool multiPattern = true, std::size_t mostAutomatonCells = kMostAutomatonCells);

  std::size_t size() const { return filters_.size(); }
  Scratch scratch() const { return Scratch(size()); }
  const RowFilter& filter(std::size_t row) const { return filters_[row]; }
  // Whether a line's bytes are to be noted for each row's byte test.
  bool screensBytes() const { return screensBytes_; }
  // What the row's operation would otherwise work out from its texts at
  // every line.
  const RowFacts& facts(std::size_t row) const { return facts_[row]; }
  // What a line's LineBytes scans with; nothing when the rows need too many
  // different bytes for one word.
  const ByteClasses* byteClasses() const { return byteClasses_.get(); }

  // Whether the row bits serve (see the table above): then rowBitsToTry
  // serves instead of rowsToTry.
  bool screensRowBits() const { return rowBits_; }
  // The rows from `first` on (bit r for row r) whose needs the line's byte
  // classes `met` meet, and those that act without a match; `matched`
  // receives the first kind alone.
  std::uint64_t rowBitsToTry(std::uint64_t met, std::size_t first, std::uint64_t& matched) const {
    std::uint64_t unmet = ~met, blocked = 0;
    for (const auto& table : blockedBy_) {  // one table a byte of the classes, lowest first
      blocked |= table[unmet & 0xFF];
      unmet >>= 8;
    }
    const std::uint64_t from = first >= 64 ? 0 : ~std::uint64_t{0} << first;
    matched = ~blocked & rowMask_ & from;
    return matched | (actsRows_ & from);
  }

  // The rows from `first` on to try on `line`, in row order: those whose key
  // occurs in it and those always tried, or every row from `first` on when
  // no automaton pass is worth it. Valid until `scratch` is used again.
  std::span<const std::uint32_t> rowsToTry(std::string_view line, std::size_t first,
                                           Scratch& scratch) const {
    if (first >= size()) return {};
    if (delta_.empty() || keyedFrom_[first] < kRowsWorthAPass) {
      return std::span<const std::uint32_t>(allRows_).subspan(first);
    }
    return rowsFoundIn(line, first, scratch);
  }

  // The rows to try after row `changed` changed `line`, when `left` were
  // those after it still to try: a key can only be new in the line where the
  // change put text in, so rather than a pass over the whole line the rows
  // whose keys may overlap that text join `left`. `left` may lie in
  // `scratch`; the result is valid until `scratch` is used again.
  std::span<const std::uint32_t> rowsAfterChange(std::string_view line, std::size_t changed,
                                                 std::span<const std::uint32_t> left,
                                                 Scratch& scratch) const;

 private:
  // A pass over the line costs about as much as the byte test of a few
  // dozen rows: for fewer rows, each is tried and the byte test screens it.
  static constexpr std::size_t kRowsWorthAPass = 32;

  // Appends to `rows` the rows from `first` on whose key occurs in `text`,
  // each once (one new generation of `scratch`'s table), in no order.
  // Needs the automaton.
  void keyRowsIn(std::string_view text, std::size_t first, Scratch& scratch,
                 std::vector<std::uint32_t>& rows) const;
  // rowsToTry by a pass of the automaton over the line.
  std::span<const std::uint32_t> rowsFoundIn(std::string_view line, std::size_t first,
                                             Scratch& scratch) const;
  // Builds the automaton of `keys`; returns false, leaving none, when it
  // would need more than `mostCells` cells.
  bool build(const std::vector<std::pair<std::string, std::size_t>>& keys, std::size_t mostCells);
  void buildBringsIn(const std::vector<CompiledConstraint>& rows,
                     const std::vector<std::pair<std::string, std::size_t>>& keys,
                     const std::array<unsigned char, 256>& fold);
  void buildByteClasses();

  std::vector<RowFilter> filters_;
  std::unique_ptr<ByteClasses> byteClasses_;
  std::vector<RowFacts> facts_;
  bool rowBits_ = false;
  bool screensBytes_ = true;
  // With rowBits_: for byte k of the classes a line lacks, the rows that
  // need one of them (eight table lookups instead of a test per row).
  std::vector<std::array<std::uint64_t, 256>> blockedBy_;
  std::uint64_t rowMask_ = 0;                 // a bit for every row
  std::uint64_t actsRows_ = 0;                // rows that act without a match, as bits
  std::vector<std::uint32_t> allRows_;        // 0, 1, 2 ...
  std::vector<std::uint32_t> alwaysRows_;     // ascending
  std::vector<std::uint32_t> keyedFrom_;      // row -> rows with a key from it on
  std::array<std::uint16_t, 256> classOf_{};  // folded byte -> input class
  std::size_t classes_ = 0;
  // (state * classes_ + class) -> next state * classes_, with kHasRows set
  // when rows end in the next state.
  std::vector<std::uint32_t> delta_;
  std::vector<std::uint32_t> outputFrom_;  // state -> first of its rows in outputs_
  std::vector<std::uint32_t> outputs_;     // rows whose key ends in each state
  std::size_t longestKey_ = 0;
  // Per row, with the automaton in use: whether a change by it may bring any
  // key into a line, else the rows after it whose keys it may bring in
  // (bringsIn_ from bringsFrom_[row] to bringsFrom_[row + 1]).
  std::vector<char> bringsAny_;
  std::vector<std::uint32_t> bringsFrom_, bringsIn_;
};

}  // namespace loom
