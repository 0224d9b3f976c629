// SPDX-License-Identifier: MIT
#pragma once
// The layout of a rule database, written down once: its four tables, their
// columns in stored order, what each column holds, and which column keys a
// row. The reader, the rules file export and import, the checks and the
// Setup window's grids all work from this description; data/schema.sql
// creates exactly this layout.

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace loom {

class Database;

// What a column holds. Every column may also hold NULL: the stored layout
// refuses nothing, and the run says which NULLs it cannot use.
enum class ColumnKind {
  Text,
  WholeNumber,
  Boolean,  // a whole number read as no (0) or yes (any other)
};

struct ColumnDef {
  std::string_view name;
  ColumnKind kind = ColumnKind::Text;
};

struct TableDef {
  std::string_view name;
  // The column that identifies a row: the hidden RowKey counter, which is
  // not one of `columns` and never read as a rule, or a column of the rule.
  std::string_view key;
  // The columns a row of rules is made of, in stored order.
  std::span<const ColumnDef> columns;

  constexpr bool keyIsRuleColumn() const { return indexOf(key) < columns.size(); }
  // The place of `column` in `columns`, or columns.size() when it is none.
  constexpr std::size_t indexOf(std::string_view column) const {
    std::size_t i = 0;
    while (i < columns.size() && columns[i].name != column) ++i;
    return i;
  }
};

namespace schema {

// The counter that keeps the stored order of a table of rules and lets the
// grids address a row even when two rows hold the same values.
inline constexpr std::string_view kRowKey = "RowKey";

inline constexpr ColumnDef kIdentifier{"Identifier"};
inline constexpr ColumnDef kDescription{"Description"};
inline constexpr ColumnDef kTitleLine{"Title Line", ColumnKind::WholeNumber};
inline constexpr ColumnDef kEndOfLine{"End of Line"};
inline constexpr ColumnDef kBeginSection{"BeginSection"};
inline constexpr ColumnDef kEndSection{"EndSection"};
inline constexpr ColumnDef kGroupId{"GroupID"};
inline constexpr ColumnDef kHeader{"Header"};
inline constexpr ColumnDef kFooter{"Footer"};
inline constexpr ColumnDef kFileType{"FileType"};
inline constexpr ColumnDef kType{"Type", ColumnKind::WholeNumber};
inline constexpr ColumnDef kSearchString{"Search String"};
inline constexpr ColumnDef kReplaceString{"Replace String"};
inline constexpr ColumnDef kRFirst{"RFirst"};
inline constexpr ColumnDef kRLast{"RLast"};
inline constexpr ColumnDef kCaseSensitive{"CaseSensitive", ColumnKind::Boolean};
inline constexpr ColumnDef kId{"ID"};
inline constexpr ColumnDef kContent{"Content"};

inline constexpr std::array kFileTypesColumns = {
    kIdentifier, kDescription, kTitleLine, kEndOfLine, kBeginSection, kEndSection, kGroupId};
inline constexpr std::array kGroupsColumns = {kGroupId, kHeader, kFooter};
inline constexpr std::array kConstraintsColumns = {kFileType, kType,  kSearchString, kReplaceString,
                                                   kRFirst,   kRLast, kCaseSensitive};
inline constexpr std::array kGlobalDefsColumns = {kId, kContent};

inline constexpr TableDef kFileTypes{"FileTypes", kRowKey, kFileTypesColumns};
inline constexpr TableDef kGroups{"Groups", kRowKey, kGroupsColumns};
inline constexpr TableDef kConstraints{"Constraints", kRowKey, kConstraintsColumns};
// The settings: one row for each ID.
inline constexpr TableDef kGlobalDefs{"GlobalDefs", kId.name, kGlobalDefsColumns};

// In the order the rules file lists them.
inline constexpr std::array kTables = {kFileTypes, kGroups, kConstraints, kGlobalDefs};

}  // namespace schema

// "INSERT INTO <table> (<columns>) VALUES (?1, ...)": a row of rules, its
// values bound in the order of the table's columns.
std::string insertSql(const TableDef& table);

// Throws a LoomError (Rules) naming the file when `db` has no table `table`,
// for a hand-edited or foreign file.
void requireTable(Database& db, const TableDef& table);

}  // namespace loom
