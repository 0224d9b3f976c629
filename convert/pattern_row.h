// SPDX-License-Identifier: MIT
#pragma once
// A constraint row of the kind PatternReplace, compiled once per run: its
// search text is a regular expression (RE2's syntax, matched in time linear
// in the line whatever the pattern, so a shared rules file can never hang a
// run), its replacement a template in which \0 to \9 stand for the whole
// match and its groups and \\ for one backslash. Every match of a line is
// replaced, left to right, and the search goes on after the match, never
// inside what was put in.
//
// Example: "\b(v)(\d+)\b" -> "<B>\1\2</B>" makes "see v2 and v10" into
// "see <B>v2</B> and <B>v10</B>".

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/codec.h"

namespace re2 {
class RE2;
}

namespace loom {

struct OpBuffers;
class LineOrigin;

class PatternRow {
 public:
  // Compiles `pattern` in the encoding of `codec` (UTF-8, or Latin-1 bytes
  // for Windows-1252), folding case as the codec folds when not
  // `caseSensitive`. A pattern RE2 refuses, one that can match the empty
  // string, or a template that names a group the pattern lacks, gives
  // nullptr and the reason in `why`.
  static std::shared_ptr<const PatternRow> compile(std::string_view pattern,
                                                   std::string_view replacement, bool caseSensitive,
                                                   const TextCodec& codec, std::string& why);
  ~PatternRow();

  // Replaces every match in `line`; returns whether anything was replaced.
  // `origin`, when given, is the line's origin and is kept in step:
  // the template's own text is the rule's, text a group takes from the line
  // keeps its origin, and what came from the source is marked as group text
  // (kFromGroup), which escaping treats as source text that may stand
  // inside an attribute value.
  bool replaceAll(std::string& line, OpBuffers& buffers, LineOrigin* origin) const;

  // A text every match holds, to be compared without regard to case; empty
  // when no one text is needed.
  const std::string& key() const { return key_; }
  // The template's own texts, when every text a replacement brings next to
  // another is one of them: the template begins and ends with its own text
  // and no two groups meet. Then a text new in the line after a replacement
  // overlaps one of these; otherwise (nothing) it may be anywhere.
  std::optional<std::vector<std::string_view>> insertedPieces() const;
  // The whole match and the groups of the first match in `line`, for
  // explaining a row; empty when it does not match.
  std::vector<std::string> firstMatch(std::string_view line) const;

 private:
  struct Piece {
    int group = -1;    // -1: `text` is the template's own
    std::string text;  // with group -1
  };
  PatternRow() = default;

  std::unique_ptr<re2::RE2> re_;
  const TextCodec* codec_ = nullptr;
  std::vector<Piece> template_;
  int groups_ = 0;  // the highest group the template names
  std::string key_;
  // Of the key, what the codec's own case-insensitive search is sure to find
  // in a line RE2 can match: a search for it costs a fraction of RE2's.
  std::string screenKey_;
  // A pattern that is a literal text, perhaps a group and between word
  // boundaries ("\\b(term)\\b", the glossary's kind), found with the codec's
  // own search, which folds case as RE2 does (the tests compare them), at a
  // fraction of RE2's cost per line.
  struct Literal {
    std::string text;
    bool boundaryBefore = false, boundaryAfter = false;
    bool caseSensitive = true;
  };
  std::optional<Literal> literal_;
  // The next match from `from` on, as RE2 would find it: [start, end).
  bool findLiteral(std::string_view line, std::size_t from, std::size_t& start,
                   std::size_t& end) const;
};

// The template's text without its group references and with "\\" as one
// backslash: what a replacement can put into a line of its own.
std::string templateText(std::string_view replacement);

}  // namespace loom
