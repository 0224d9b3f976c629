#include "rules/constraint_draft.h"

#include "base/error.h"
#include "rules/sqlite.h"

namespace loom {

std::size_t SaveConstraint(const std::string& rulesPath, const ConstraintDraft& row) {
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
