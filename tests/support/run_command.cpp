#include "support/run_command.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <stdexcept>

#include "support/temp_dir.h"

extern char** environ;

namespace loom::testing {

namespace {

pid_t start(const std::string& program, const std::vector<std::string>& args,
            const std::string& outPath, const std::string& errPath) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  std::vector<std::string> words{program};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + program);
  return pid;
}

}  // namespace

CommandResult runCommand(const std::string& program, const std::vector<std::string>& args) {
  TempDir capture;
  const std::string outPath = capture / "out";
  const std::string errPath = capture / "err";
  const pid_t pid = start(program, args, outPath, errPath);
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) throw std::runtime_error("lost " + program);
  CommandResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = readFile(outPath);
  result.err = readFile(errPath);
  return result;
}

RunningCommand::RunningCommand(const std::string& program, const std::vector<std::string>& args,
                               const std::string& capture)
    : outPath_(capture + "/out"), errPath_(capture + "/err") {
  pid_ = start(program, args, outPath_, errPath_);
}

RunningCommand::~RunningCommand() {
  if (pid_ > 0) stop(SIGKILL);
}

std::string RunningCommand::out() const { return readFile(outPath_); }
std::string RunningCommand::err() const { return readFile(errPath_); }

CommandResult RunningCommand::stop(int signal) {
  ::kill(pid_, signal);
  int status = 0;
  const bool ended = waitpid(pid_, &status, 0) == pid_;
  pid_ = -1;
  if (!ended) throw std::runtime_error("lost a program");
  CommandResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = readFile(outPath_);
  result.err = readFile(errPath_);
  return result;
}

}  // namespace loom::testing
