// SPDX-License-Identifier: MIT
#include "rules/sqlite.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>

#include "base/error.h"
#include "base/file_descriptor.h"
#include "base/file_system.h"

namespace loom {
namespace {

std::atomic<std::chrono::milliseconds::rep> busyTimeoutMs{kDefaultBusyTimeout.count()};

LoomError rulesError(const std::string& path, const std::string& what) {
  return LoomError(ErrorKind::Rules, "Rule database \"" + path + "\": " + what);
}

// Says what a file that SQLite cannot open as a database really is. Only a
// regular file is opened at all: SQLite would wait forever reading a FIFO
// that nobody writes, deaf to Ctrl-C, and a device is no database either.
void checkIsSqliteFile(const std::string& path) {
  const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat st {};
  if (fd.get() < 0 && errno != EACCES && errno != ENXIO) {
    throw rulesError(path, std::string("cannot be opened: ") + std::strerror(errno) +
                               ". Create one with 'loomwise-batch --new-rules FILE'.");
  }
  if (fd.get() < 0 ? ::stat(path.c_str(), &st) != 0 : ::fstat(fd.get(), &st) != 0) {
    throw rulesError(path, "cannot be read (permission denied?)");
  }
  if (S_ISDIR(st.st_mode)) throw rulesError(path, "is a directory, not a rule database file");
  if (!S_ISREG(st.st_mode)) {
    throw rulesError(path, std::string("is ") +
                               (S_ISFIFO(st.st_mode)   ? "a FIFO"
                                : S_ISSOCK(st.st_mode) ? "a socket"
                                                       : "a device") +
                               ", not a rule database file; name the database file itself");
  }
  if (fd.get() < 0) throw rulesError(path, "cannot be read (permission denied?)");
  char head[32] = {};
  ssize_t got = 0;
  do {
    got = ::pread(fd.get(), head, sizeof head, 0);
  } while (got < 0 && errno == EINTR);
  if (got < 0) throw rulesError(path, std::string("cannot be read: ") + std::strerror(errno));
  const std::string_view bytes(head, static_cast<std::size_t>(got));
  if (bytes.empty()) throw rulesError(path, "is empty; it holds no rule tables");
  if (bytes.substr(0, 16) == std::string_view("SQLite format 3\0", 16)) return;
  if (bytes.size() >= 19 &&
      (bytes.substr(4, 15) == "Standard Jet DB" || bytes.substr(4, 15) == "Standard ACE DB")) {
    throw rulesError(path,
                     "is a Microsoft Access (Jet) database, which this program cannot read. "
                     "Move its rows into a new rule database made with "
                     "'loomwise-batch --new-rules FILE'.");
  }
  throw rulesError(path,
                   "is not a Loomwise rule database (not an SQLite 3 file) and cannot be "
                   "read");
}

}  // namespace

void setBusyTimeout(std::chrono::milliseconds wait) { busyTimeoutMs = wait.count(); }

std::chrono::milliseconds busyTimeout() { return std::chrono::milliseconds(busyTimeoutMs.load()); }

Database::Database(const std::string& path, Mode mode) : path_(path), db_(nullptr, &sqlite3_close) {
  if (mode != Mode::Create) checkIsSqliteFile(path);
  int flags = mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
  if (mode == Mode::Create) flags |= SQLITE_OPEN_CREATE;
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  db_.reset(raw);
  if (rc != SQLITE_OK) {
    throw rulesError(
        path, std::string("cannot be opened: ") + (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)));
  }
  sqlite3_busy_timeout(raw, static_cast<int>(busyTimeout().count()));
  sqlite3_extended_result_codes(raw, 1);
  // A quoted name that names no column is an error, not a text: a column
  // gone from a table edited by hand must not read as its own name.
  sqlite3_db_config(raw, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
  constexpr const char* kProbe = "SELECT count(*) FROM sqlite_master";
  int probed = SQLITE_ERROR;  // not yet read
  if (mode == Mode::ReadOnly) probed = sqlite3_exec(raw, kProbe, nullptr, nullptr, nullptr);
  if (probed == SQLITE_READONLY_ROLLBACK) {
    // A writer stopped mid-change and left its journal. Only a handle that
    // may write undoes the change from it, as SQLite does at its first read:
    // one is opened for that alone. Without the right to write, fail() says
    // what is needed.
    sqlite3* writer = nullptr;
    if (sqlite3_open_v2(path.c_str(), &writer, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                        nullptr) == SQLITE_OK) {
      sqlite3_busy_timeout(writer, static_cast<int>(busyTimeout().count()));
      sqlite3_exec(writer, kProbe, nullptr, nullptr, nullptr);
    }
    sqlite3_close(writer);
  }
  // A header page that is not a database shows up at the first read, which
  // says what is wrong in a message of its own.
  if (probed != SQLITE_OK) {
    Statement probe(*this, kProbe);
    probe.step();
  }
}

void Database::fail(const std::string& what) const {
  const int code = sqlite3_errcode(db_.get());
  std::string detail = sqlite3_errmsg(db_.get());
  if ((code & 0xFF) == SQLITE_BUSY || (code & 0xFF) == SQLITE_LOCKED) {
    detail =
        "the file is locked by another program that is writing to it; try again when it "
        "has finished";
  } else if ((code & 0xFF) == SQLITE_NOTADB || (code & 0xFF) == SQLITE_CORRUPT) {
    detail = "the file is damaged or is not a rule database (" + detail + ")";
  } else if (code == SQLITE_READONLY_ROLLBACK) {
    // Opening the database found it so and could not undo the change: this
    // user may not write it.
    detail =
        "a program that was changing it stopped part-way (it crashed or was killed) and "
        "left the journal \"" +
        path_ +
        "-journal\". The unfinished change is undone the "
        "next time someone who may write the database and its directory opens it (a run "
        "of Loomwise, or: sqlite3 \"" +
        path_ +
        "\" \"PRAGMA quick_check\"); do not "
        "delete the journal, or the database stays damaged";
  } else if ((code & 0xFF) == SQLITE_READONLY || (code & 0xFF) == SQLITE_CANTOPEN) {
    // SQLite writes a journal file beside the database: a directory that
    // cannot be written stops it as surely as a read-only file.
    if (::access(path_.c_str(), W_OK) != 0) {
      detail = "the file cannot be written (read-only)";
    } else if ((code & 0xFF) == SQLITE_READONLY ||
               ::access(directoryOf(path_).c_str(), W_OK) != 0) {
      detail = "its directory \"" + directoryOf(path_) +
               "\" cannot be written, and changes need a journal file there";
    }
  }
  throw rulesError(path_, what + ": " + detail);
}

void Database::exec(const std::string& sql) {
  char* message = nullptr;
  if (sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    sqlite3_free(message);
    fail("cannot run \"" + sql.substr(0, 60) + "\"");
  }
}

int Database::changes() const { return sqlite3_changes(db_.get()); }

Statement Database::prepare(std::string_view sql) { return Statement(*this, sql); }

bool Database::hasTable(std::string_view table) {
  Statement st(*this,
               "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE");
  st.bind(1, table);
  return st.step();
}

std::vector<std::string> Database::columnNames(std::string_view table) {
  Statement st(*this, "SELECT name FROM pragma_table_info(?1)");
  st.bind(1, table);
  std::vector<std::string> names;
  while (st.step()) names.push_back(st.value(0).text);
  return names;
}

void Database::requireRowOrder(std::string_view table) {
  Statement st(*this,
               "SELECT upper(sql) FROM sqlite_master WHERE type = 'table' AND name = ?1 "
               "COLLATE NOCASE");
  st.bind(1, table);
  if (st.step() && st.value(0).text.find("WITHOUT ROWID") != std::string::npos) {
    throw rulesError(path_, "table " + std::string(table) +
                                " was made WITHOUT ROWID, so its rows have no stored order; make "
                                "it again as an ordinary table");
  }
}

std::optional<std::string> StoredValue::asText() const {
  if (type == ValueType::Null) return std::nullopt;
  if (type == ValueType::Integer) return std::to_string(integer);
  if (type == ValueType::Real) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", real);
    return std::string(buf);
  }
  return text;
}

std::optional<std::int64_t> StoredValue::asInteger() const {
  switch (type) {
    case ValueType::Integer:
      return integer;
    case ValueType::Real:
      if (std::isfinite(real) && std::floor(real) == real && std::fabs(real) < 9.2e18) {
        return static_cast<std::int64_t>(real);
      }
      return std::nullopt;
    case ValueType::Text: {
      const std::size_t first = text.find_first_not_of(' ');
      const std::size_t last = text.find_last_not_of(' ');
      if (first == std::string::npos) return std::nullopt;
      const std::string digits = text.substr(first, last - first + 1);
      // A number too large for 64 bits is no whole number the run can use.
      if (digits.size() > 1 && digits[0] == '+' && digits[1] == '-') return std::nullopt;
      const char* begin = digits.data() + (digits[0] == '+' ? 1 : 0);
      const char* end = digits.data() + digits.size();
      std::int64_t value = 0;
      const auto [stop, error] = std::from_chars(begin, end, value);
      if (error != std::errc() || stop != end) return std::nullopt;
      return value;
    }
    default:
      return std::nullopt;
  }
}

Statement::Statement(Database& db, std::string_view sql)
    : db_(&db), stmt_(nullptr, &sqlite3_finalize) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db.handle(), sql.data(), static_cast<int>(sql.size()), &raw, nullptr) !=
      SQLITE_OK) {
    db.fail("cannot read \"" + std::string(sql.substr(0, 80)) + "\"");
  }
  stmt_.reset(raw);
}

Statement& Statement::bind(int index, std::string_view text) {
  // An empty view may have no data at all, which SQLite would store as NULL;
  // an empty text must stay an empty text.
  const char* data = text.data() ? text.data() : "";
  if (sqlite3_bind_text(stmt_.get(), index, data, static_cast<int>(text.size()),
                        SQLITE_TRANSIENT) != SQLITE_OK) {
    db_->fail("cannot bind a value");
  }
  return *this;
}

Statement& Statement::bind(int index, std::int64_t value) {
  if (sqlite3_bind_int64(stmt_.get(), index, value) != SQLITE_OK) db_->fail("cannot bind a value");
  return *this;
}

Statement& Statement::bind(int index, const std::optional<std::string>& text) {
  return text ? bind(index, std::string_view(*text)) : bindNull(index);
}

Statement& Statement::bindReal(int index, double value) {
  if (sqlite3_bind_double(stmt_.get(), index, value) != SQLITE_OK) db_->fail("cannot bind a value");
  return *this;
}

Statement& Statement::bindNull(int index) {
  if (sqlite3_bind_null(stmt_.get(), index) != SQLITE_OK) db_->fail("cannot bind a value");
  return *this;
}

bool Statement::step() {
  const int rc = sqlite3_step(stmt_.get());
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  db_->fail("cannot run \"" + std::string(sqlite3_sql(stmt_.get())).substr(0, 80) + "\"");
}

void Statement::run() {
  while (step()) {
  }
}

void Statement::reset() {
  sqlite3_reset(stmt_.get());
  sqlite3_clear_bindings(stmt_.get());
}

int Statement::columnCount() const { return sqlite3_column_count(stmt_.get()); }

StoredValue Statement::value(int column) const {
  StoredValue v;
  sqlite3_stmt* s = stmt_.get();
  switch (sqlite3_column_type(s, column)) {
    case SQLITE_INTEGER:
      v.type = ValueType::Integer;
      v.integer = sqlite3_column_int64(s, column);
      break;
    case SQLITE_FLOAT:
      v.type = ValueType::Real;
      v.real = sqlite3_column_double(s, column);
      break;
    case SQLITE_TEXT:
    case SQLITE_BLOB: {
      v.type = sqlite3_column_type(s, column) == SQLITE_TEXT ? ValueType::Text : ValueType::Blob;
      const void* data = v.type == ValueType::Text
                             ? static_cast<const void*>(sqlite3_column_text(s, column))
                             : sqlite3_column_blob(s, column);
      const int size = sqlite3_column_bytes(s, column);
      if (data != nullptr)
        v.text.assign(static_cast<const char*>(data), static_cast<std::size_t>(size));
      break;
    }
    default:
      break;
  }
  return v;
}

std::optional<std::string> Statement::text(int column) const { return value(column).asText(); }

Transaction::Transaction(Database& db, bool immediate) : db_(db) {
  db_.exec(immediate ? "BEGIN IMMEDIATE" : "BEGIN");
}

Transaction::~Transaction() {
  if (!done_) sqlite3_exec(db_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::commit() {
  db_.exec("COMMIT");
  done_ = true;
}

std::string quoteIdentifier(std::string_view name) {
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace loom
