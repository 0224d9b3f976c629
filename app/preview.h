// SPDX-License-Identifier: MIT
#pragma once
// The Constraint Form's live preview: a sample text converted by the row
// being defined, after the saved rows of the same file type and "GEN".

#include <string>
#include <string_view>

#include "app/constraint_form_fields.h"

namespace loom {

struct PreviewResult {
  bool ok = false;
  std::string text;  // UTF-8, the sample's lines as converted, joined by "\n"
  // When there is no result: why, in words for the user; with the result of
  // a pattern row: what its first match and groups took.
  std::string note;
};

// Converts each line of `sampleUtf8` (lines separated by "\n") with the saved
// rows of `form.fileType` (upper-cased) and "GEN" in stored order, then with
// the row the form would save; no header, tags or trimming of the page.
// Writes nothing. A row with no search text, a row that would never finish a
// line, unreadable rules, or a sample the rules' encoding cannot hold give a
// note instead of a result.
PreviewResult previewConstraint(const std::string& rulesPath, const ConstraintFormFields& form,
                                std::string_view sampleUtf8);

}  // namespace loom
