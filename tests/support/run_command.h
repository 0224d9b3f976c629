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
  // Sends `signal` and waits for the end.
  CommandResult stop(int signal);

 private:
  int pid_ = -1;
  std::string outPath_, errPath_;
};

}  // namespace loom::testing
