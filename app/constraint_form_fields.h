// SPDX-License-Identifier: MIT
#pragma once
// What the Constraint Form holds, and the row it saves for it. The preview
// converts with the same row, so both take it from here.

#include <optional>
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

// A text the form cannot save without, left empty or only spaces: which
// (the first field box, or the file type) and what to do about it.
struct MissingFormField {
  enum class Which { FirstField, FileType };
  Which which;
  std::string message;
};
// The first field box is looked at first; nothing when neither is missing.
std::optional<MissingFormField> missingFormField(const ConstraintFormFields& form);

// The row the form saves for its fields. Texts are kept exactly as typed,
// except that the file type is upper-cased (extensions always are, so a row
// in small letters could never apply). A row with a missing field
// (missingFormField) is refused with a LoomError (Usage) of its message.
ConstraintDraft constraintFromForm(const ConstraintFormFields& form);

}  // namespace loom
