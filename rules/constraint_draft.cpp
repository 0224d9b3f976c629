// SPDX-License-Identifier: MIT
#include "rules/constraint_draft.h"

#include "base/error.h"
#include "rules/schema.h"
#include "rules/sqlite.h"

namespace loom {

std::size_t SaveConstraint(const std::string& rulesPath, const ConstraintDraft& row) {
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
