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

// Runs `program` with `args` (no shell, no standard input), adding `env`
// ("NAME=value", replacing an inherited one). `whileRunning` gets the process
// id and the file its standard output goes to; the program must end after it.
CommandResult runCommand(
    const std::string& program, const std::vector<std::string>& args,
    const std::vector<std::string>& env = {},
    const std::function<void(int pid, const std::string& outFile)>& whileRunning = {});

}  // namespace loom::testing
