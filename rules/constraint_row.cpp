#include "rules/constraint_row.h"

#include "base/codec.h"
#include "base/error.h"
#include "base/text.h"
#include "rules/schema.h"
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
  using namespace schema;
  Database db(rulesPath, Database::Mode::ReadWrite);
  requireTable(db, kConstraints);
  Transaction transaction(db);
  auto at = [](const ColumnDef& column) {
    return static_cast<int>(kConstraints.indexOf(column.name)) + 1;
  };
  db.prepare(insertSql(kConstraints))
      .bind(at(kFileType), row.fileType)
      .bind(at(kType), static_cast<std::int64_t>(row.type))
      .bind(at(kSearchString), row.searchString)
      .bind(at(kReplaceString), row.replaceString)
      .bind(at(kRFirst), row.rFirst)
      .bind(at(kRLast), row.rLast)
      .bind(at(kCaseSensitive), static_cast<std::int64_t>(row.caseSensitive ? 1 : 0))
      .run();
  std::size_t position = 0;
  {
    Statement place = db.prepare("SELECT COUNT(*) FROM " + quoteIdentifier(kConstraints.name) +
                                 " WHERE rowid <= last_insert_rowid()");
    place.step();
    position = static_cast<std::size_t>(place.value(0).integer);
  }
  transaction.commit();
  return position;
}

}  // namespace loom
