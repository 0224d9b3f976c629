#include "rules/rule_database.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "base/error.h"
#include "rules/sql_texts.h"
#include "rules/sqlite.h"

namespace loom {

std::string programDirectory() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  const std::string exe(buf, static_cast<std::size_t>(n));
  const std::size_t slash = exe.rfind('/');
  return slash == std::string::npos ? "." : exe.substr(0, slash == 0 ? 1 : slash);
}

std::string defaultRulesPath() { return programDirectory() + "/loomwise.mdb"; }

void createRuleDatabase(const std::string& path, NewDatabaseContents contents,
                        const std::string& encodingRow) {
  if (::access(path.c_str(), F_OK) == 0) {
    throw LoomError(ErrorKind::Usage,
                    "\"" + path + "\" already exists; a new rule database is never written over "
                                  "an existing file");
  }
  // Build the file under a temporary name and link it into place, so that a
  // failure leaves no half-made database and a file that appeared meanwhile
  // is not overwritten.
  const std::string temp = path + ".creating-" + std::to_string(::getpid());
  struct Cleanup {
    const std::string& name;
    ~Cleanup() {
      ::unlink(name.c_str());
      ::unlink((name + "-journal").c_str());
    }
  } cleanup{temp};
  {
    Database db(temp, Database::Mode::Create);
    Transaction transaction(db);
    db.exec(sql::kSchema);
    db.exec(sql::kSettings);
    if (contents == NewDatabaseContents::Bundled) db.exec(sql::kBundled);
    if (!encodingRow.empty()) {
      db.prepare("INSERT INTO GlobalDefs (ID, Content) VALUES ('Encoding', ?1)")
          .bind(1, encodingRow)
          .run();
    }
    transaction.commit();
  }
  if (::link(temp.c_str(), path.c_str()) != 0) {
    throw LoomError(errno == EEXIST ? ErrorKind::Usage : ErrorKind::Io,
                    "Cannot create the rule database \"" + path + "\": " + std::strerror(errno));
  }
}

}  // namespace loom
