#pragma once
// Constraint rows: the kinds, the two fixed markers, and the one way the
// program writes a row (the Constraint Form's save). Texts are UTF-8.

#include <cstddef>
#include <string>
#include <string_view>

namespace loom {

enum class ConstraintType : int {
  SearchReplace = 1,
  RemoveBlock = 2,
  ReplaceFormatting = 3,
  HeaderLine = 4,
};

// The FileType of a row that applies to every input file.
inline constexpr std::string_view kGenericFileType = "GEN";
// An end marker (kinds 2 and 3) that means "to the end of the line"; only
// these five characters exactly, case-sensitive, no spaces around them.
inline constexpr std::string_view kEndOfLineMarker = "(EOL)";
// What the form writes into an operand the kind does not use.
inline constexpr std::string_view kUnusedOperand = " ";

struct ConstraintRow {
  std::string fileType;
  int type = 1;
  std::string searchString;
  std::string replaceString;
  std::string rFirst{kUnusedOperand};
  std::string rLast{kUnusedOperand};
  bool caseSensitive = false;
};

// What the Constraint Form holds when the user saves.
struct ConstraintFormFields {
  ConstraintType kind = ConstraintType::SearchReplace;
  std::string fields[4];  // the four field boxes, as typed
  bool applyToEndOfLine = false;
  bool caseSensitive = false;
  std::string fileType;  // as typed
};

// The row the form saves for its fields. Texts are kept exactly as typed,
// except that the file type is upper-cased (extensions always are, so a row
// in small letters could never apply). A row whose search text or begin
// marker is empty or only spaces is refused with a LoomError (Usage).
ConstraintRow constraintFromForm(const ConstraintFormFields& form);

// Adds one row at the end of Constraints, in one transaction, and returns
// its 1-based place in stored order; a failure adds nothing and is thrown to
// the caller.
std::size_t SaveConstraint(const std::string& rulesPath, const ConstraintRow& row);

}  // namespace loom
