// SPDX-License-Identifier: MIT
#pragma once
// Thin owning wrappers over the SQLite C API. Every failure becomes a
// LoomError of kind Rules whose message names the rule database file.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The C API's handles, declared here so that only rules/sqlite.cpp sees
// the C API itself.
struct sqlite3;
struct sqlite3_stmt;

namespace loom {

class Statement;

// How long a handle waits for another program that is writing the file
// before it gives up with "locked by another program". One setting for the
// whole process, read as each handle opens (the Setup window's connection
// too); people get the default, tests shorten it.
inline constexpr std::chrono::milliseconds kDefaultBusyTimeout{5000};
void setBusyTimeout(std::chrono::milliseconds wait);
std::chrono::milliseconds busyTimeout();

class Database {
 public:
  enum class Mode { ReadOnly, ReadWrite, Create };
  // Opens the rule database at `path`. ReadOnly and ReadWrite require an
  // existing SQLite file and say clearly when the file is missing or is
  // something else (an Access .mdb from the Windows program, say). A second
  // handle on a file that another handle is writing waits up to busyTimeout()
  // for it instead of failing at once.
  Database(const std::string& path, Mode mode);
  Database(const Database&) = delete;  // one owner closes the handle
  Database& operator=(const Database&) = delete;

  const std::string& path() const { return path_; }

  void exec(const std::string& sql);
  // Rows changed by the last INSERT, UPDATE or DELETE.
  int changes() const;
  Statement prepare(std::string_view sql);
  bool hasTable(std::string_view table);
  // The names of the columns of `table` as stored; none when there is no
  // such table.
  std::vector<std::string> columnNames(std::string_view table);
  // A table made WITHOUT ROWID has no stored order of its rows; throws a
  // LoomError (Rules) naming it.
  void requireRowOrder(std::string_view table);

  // Message for the last error of this handle, naming the file and `what`.
  [[noreturn]] void fail(const std::string& what) const;

 private:
  friend class Statement;
  friend class Transaction;
  sqlite3* handle() const { return db_.get(); }

  std::string path_;
  std::unique_ptr<sqlite3, int (*)(sqlite3*)> db_;
};

// What a stored value is, as SQLite keeps it.
enum class ValueType { Null, Integer, Real, Text, Blob };

// A value read from a column: NULL stays distinct from the empty text.
struct StoredValue {
  ValueType type = ValueType::Null;
  std::int64_t integer = 0;
  double real = 0;
  std::string text;  // text, or the blob's bytes
  bool isNull() const { return type == ValueType::Null; }
  std::optional<std::string> asText() const;
  // The value as a whole number: an integer, a real without fraction, or a
  // text that spells one (blanks around it allowed); nothing otherwise.
  std::optional<std::int64_t> asInteger() const;
};

class Statement {
 public:
  Statement(Database& db, std::string_view sql);
  Statement(Statement&&) = default;

  Statement& bind(int index, std::string_view text);
  Statement& bind(int index, const std::string& text) {
    return bind(index, std::string_view(text));
  }
  Statement& bind(int index, const char* text) { return bind(index, std::string_view(text)); }
  Statement& bind(int index, std::int64_t value);
  Statement& bind(int index, const std::optional<std::string>& text);
  Statement& bindNull(int index);
  Statement& bindReal(int index, double value);
  // Steps once: true while a row is available, false when done.
  bool step();
  void run();  // steps to completion
  void reset();

  int columnCount() const;
  StoredValue value(int column) const;
  std::optional<std::string> text(int column) const;

 private:
  Database* db_;
  std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> stmt_;
};

// Runs a transaction: commits when `commit()` is called, rolls back when it
// is destroyed without, so that a failure half-way writes nothing.
class Transaction {
 public:
  explicit Transaction(Database& db, bool immediate = true);
  ~Transaction();
  Transaction(const Transaction&) = delete;  // one transaction, one end
  Transaction& operator=(const Transaction&) = delete;
  void commit();

 private:
  Database& db_;
  bool done_ = false;
};

std::string quoteIdentifier(std::string_view name);

}  // namespace loom
