// SPDX-License-Identifier: MIT
#pragma once
// A quick test that lets the conversion pass over a row that cannot change a
// line: a row's texts can only occur in a line that holds every byte value
// they are made of (in either case, for a case-insensitive row). The line's
// byte values are noted in one pass; each row then looks up a handful of
// bytes instead of searching through the line. The test may say "may match"
// when the row does not, never the other way round.

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "base/codec.h"
#include "base/text.h"
#include "base/utf8.h"
#include "convert/constraint_kind.h"
#include "convert/page_rules.h"
#include "convert/pattern_row.h"

namespace loom {

// The other case of every Windows-1252 byte (the byte itself when it has
// none), taken from the codec so that the filter folds exactly as its search.
inline const std::array<unsigned char, 256>& windows1252OtherCase() {
  static const std::array<unsigned char, 256> other = [] {
    std::array<unsigned char, 256> table{};
    const TextCodec& codec = windows1252Codec();
    for (int b = 0; b < 256; ++b) table[b] = static_cast<unsigned char>(b);
    for (int b = 0; b < 256; ++b) {
      const char c = static_cast<char>(b);
      const auto up = static_cast<unsigned char>(codec.upper(std::string_view(&c, 1))[0]);
      if (up != b) {
        table[b] = up;
        table[up] = static_cast<unsigned char>(b);
      }
    }
    return table;
  }();
  return other;
}

// When a file type's rows need at most 64 different bytes (a byte and its
// other case counting as one where a row folds them), each such need gets a
// bit: a line's bytes become one word and a row's test one AND.
struct ByteClasses {
  std::array<std::uint64_t, 256> bitsOf{};  // byte -> the needs it meets
};

// The byte values of the current line: with byte classes, the needs its
// bytes meet; without, a table in which a byte counts as present when its
// entry holds the current line's mark, so a new line needs no clearing.
class LineBytes {
 public:
  explicit LineBytes(const ByteClasses* classes = nullptr) : classes_(classes) {}

  void scan(std::string_view line) {
    if (classes_ != nullptr) {
      const auto& bitsOf = classes_->bitsOf;
      std::uint64_t even = 0, odd = 0;  // two chains, so that the ORs overlap
      const auto* at = reinterpret_cast<const unsigned char*>(line.data());
      const unsigned char* const end = at + line.size();
      // Eight bytes a load: the table's loads are then most of the work.
      const auto word = [&](const unsigned char* from) {
        std::uint64_t w;
        std::memcpy(&w, from, sizeof w);
        even |= bitsOf[w & 0xFF] | bitsOf[(w >> 16) & 0xFF] | bitsOf[(w >> 32) & 0xFF] |
                bitsOf[(w >> 48) & 0xFF];
        odd |= bitsOf[(w >> 8) & 0xFF] | bitsOf[(w >> 24) & 0xFF] | bitsOf[(w >> 40) & 0xFF] |
               bitsOf[w >> 56];
      };
      if (end - at >= 8) {
        for (; end - at > 8; at += 8) word(at);
        // The last eight bytes of the line, some of them seen before: noting
        // a byte twice changes nothing, and a loop over the odd bytes left
        // would end at a different count on every line, which the processor
        // then guesses wrong.
        word(end - 8);
      } else {
        for (; at != end; ++at) even |= bitsOf[*at];
      }
      needsMet_ = even | odd;
      return;
    }
    const std::uint32_t mark = ++mark_;  // a local, so the stores cannot alias it
    if (mark == 0) {                     // wrapped around: old marks could look current
      seen_.fill(0);
      scan(line);
      return;
    }
    // Four bytes a step: the loop's own count and test cost more than the
    // stores, and this loop runs over every byte of every line.
    const auto* at = reinterpret_cast<const unsigned char*>(line.data());
    const unsigned char* const end = at + line.size();
    for (; end - at >= 4; at += 4) {
      seen_[at[0]] = mark;
      seen_[at[1]] = mark;
      seen_[at[2]] = mark;
      seen_[at[3]] = mark;
    }
    for (; at != end; ++at) seen_[*at] = mark;
  }
  // Notes bytes that a rewrite may have brought into the line.
  void add(std::string_view bytes) {
    const std::uint32_t mark = mark_;
    for (char c : bytes) seen_[static_cast<unsigned char>(c)] = mark;
  }
  void addNeedsMet(std::uint64_t needs) { needsMet_ |= needs; }
  bool has(unsigned char b) const { return seen_[b] == mark_; }
  bool usesClasses() const { return classes_ != nullptr; }
  std::uint64_t needsMet() const { return needsMet_; }

 private:
  const ByteClasses* classes_;
  std::uint64_t needsMet_ = 0;
  std::array<std::uint32_t, 256> seen_{};
  std::uint32_t mark_ = 0;
};

// What one row needs from a line, and what it may bring into it.
class RowFilter {
 public:
  RowFilter(const CompiledConstraint& row, const TextCodec& codec) {
    // Texts that must all occur before the row changes anything: the search
    // text; for a block also its end marker; for a header line the header
    // without its surrounding spaces (the line must equal it).
    std::string needed = row.searchString;
    if (row.type == ConstraintType::PatternReplace) {
      needed = row.pattern ? row.pattern->key() : std::string();
    } else if (row.type == ConstraintType::HeaderLine) {
      needed = std::string(trimSpaces(row.searchString));
    } else if ((row.type == ConstraintType::RemoveBlock ||
                row.type == ConstraintType::ReplaceFormatting) &&
               row.replaceString != kEndOfLineMarker) {
      needed += row.replaceString;
    }
    // Cutting at a begin marker to the end of the line trims the line even
    // when the marker does not occur.
    actsWithoutMatch_ = row.type == ConstraintType::RemoveBlock &&
                        row.replaceString == kEndOfLineMarker && !row.searchString.empty();
    // A pattern's required text is in lower case, whatever case it matches.
    const bool folded = row.type == ConstraintType::PatternReplace ||
                        (row.type != ConstraintType::HeaderLine && !row.caseSensitive);
    const bool unicode = folded && codec.encoding() != Encoding::Windows1252;
    for (char c : needed) {
      const auto b = static_cast<unsigned char>(c);
      // Under Unicode folding only an ASCII letter that no other character
      // folds with must occur in one of its two cases; other bytes may be
      // matched by characters made of other bytes, so they require nothing.
      if (unicode && !asciiFoldIsClosed(b)) continue;
      const unsigned char other = !folded ? b
                                  : unicode
                                      ? static_cast<unsigned char>((b >= 'a' && b <= 'z')   ? b - 32
                                                                   : (b >= 'A' && b <= 'Z') ? b + 32
                                                                                            : b)
                                      : windows1252OtherCase()[b];
      if (need_.find(static_cast<char>(b)) == std::string::npos) {
        need_.push_back(static_cast<char>(b));
        needOther_.push_back(static_cast<char>(other));
      }
    }
    // Everything a rewrite can insert comes from the row's texts.
    for (const std::string* t : {&row.searchString, &row.replaceString, &row.rFirst, &row.rLast}) {
      for (char c : *t) {
        if (inserted_.find(c) == std::string::npos) inserted_.push_back(c);
      }
    }
  }

  bool mayMatch(const LineBytes& line) const {
    if (line.usesClasses()) return (needMask_ & ~line.needsMet()) == 0;
    for (std::size_t i = 0; i < need_.size(); ++i) {
      if (!line.has(static_cast<unsigned char>(need_[i])) &&
          !line.has(static_cast<unsigned char>(needOther_[i]))) {
        return false;
      }
    }
    return true;
  }
  // Whether the row can change a line in which its texts do not occur.
  bool actsWithoutMatch() const { return actsWithoutMatch_; }
  // Keeps the noted bytes a superset of the line's after the row rewrote it.
  void addInserted(LineBytes& line) const {
    if (line.usesClasses()) {
      line.addNeedsMet(insertedMask_);
    } else {
      line.add(inserted_);
    }
  }

  // The needs as pairs of a byte and its other case (the byte itself when
  // the row does not fold), and what a rewrite may bring in.
  std::string_view needs() const { return need_; }
  std::string_view needsOtherCase() const { return needOther_; }
  std::string_view inserted() const { return inserted_; }
  // The same in byte classes, for lines scanned with them.
  std::uint64_t needMask() const { return needMask_; }
  std::uint64_t insertedMask() const { return insertedMask_; }
  void useClasses(std::uint64_t needMask, std::uint64_t insertedMask) {
    needMask_ = needMask;
    insertedMask_ = insertedMask;
  }

 private:
  std::string need_;       // distinct bytes the line must hold ...
  std::string needOther_;  // ... each in this case or in its own
  std::string inserted_;   // distinct bytes
  std::uint64_t needMask_ = 0, insertedMask_ = 0;
  bool actsWithoutMatch_ = false;
};

}  // namespace loom
