// SPDX-License-Identifier: MIT
#include "convert/row_screen.h"

#include <algorithm>
#include <bit>
#include <iterator>
#include <limits>
#include <map>
#include <optional>

#include "base/text.h"
#include "base/utf8.h"

namespace loom {
namespace {

constexpr std::uint32_t kNoEdge = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint32_t kHasRows = 1u << 31;

// The byte every byte is compared as: its upper case in Windows-1252 (where
// case pairs are byte pairs), its ASCII upper case in UTF-8 (where keys of
// case-insensitive rows hold only ASCII that folds with nothing else).
std::array<unsigned char, 256> foldOf(const TextCodec& codec) {
  std::array<unsigned char, 256> fold{};
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    if (codec.encoding() == Encoding::Windows1252) {
      fold[b] = static_cast<unsigned char>(codec.upper(std::string_view(&c, 1))[0]);
    } else {
      fold[b] = static_cast<unsigned char>(b >= 'a' && b <= 'z' ? b - 32 : b);
    }
  }
  return fold;
}

// The text every line the row changes must hold; empty when there is none.
std::string keyOf(const CompiledConstraint& row, const TextCodec& codec) {
  const bool pattern = row.type == ConstraintType::PatternReplace;
  const std::string_view text = row.type == ConstraintType::HeaderLine
                                    ? trimSpaces(row.searchString)
                                : pattern ? std::string_view(row.pattern->key())
                                          : std::string_view(row.searchString);
  // A pattern's required text is in lower case, whatever case it matches.
  if ((row.caseSensitive && !pattern) || row.type == ConstraintType::HeaderLine ||
      codec.encoding() == Encoding::Windows1252) {
    return std::string(text);
  }
  // A character outside ASCII, or an ASCII letter that another character
  // folds with (k and the Kelvin sign), may be matched by other bytes.
  return std::string(longestClosedAsciiRun(text));
}

// The texts a change by `row` puts into a line, each between texts of the
// line; nothing when the change may join two texts of the line (a removal,
// or an empty text put in), after which any key may be new in it.
std::optional<std::vector<std::string_view>> piecesOf(const CompiledConstraint& row) {
  switch (row.type) {
    case ConstraintType::SearchReplace: {
      const std::string_view text = insertedText(row.searchString, row.replaceString);
      if (text.empty()) return std::nullopt;
      return std::vector<std::string_view>{text};
    }
    case ConstraintType::ReplaceFormatting:
      if (row.rFirst.empty() || row.rLast.empty()) return std::nullopt;
      return std::vector<std::string_view>{row.rFirst, row.rLast};
    case ConstraintType::HeaderLine:
      if (row.replaceString.empty()) return std::nullopt;
      return std::vector<std::string_view>{row.replaceString};
    case ConstraintType::PatternReplace:
      return row.pattern->insertedPieces();
    case ConstraintType::RemoveBlock:
      break;
  }
  return std::nullopt;
}

// Whether `key` can occur in some text + `piece` + some text so that it
// overlaps the piece: inside it, around it, or across one of its ends.
//   canOverlap("TEA", "<B>TEAM</B>"), canOverlap("AB", "B..."), !canOverlap("AB", "<B>")
bool canOverlap(std::string_view key, std::string_view piece) {
  if (piece.find(key) != std::string_view::npos || key.find(piece) != std::string_view::npos)
    return true;
  for (std::size_t k = 1; k < key.size() && k < piece.size(); ++k) {
    if (key.substr(key.size() - k) == piece.substr(0, k)) return true;  // key's tail, piece's head
    if (key.substr(0, k) == piece.substr(piece.size() - k))
      return true;  // key's head, piece's tail
  }
  return false;
}

}  // namespace

RowFacts factsOf(const CompiledConstraint& row, const TextCodec& codec) {
  RowFacts facts;
  if (row.type == ConstraintType::ReplaceFormatting) {
    facts.neverEnds = replaceFormattingNeverEnds(row.searchString, row.replaceString, row.rFirst,
                                                 row.rLast, row.caseSensitive, codec);
  } else if (row.type == ConstraintType::SearchReplace) {
    facts.way = searchReplaceWay(row.searchString, row.replaceString, row.caseSensitive, codec);
  }
  return facts;
}

RowScreen::RowScreen(const std::vector<CompiledConstraint>& rows, const TextCodec& codec,
                     bool multiPattern, std::size_t mostAutomatonCells)
    : screensBytes_(multiPattern) {
  filters_.reserve(rows.size());
  std::vector<char> always(rows.size(), 1);  // row -> tried on every line
  std::vector<std::pair<std::string, std::size_t>> keys;
  const std::array<unsigned char, 256> fold = foldOf(codec);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    facts_.push_back(factsOf(rows[i], codec));
    filters_.emplace_back(rows[i], codec);
    if (!multiPattern || filters_.back().actsWithoutMatch()) continue;
    std::string key = keyOf(rows[i], codec);
    if (key.empty()) continue;
    for (char& c : key) c = static_cast<char>(fold[static_cast<unsigned char>(c)]);
    keys.emplace_back(std::move(key), i);
    always[i] = 0;
  }
  if (multiPattern) buildByteClasses();
  keyedFrom_.assign(rows.size() + 1, 0);
  for (std::size_t i = rows.size(); i-- > 0;)
    keyedFrom_[i] = keyedFrom_[i + 1] + (always[i] ? 0 : 1);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    allRows_.push_back(static_cast<std::uint32_t>(i));
    if (always[i]) alwaysRows_.push_back(static_cast<std::uint32_t>(i));
  }
  rowBits_ = byteClasses_ != nullptr && rows.size() <= 64 && keyedFrom_[0] < kRowsWorthAPass;
  if (rowBits_) {
    std::uint64_t needed = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      needed |= filters_[i].needMask();
      rowMask_ |= std::uint64_t{1} << i;
      if (filters_[i].actsWithoutMatch()) actsRows_ |= std::uint64_t{1} << i;
    }
    blockedBy_.resize(static_cast<std::size_t>(std::bit_width(needed) + 7) / 8);
    for (std::size_t k = 0; k < blockedBy_.size(); ++k) {
      for (std::uint64_t lacking = 0; lacking < 256; ++lacking) {
        for (std::size_t i = 0; i < rows.size(); ++i) {
          if ((filters_[i].needMask() >> (8 * k)) & lacking)
            blockedBy_[k][lacking] |= std::uint64_t{1} << i;
        }
      }
    }
  }
  if (keys.empty()) return;
  // Input classes: one per byte value that occurs in a key, one for the rest.
  std::array<std::uint16_t, 256> classOfFolded{};
  classes_ = 1;
  for (const auto& [key, row] : keys) {
    for (char c : key) {
      auto& cls = classOfFolded[static_cast<unsigned char>(c)];
      if (cls == 0) cls = static_cast<std::uint16_t>(classes_++);
    }
  }
  for (int b = 0; b < 256; ++b) classOf_[b] = classOfFolded[fold[b]];
  // Without the automaton every keyed row is left to its byte test.
  if (!build(keys, mostAutomatonCells)) return;
  if (keyedFrom_[0] >= kRowsWorthAPass) buildBringsIn(rows, keys, fold);
}

void RowScreen::buildBringsIn(const std::vector<CompiledConstraint>& rows,
                              const std::vector<std::pair<std::string, std::size_t>>& keys,
                              const std::array<unsigned char, 256>& fold) {
  // The keys that hold each (folded) byte: only they can reach across an end
  // of a piece that begins or ends with it.
  std::array<std::vector<std::uint32_t>, 256> holding;
  for (std::size_t k = 0; k < keys.size(); ++k) {
    std::array<bool, 256> in{};
    for (const char c : keys[k].first) {
      const auto b = static_cast<unsigned char>(c);
      if (!in[b]) holding[b].push_back(static_cast<std::uint32_t>(k));
      in[b] = true;
    }
  }
  // Byte comparisons this may take, so that a huge rule table does not keep
  // the run waiting; rows past it rescan the whole line after a change.
  std::size_t budget = std::size_t{1} << 24;
  bringsAny_.assign(rows.size(), 0);
  bringsFrom_.reserve(rows.size() + 1);
  std::vector<std::uint32_t> found;
  Scratch scratch(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    bringsFrom_.push_back(static_cast<std::uint32_t>(bringsIn_.size()));
    const auto pieces = piecesOf(rows[i]);
    bool any = !pieces;
    found.clear();
    for (std::size_t p = 0; !any && p < pieces->size(); ++p) {
      std::string piece((*pieces)[p]);
      keyRowsIn(piece, i + 1, scratch, found);  // keys inside the piece
      for (char& c : piece) c = static_cast<char>(fold[static_cast<unsigned char>(c)]);
      for (const unsigned char end :
           {static_cast<unsigned char>(piece.front()), static_cast<unsigned char>(piece.back())}) {
        for (const std::uint32_t k : holding[end]) {
          const std::size_t cost = keys[k].first.size() * (keys[k].first.size() + 2) + piece.size();
          if (cost > budget) {
            any = true;
            break;
          }
          budget -= cost;
          if (canOverlap(keys[k].first, piece))
            found.push_back(static_cast<std::uint32_t>(keys[k].second));
        }
        if (any) break;
      }
    }
    if (any) {
      bringsAny_[i] = 1;
      continue;
    }
    std::sort(found.begin(), found.end());
    for (auto row = std::upper_bound(found.begin(), found.end(), static_cast<std::uint32_t>(i));
         row != found.end(); ++row) {
      if (bringsIn_.size() == bringsFrom_.back() || bringsIn_.back() != *row)
        bringsIn_.push_back(*row);
    }
  }
  bringsFrom_.push_back(static_cast<std::uint32_t>(bringsIn_.size()));
}

std::span<const std::uint32_t> RowScreen::rowsAfterChange(std::string_view line,
                                                          std::size_t changed,
                                                          std::span<const std::uint32_t> left,
                                                          Scratch& scratch) const {
  if (bringsFrom_.empty() || bringsAny_[changed] != 0 ||
      keyedFrom_[changed + 1] < kRowsWorthAPass) {
    return rowsToTry(line, changed + 1, scratch);
  }
  const auto brought = std::span<const std::uint32_t>(bringsIn_).subspan(
      bringsFrom_[changed], bringsFrom_[changed + 1] - bringsFrom_[changed]);
  // Built beside `left`, which may lie in rows_.
  scratch.spare_.clear();
  std::set_union(left.begin(), left.end(), brought.begin(), brought.end(),
                 std::back_inserter(scratch.spare_));
  scratch.rows_.swap(scratch.spare_);
  return scratch.rows_;
}

void RowScreen::buildByteClasses() {
  // One class per distinct pair of a needed byte and its other case.
  using BytePair = std::pair<unsigned char, unsigned char>;
  const auto pairOf = [](const RowFilter& filter, std::size_t k) -> BytePair {
    return std::minmax(static_cast<unsigned char>(filter.needs()[k]),
                       static_cast<unsigned char>(filter.needsOtherCase()[k]));
  };
  std::map<BytePair, std::uint64_t> bitOf;
  for (const RowFilter& filter : filters_) {
    for (std::size_t k = 0; k < filter.needs().size(); ++k) {
      const BytePair pair = pairOf(filter, k);
      if (bitOf.count(pair) != 0) continue;
      if (bitOf.size() == 64) return;  // too many for one word: the byte table serves
      bitOf.emplace(pair, std::uint64_t{1} << bitOf.size());
    }
  }
  byteClasses_ = std::make_unique<ByteClasses>();
  for (const auto& [pair, bit] : bitOf) {
    byteClasses_->bitsOf[pair.first] |= bit;
    byteClasses_->bitsOf[pair.second] |= bit;
  }
  for (RowFilter& filter : filters_) {
    std::uint64_t needMask = 0, insertedMask = 0;
    for (std::size_t k = 0; k < filter.needs().size(); ++k) needMask |= bitOf.at(pairOf(filter, k));
    for (const char c : filter.inserted())
      insertedMask |= byteClasses_->bitsOf[static_cast<unsigned char>(c)];
    filter.useClasses(needMask, insertedMask);
  }
}

bool RowScreen::build(const std::vector<std::pair<std::string, std::size_t>>& keys,
                      std::size_t mostCells) {
  // The trie of the keys. Every state's moves are premultiplied by classes_
  // below and flagged with kHasRows, so the cells (states x classes_) must
  // stay below both 2^31 and `mostCells`.
  const std::size_t cellLimit = std::min<std::size_t>(mostCells, kHasRows);
  if (classes_ >= cellLimit) return false;
  std::vector<std::uint32_t> edges(classes_, kNoEdge);
  std::vector<std::vector<std::uint32_t>> ends(1);
  for (const auto& [key, row] : keys) {
    longestKey_ = std::max(longestKey_, key.size());
    std::uint32_t state = 0;
    for (char c : key) {
      std::uint32_t& next = edges[state * classes_ + classOf_[static_cast<unsigned char>(c)]];
      if (next == kNoEdge) {
        if (edges.size() + classes_ >= cellLimit) {
          longestKey_ = 0;
          return false;
        }
        next = static_cast<std::uint32_t>(ends.size());
        ends.emplace_back();
        edges.resize(edges.size() + classes_, kNoEdge);
      }
      state = edges[state * classes_ + classOf_[static_cast<unsigned char>(c)]];
    }
    ends[state].push_back(static_cast<std::uint32_t>(row));
  }
  // Breadth first, each state falls back to the longest proper suffix that is
  // also a state, takes over its rows, and gets a move for every class.
  const std::size_t states = ends.size();
  std::vector<std::uint32_t> fail(states, 0), queue;
  queue.reserve(states);
  for (std::size_t c = 0; c < classes_; ++c) {
    std::uint32_t& next = edges[c];
    if (next == kNoEdge) {
      next = 0;
    } else {
      queue.push_back(next);
    }
  }
  for (std::size_t at = 0; at < queue.size(); ++at) {
    const std::uint32_t state = queue[at];
    for (std::uint32_t row : ends[fail[state]]) ends[state].push_back(row);
    for (std::size_t c = 0; c < classes_; ++c) {
      std::uint32_t& next = edges[state * classes_ + c];
      const std::uint32_t fallback = edges[fail[state] * classes_ + c];
      if (next == kNoEdge) {
        next = fallback;
      } else {
        fail[next] = fallback;
        queue.push_back(next);
      }
    }
  }
  // Moves land on state * classes_ directly, flagged when rows end there,
  // so the scan needs one load per byte and no multiplication.
  for (std::uint32_t& next : edges) {
    next = static_cast<std::uint32_t>(next * classes_) | (ends[next].empty() ? 0 : kHasRows);
  }
  delta_ = std::move(edges);
  outputFrom_.reserve(states + 1);
  for (const auto& rows : ends) {
    outputFrom_.push_back(static_cast<std::uint32_t>(outputs_.size()));
    outputs_.insert(outputs_.end(), rows.begin(), rows.end());
  }
  outputFrom_.push_back(static_cast<std::uint32_t>(outputs_.size()));
  return true;
}

void RowScreen::keyRowsIn(std::string_view text, std::size_t first, Scratch& scratch,
                          std::vector<std::uint32_t>& rows) const {
  const std::uint32_t mark = scratch.nextMark();
  std::vector<std::uint32_t>& seen = scratch.seen_;
  const std::uint32_t* delta = delta_.data();
  const auto move = [&](std::uint32_t& at, char c) {
    at = delta[at + classOf_[static_cast<unsigned char>(c)]];
    if ((at & kHasRows) == 0) return;
    at &= ~kHasRows;
    const std::size_t state = at / classes_;
    for (std::uint32_t k = outputFrom_[state]; k < outputFrom_[state + 1]; ++k) {
      const std::uint32_t row = outputs_[k];
      if (row >= first && seen[row] != mark) {
        seen[row] = mark;
        rows.push_back(row);
      }
    }
  };
  // Each move waits for the load of the one before, so a long text is
  // walked as two halves side by side. The first half runs on for a key's
  // length less one, so that a key across the middle is found whole; a key
  // found by both walks is noted once.
  std::size_t i = 0, end = text.size();
  std::uint32_t at = 0;
  if (text.size() >= 4 * longestKey_) {
    const std::size_t mid = text.size() / 2;
    end = mid + longestKey_ - 1;
    std::uint32_t second = 0;
    for (std::size_t j = mid; j < text.size(); ++i, ++j) {
      move(at, text[i]);
      move(second, text[j]);
    }
  }
  for (; i < end; ++i) move(at, text[i]);
}

std::span<const std::uint32_t> RowScreen::rowsFoundIn(std::string_view line, std::size_t first,
                                                      Scratch& scratch) const {
  std::vector<std::uint32_t>& rows = scratch.rows_;
  rows.clear();
  keyRowsIn(line, first, scratch, rows);
  std::sort(rows.begin(), rows.end());
  // Merge in the rows tried on every line.
  const auto from = std::lower_bound(alwaysRows_.begin(), alwaysRows_.end(), first);
  if (from != alwaysRows_.end()) {
    const std::size_t found = rows.size();
    rows.insert(rows.end(), from, alwaysRows_.end());
    std::inplace_merge(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(found), rows.end());
  }
  return rows;
}

}  // namespace loom
