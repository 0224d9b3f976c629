// SPDX-License-Identifier: MIT
#pragma once
// The one error type of the core. Every failure that reaches a front end is a
// LoomError whose message a user can act on: it names the file, table, key or
// column at fault. Front ends turn it into a message box or a stderr line and
// an exit code; the core never shows or prints anything itself.

#include <stdexcept>
#include <string>
#include <vector>

namespace loom {

enum class ErrorKind {
  Usage,  // the directory pair or an option is wrong
  Rules,  // the rule database is missing, unreadable or holds a bad value
  Io,     // an input or output file or directory cannot be read or written
};

class LoomError : public std::runtime_error {
 public:
  LoomError(ErrorKind kind, const std::string& message)
      : std::runtime_error(message), kind_(kind) {}
  ErrorKind kind() const { return kind_; }

 private:
  ErrorKind kind_;
};

// The exit status a program ends with after an error of this kind: 2 usage,
// 3 rule database, 4 file or directory (1 is a run that was stopped).
inline int exitCodeFor(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::Usage:
      return 2;
    case ErrorKind::Rules:
      return 3;
    case ErrorKind::Io:
      return 4;
  }
  return 4;
}

// What a problem says is missing, for the few a front end can offer to mend
// (create the directory, add the row); `Nothing` for every other problem.
enum class Missing {
  Nothing,
  OutputDirectory,  // `subject`: the directory's path
  FileTypesRow,     // `subject`: the extension, upper-cased, in UTF-8 as stored
  GroupsRow,        // `subject`: the GroupID a FileTypes row names, in UTF-8
};

// One finding of the pre-run check. The check reports every problem at once
// instead of stopping at the first, so a user can mend them all in one go.
struct Problem {
  ErrorKind kind;
  std::string message;
  Missing missing = Missing::Nothing;
  std::string subject = {};  // what is missing; empty with Missing::Nothing
  std::string column = {};   // the column of a stored row at fault, when there is one
};

// Thrown when the pre-run check found problems; carries all of them.
class ValidationError : public LoomError {
 public:
  explicit ValidationError(std::vector<Problem> problems);
  const std::vector<Problem>& problems() const { return problems_; }

 private:
  std::vector<Problem> problems_;
};

}  // namespace loom
