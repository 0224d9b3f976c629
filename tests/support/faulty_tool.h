#pragma once
// Runs the real loomwise-batch for the fault and catalogue tests: exit status,
// what it printed, and what it left in a directory.

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace loom::testing {

struct ToolResult {
  int exitCode = -1;  // 128 + signal number when a signal ended it
  std::string out;
  std::string err;
};

// Runs loomwise-batch with `args`, adding `env` ("NAME=value") to the
// environment; `whileRunning` gets its process id before it is waited for.
ToolResult runBatchTool(const std::vector<std::string>& args,
                        const std::vector<std::string>& env = {},
                        const std::function<void(int pid)>& whileRunning = {});

// Every name in `dir`, hidden ones too, sorted.
std::vector<std::string> directoryNames(const std::string& dir);
// Names of the temporary files a write leaves while it goes (".loomwise-*").
std::vector<std::string> temporaryFiles(const std::string& dir);

}  // namespace loom::testing
