#pragma once
// Runs a program the way a script would, and keeps what it printed.

#include <string>
#include <vector>

namespace loom::testing {

struct CommandResult {
  int exitCode = -1;  // -1: did not exit normally
  std::string out;
  std::string err;
};

// Runs `program` with `args` (no shell, so blanks stay inside arguments),
// with no standard input.
CommandResult runCommand(const std::string& program, const std::vector<std::string>& args);

}  // namespace loom::testing
