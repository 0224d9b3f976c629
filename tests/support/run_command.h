// SPDX-License-Identifier: MIT
#pragma once
// Runs a program (mostly loomwise-batch) the way a script would, keeping what it printed.

#include <functional>
#include <string>
#include <vector>

namespace loom::testing {

inline const std::string kBatch = LOOMWISE_BATCH_PATH;

struct CommandResult {
  int exitCode = -1;  // 128 + signal number when a signal ended it
  std::string out;
  std::string err;
};

// Runs `program` with `args` (no shell, no stdin) and `env` ("NAME=value", replacing inherited
// ones); `whileRunning` gets the process id and the file of its stdout; the program must end then.
CommandResult runCommand(
    const std::string& program, const std::vector<std::string>& args,
    const std::vector<std::string>& env = {},
    const std::function<void(int pid, const std::string& outFile)>& whileRunning = {});

}  // namespace loom::testing
