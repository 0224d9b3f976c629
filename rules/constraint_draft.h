// SPDX-License-Identifier: MIT
#pragma once
// A constraint row as the program writes it (the Constraint Form's save):
// texts in UTF-8, exactly as they are stored.

#include <cstddef>
#include <string>
#include <string_view>

namespace loom {

// The FileType of a row that applies to every input file.
inline constexpr std::string_view kGenericFileType = "GEN";
// What the form writes into an operand the kind does not use.
inline constexpr std::string_view kUnusedOperand = " ";

struct ConstraintDraft {
  std::string fileType;
  int type = 1;  // a ConstraintType (convert/constraint_kind.h)
  std::string searchString;
  std::string replaceString;
  std::string rFirst{kUnusedOperand};
  std::string rLast{kUnusedOperand};
  bool caseSensitive = false;
};

// Adds one row at the end of Constraints, in one transaction, and returns
// its 1-based place in stored order; a failure adds nothing and is thrown to
// the caller.
std::size_t SaveConstraint(const std::string& rulesPath, const ConstraintDraft& row);

}  // namespace loom
