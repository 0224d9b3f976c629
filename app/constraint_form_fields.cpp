#include "app/constraint_form_fields.h"

#include "base/codec.h"
#include "base/error.h"
#include "base/text.h"

namespace loom {

ConstraintDraft constraintFromForm(const ConstraintFormFields& form) {
  if (trimSpaces(form.fields[0]).empty()) {
    const char* what = form.type == ConstraintType::SearchReplace ? "the text to search for"
                       : form.type == ConstraintType::HeaderLine  ? "the text of the header line"
                       : form.type == ConstraintType::PatternReplace
                           ? "the pattern"
                           : "the text marking the beginning";
    throw LoomError(ErrorKind::Usage, std::string("Please enter ") + what +
                                          " in the first field; a constraint without it can "
                                          "never apply.");
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
