// SPDX-License-Identifier: MIT
#pragma once
// The rows of the four tables as stored: UTF-8 text, NULL kept apart from
// the empty text, rows in stored order. Reading them is one snapshot taken in
// one read transaction, so a run sees one consistent set of rules even while
// the desktop grids write to the same file.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "rules/sqlite.h"

namespace loom {

using Text = std::optional<std::string>;  // nullopt is NULL

struct FileTypeRecord {
  std::int64_t rowId = 0;
  Text identifier, description;
  StoredValue titleLine;
  Text endOfLine, beginSection, endSection, groupId;
};

struct GroupRecord {
  std::int64_t rowId = 0;
  Text groupId, header, footer;
};

struct StoredConstraint {
  std::int64_t rowId = 0;
  std::size_t position = 0;  // 1-based place in stored order
  Text fileType;
  StoredValue type;
  Text searchString, replaceString, rFirst, rLast;
  StoredValue caseSensitive;
};

struct SettingRecord {
  Text id, content;
};

struct RuleTables {
  std::vector<FileTypeRecord> fileTypes;
  std::vector<GroupRecord> groups;
  std::vector<StoredConstraint> constraints;
  std::vector<SettingRecord> globalDefs;
};

// One row's values, in the order of its table's columns in rules/schema.h;
// the grids hand over what they show the same way the reader does.
using RowValues = std::span<const StoredValue>;
FileTypeRecord fileTypeFrom(RowValues row);
GroupRecord groupFrom(RowValues row);
StoredConstraint constraintFrom(RowValues row, std::size_t position);

// Reads all four tables. A missing table or column is a LoomError (Rules)
// that names the file, the table and the column.
RuleTables readRuleTables(Database& db);
RuleTables readRuleTables(const std::string& path);

}  // namespace loom
