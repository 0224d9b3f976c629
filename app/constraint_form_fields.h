#pragma once
// What the Constraint Form holds, and the row it saves for it. The preview
// converts with the same row, so both take it from here.

#include <string>

#include "convert/constraint_kind.h"
#include "rules/constraint_draft.h"

namespace loom {

// The form's boxes as typed.
struct ConstraintFormFields {
  ConstraintType type = ConstraintType::SearchReplace;
  std::string fields[4];  // the four field boxes, as typed
  bool applyToEndOfLine = false;
  bool caseSensitive = false;
  std::string fileType;  // as typed
};

// The row the form saves for its fields. Texts are kept exactly as typed,
// except that the file type is upper-cased (extensions always are, so a row
// in small letters could never apply). A row whose search text or begin
// marker is empty or only spaces is refused with a LoomError (Usage).
ConstraintDraft constraintFromForm(const ConstraintFormFields& form);

}  // namespace loom
