#include "rules/constraint_row.h"

#include "base/codec.h"
#include "base/error.h"
#include "base/text.h"
#include "rules/sqlite.h"

namespace loom {

ConstraintRow constraintFromForm(const ConstraintFormFields& form) {
  if (trimSpaces(form.fields[0]).empty()) {
    const char* what = form.kind == ConstraintType::SearchReplace ? "the text to search for"
                       : form.kind == ConstraintType::HeaderLine  ? "the text of the header line"
                                                                 : "the text marking the beginning";
    throw LoomError(ErrorKind::Usage, std::string("Please enter ") + what +
                                          " in the first field; a constraint without it can "
                                          "never apply.");
  }
  ConstraintRow row;
  row.type = static_cast<int>(form.kind);
  row.searchString = form.fields[0];
  const bool endOfLine = form.applyToEndOfLine && (form.kind == ConstraintType::RemoveBlock ||
                                                   form.kind == ConstraintType::ReplaceFormatting);
  row.replaceString = endOfLine ? std::string(kEndOfLineMarker) : form.fields[1];
  if (form.kind == ConstraintType::ReplaceFormatting) {
    row.rFirst = form.fields[2];
    row.rLast = form.fields[3];
  }
  row.caseSensitive = form.caseSensitive;
  row.fileType = utf8Codec().upper(form.fileType);
  return row;
}

std::size_t SaveConstraint(const std::string& rulesPath, const ConstraintRow& row) {
  Database db(rulesPath, Database::Mode::ReadWrite);
  if (!db.hasTable("Constraints")) {
    throw LoomError(ErrorKind::Rules,
                    "Rule database \"" + rulesPath + "\" has no table Constraints");
  }
  Transaction transaction(db);
  db.prepare(
        "INSERT INTO Constraints (\"Search String\", \"Replace String\", Type, Rfirst, RLast, "
        "CaseSensitive, Filetype) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)")
      .bind(1, row.searchString)
      .bind(2, row.replaceString)
      .bind(3, static_cast<std::int64_t>(row.type))
      .bind(4, row.rFirst)
      .bind(5, row.rLast)
      .bind(6, static_cast<std::int64_t>(row.caseSensitive ? 1 : 0))
      .bind(7, row.fileType)
      .run();
  std::size_t position = 0;
  {
    Statement place =
        db.prepare("SELECT COUNT(*) FROM Constraints WHERE rowid <= last_insert_rowid()");
    place.step();
    position = static_cast<std::size_t>(place.value(0).integer);
  }
  transaction.commit();
  return position;
}

}  // namespace loom
