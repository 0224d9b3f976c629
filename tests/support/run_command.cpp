#include "support/run_command.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <stdexcept>

#include "support/temp_dir.h"

extern char** environ;

namespace loom::testing {
namespace {

std::vector<char*> pointers(std::vector<std::string>& words) {
  std::vector<char*> result;
  for (std::string& w : words) result.push_back(w.data());
  result.push_back(nullptr);
  return result;
}

pid_t start(const std::string& program, const std::vector<std::string>& args,
            const std::vector<std::string>& env, const std::string& outPath,
            const std::string& errPath) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  for (const auto& [fd, path] : {std::pair{1, &outPath}, std::pair{2, &errPath}}) {
    posix_spawn_file_actions_addopen(&actions, fd, path->c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
  }
  std::vector<std::string> words{program};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<std::string> vars;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string inherited = *e;
    const std::string name = inherited.substr(0, inherited.find('=') + 1);
    if (std::none_of(env.begin(), env.end(), [&](const auto& v) { return v.rfind(name, 0) == 0; }))
      vars.push_back(inherited);
  }
  vars.insert(vars.end(), env.begin(), env.end());
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, pointers(words).data(),
                             pointers(vars).data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + program);
  return pid;
}

CommandResult wait(int pid, const std::string& outPath, const std::string& errPath) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) throw std::runtime_error("lost a program");
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), readFile(outPath),
          readFile(errPath)};
}

}  // namespace

CommandResult runCommand(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& env,
                         const std::function<void(int pid)>& whileRunning) {
  TempDir capture;
  const pid_t pid = start(program, args, env, capture / "out", capture / "err");
  if (whileRunning) whileRunning(pid);
  return wait(pid, capture / "out", capture / "err");
}

RunningCommand::RunningCommand(const std::string& program, const std::vector<std::string>& args,
                               const std::string& capture)
    : outPath_(capture + "/out"), errPath_(capture + "/err") {
  pid_ = start(program, args, {}, outPath_, errPath_);
}

RunningCommand::~RunningCommand() {
  if (pid_ > 0) stop(SIGKILL);
}

std::string RunningCommand::out() const { return readFile(outPath_); }
std::string RunningCommand::err() const { return readFile(errPath_); }

CommandResult RunningCommand::stop(int signal) {
  ::kill(pid_, signal);
  const int pid = pid_;
  pid_ = -1;
  return wait(pid, outPath_, errPath_);
}

}  // namespace loom::testing
