#pragma once
// Runs a program (by default loomwise-batch) the way a script would, and
// keeps what it printed.

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
// ("NAME=value", replacing an inherited one); `whileRunning` gets its process
// id before it is waited for.
CommandResult runCommand(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& env = {},
                         const std::function<void(int pid)>& whileRunning = {});
inline CommandResult batch(const std::vector<std::string>& args,
                           const std::vector<std::string>& env = {},
                           const std::function<void(int pid)>& whileRunning = {}) {
  return runCommand(kBatch, args, env, whileRunning);
}

// A program left running, its output going to files in `capture`, so that a
// test can look at it while it runs. Killed, if still running, when destroyed.
class RunningCommand {
 public:
  RunningCommand(const std::string& program, const std::vector<std::string>& args,
                 const std::string& capture);
  ~RunningCommand();
  RunningCommand(const RunningCommand&) = delete;  // one owner waits for it
  RunningCommand& operator=(const RunningCommand&) = delete;
  std::string out() const;
  std::string err() const;
  CommandResult stop(int signal);  // sends `signal` and waits for the end

 private:
  int pid_ = -1;
  std::string outPath_, errPath_;
};

}  // namespace loom::testing
