// SPDX-License-Identifier: MIT
#pragma once
// The kinds of constraint row and the marker the operations read in an end
// marker: what a conversion needs to know of a row beyond its texts.

#include <string_view>

namespace loom {

enum class ConstraintType : int {
  SearchReplace = 1,
  RemoveBlock = 2,
  ReplaceFormatting = 3,
  HeaderLine = 4,
  PatternReplace = 5,  // a regular expression and a template (convert/pattern_row.h)
};

inline constexpr int kLastConstraintType = 5;

// An end marker (kinds 2 and 3) that means "to the end of the line"; only
// these five characters exactly, case-sensitive, no spaces around them.
inline constexpr std::string_view kEndOfLineMarker = "(EOL)";

}  // namespace loom
