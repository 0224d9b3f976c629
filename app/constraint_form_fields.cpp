// SPDX-License-Identifier: MIT
#include "app/constraint_form_fields.h"

#include "base/codec.h"
#include "base/error.h"
#include "base/text.h"

namespace loom {

std::optional<MissingFormField> missingFormField(const ConstraintFormFields& form) {
  using Which = MissingFormField::Which;
  if (trimSpaces(form.fields[0]).empty()) {
    const char* what = form.type == ConstraintType::SearchReplace ? "the text to search for"
                       : form.type == ConstraintType::HeaderLine  ? "the text of the header line"
                       : form.type == ConstraintType::PatternReplace
                           ? "the pattern"
                           : "the text marking the beginning";
    return MissingFormField{Which::FirstField, std::string("Please enter ") + what +
                                                   " in the first field; a constraint without "
                                                   "it can never apply."};
  }
  // A row without a file type applies to no file.
  if (trimSpaces(form.fileType).empty()) {
    return MissingFormField{Which::FileType,
                            "Please enter the extension of the files the constraint is for, or "
                            "GEN for every file."};
  }
  return std::nullopt;
}

ConstraintDraft constraintFromForm(const ConstraintFormFields& form) {
  if (const std::optional<MissingFormField> missing = missingFormField(form)) {
    throw LoomError(ErrorKind::Usage, missing->message);
  }
  ConstraintDraft row;
  row.type = static_cast<int>(form.type);
  row.searchString = form.fields[0];
  const bool endOfLine = form.applyToEndOfLine && (form.type == ConstraintType::RemoveBlock ||
                                                   form.type == ConstraintType::ReplaceFormatting);
  row.replaceString = endOfLine ? std::string(kEndOfLineMarker) : form.fields[1];
  if (form.type == ConstraintType::ReplaceFormatting) {
    row.rFirst = form.fields[2];
    row.rLast = form.fields[3];
  }
  row.caseSensitive = form.caseSensitive;
  row.fileType = utf8Codec().upper(form.fileType);
  return row;
}

}  // namespace loom
