// SPDX-License-Identifier: MIT
#pragma once
// The four constraint operations, which the conversion runs as they are.
// Cutting a line and replacing a header line change the line in place, so a
// run keeps the line's buffer; the others return the new line. Lines
// and texts are byte strings in the encoding of `codec`; positions and
// "characters" are the codec's. Case-insensitive matching folds every letter
// of the encoding, not only A-Z.
//
// Each operation takes an optional `origin`: the origin of `line` (see
// convert/line_origin.h). When given, it is replaced by the origin of the
// result, in which the texts the row inserts are kFromRule and everything
// kept from the line keeps its origin. Without it the operations do no such
// bookkeeping.

#include <string>
#include <string_view>

#include "base/codec.h"
#include "convert/line_origin.h"
#include "convert/rescan_origin.h"

namespace loom {

// Frees `buffer` when it has held a huge line, so that the lines after it do
// not keep that much memory; any other buffer stays for reuse.
inline void releaseIfHuge(std::string& buffer) {
  if (buffer.capacity() >= kHugeLine) std::string().swap(buffer);
}
inline void releaseIfHuge(LineOrigin& origin) {
  if (origin.capacity() >= kHugeLine) origin = LineOrigin();
}

// The buffers the in-place operations work in, kept by the caller from line
// to line: a row that hits line after line then reuses them instead of
// asking for new memory each time. Whatever they hold is overwritten.
struct OpBuffers {
  std::string spare;       // the next line is built here and swapped with it
  LineOrigin originSpare;  // the same for the line's origin
  OriginPieces pieces;     // the pieces of a rewritten line's origin
  std::string seen;        // a line the cycle check of a formatting row remembers
};

// Replaces every occurrence of `search`, resuming at the hit: after each
// replacement the search starts again at the first character of the text
// just inserted, so each shortening is searched again.
//   ApplySearchReplace("aaaa", "aa", "a") == "a"      (not "aa")
//   ApplySearchReplace("axbxc", "x", "yy") == "ayybyyc"
// A search text that begins with a double (single) quote inserts one double
// (single) quote and ignores `replacement`, so "\"\"" collapses every run of
// double quotes to one. A row whose inserted text itself contains the search
// text would never finish a line; for such rows alone the search resumes
// after the inserted text instead. REQUIRES: `search` is not empty (the
// caller trims both texts of the row); an empty one changes nothing.
std::string ApplySearchReplace(std::string_view line, std::string_view search,
                               std::string_view replacement, bool caseSensitive,
                               const TextCodec& codec = windows1252Codec(),
                               LineOrigin* origin = nullptr);

// How a search-and-replace row goes on after a hit, worked out from its
// texts alone by searchReplaceWay().
struct SearchReplaceWay {
  bool onePass = false;      // one pass from left to right gives the result
  bool resumeAfter = false;  // the search resumes after the inserted text
};

// ApplySearchReplace on `line` itself. The result may be built in `buffers`
// and swapped with the line: a caller that keeps them from line to line
// lets a row that hits line after line reuse them instead of making new
// ones each time. `way`, when given, is searchReplaceWay() of the row,
// which a caller applying the row to many lines works out once.
// Returns whether the search text occurred.
bool SearchReplaceInPlace(std::string& line, OpBuffers& buffers, std::string_view search,
                          std::string_view replacement, bool caseSensitive, const TextCodec& codec,
                          LineOrigin* origin = nullptr, const SearchReplaceWay* way = nullptr);
SearchReplaceWay searchReplaceWay(std::string_view search, std::string_view replacement,
                                  bool caseSensitive, const TextCodec& codec);

// What a search-and-replace row inserts for each hit: one double or single
// quote when the search text begins with one, else the replacement.
std::string_view insertedText(std::string_view search, std::string_view replacement);

// Whether resuming at the hit would never finish a line for this row: the
// inserted text itself holds the search text.
bool searchReplaceNeverEnds(std::string_view search, std::string_view replacement,
                            bool caseSensitive, const TextCodec& codec = windows1252Codec());

// Removes every block from `begin` to the first `end` after the begin
// marker's first character, left to right, both markers included:
//   ApplyRemoveBlock("a[b]c[d]e", "[", "]") == "ace"
//   ApplyRemoveBlock("a[b[c]d]e", "[", "]") == "ad]e"
// An unmatched begin marker stays. With `end` == "(EOL)" this is
// ApplyRemoveToEndOfLine. An empty begin or end marker changes nothing.
std::string ApplyRemoveBlock(std::string_view line, std::string_view begin, std::string_view end,
                             bool caseSensitive, const TextCodec& codec = windows1252Codec(),
                             LineOrigin* origin = nullptr);

// ApplyRemoveBlock on `line` itself; returns whether the line may have
// changed. Nothing is copied when no block occurs.
bool RemoveBlockInPlace(std::string& line, OpBuffers& buffers, std::string_view begin,
                        std::string_view end, bool caseSensitive, const TextCodec& codec,
                        LineOrigin* origin = nullptr);

// Cuts the line at the first `begin` and trims spaces from the result, in
// place; the line is trimmed also when `begin` does not occur:
//   "  ab xxcd" with begin "xx" becomes "ab"
// An empty begin marker changes nothing.
void ApplyRemoveToEndOfLine(std::string& line, std::string_view begin, bool caseSensitive,
                            const TextCodec& codec = windows1252Codec(),
                            LineOrigin* origin = nullptr);

// Replaces the markers of every block and keeps the text between them,
// resuming at the inserted front text:
//   ApplyReplaceFormatting("a*b*c*d*e", "*", "*", cs, "[", "]") == "a[b]c[d]e"
// A block whose end marker starts inside its begin marker gets an empty
// middle. With `end` == "(EOL)" this is ApplyReplaceFormattingToEndOfLine.
// Rows that would never finish a line -- whose front and back texts keep
// making new blocks, or that come back to a line they have had before -- resume
// after the replaced block instead. An empty begin or end marker changes
// nothing.
std::string ApplyReplaceFormatting(std::string_view line, std::string_view begin,
                                   std::string_view end, bool caseSensitive, std::string_view front,
                                   std::string_view back,
                                   const TextCodec& codec = windows1252Codec(),
                                   LineOrigin* origin = nullptr);

// ApplyReplaceFormatting on `line` itself; returns whether a block was
// replaced. `neverEnds` is replaceFormattingNeverEnds() of the row, which a
// caller applying the row to many lines works out once. Nothing is copied
// when no block occurs.
bool ReplaceFormattingInPlace(std::string& line, OpBuffers& buffers, std::string_view begin,
                              std::string_view end, bool caseSensitive, std::string_view front,
                              std::string_view back, bool neverEnds, const TextCodec& codec,
                              LineOrigin* origin = nullptr);

// Whether a formatting row makes a new block out of its own front and back
// texts after every rewrite, so that resuming at the front text would never
// finish a line with a block.
bool replaceFormattingNeverEnds(std::string_view begin, std::string_view end,
                                std::string_view front, std::string_view back, bool caseSensitive,
                                const TextCodec& codec = windows1252Codec());

// Replaces the first `begin` with `front` and appends `back` at the end of
// the line; a line without `begin` is returned unchanged:
//   ApplyReplaceFormattingToEndOfLine("k:ak:b", "k:", cs, "[", "]") == "[ak:b]"
std::string ApplyReplaceFormattingToEndOfLine(std::string_view line, std::string_view begin,
                                              bool caseSensitive, std::string_view front,
                                              std::string_view back,
                                              const TextCodec& codec = windows1252Codec(),
                                              LineOrigin* origin = nullptr);

// Replaces the line, in place, with `replacement` exactly as given when the
// line, trimmed of spaces, equals `header` trimmed of spaces,
// case-sensitively; returns whether it did:
//   "  Contents " with header "Contents" becomes "<H2>Contents</H2>"
bool ApplyHeaderLine(std::string& line, std::string_view header, std::string_view replacement,
                     LineOrigin* origin = nullptr);

}  // namespace loom
