// SPDX-License-Identifier: MIT
#include "support/run_command.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <stdexcept>

#include "support/temp_dir.h"

extern char** environ;

namespace loom::testing {

CommandResult runCommand(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& env,
                         const std::function<void(int, const std::string&)>& whileRunning) {
  TempDir capture;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  for (const auto& [fd, name] : {std::pair{1, "out"}, std::pair{2, "err"}})
    posix_spawn_file_actions_addopen(&actions, fd, (capture / name).c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<std::string> words{program}, vars;
  words.insert(words.end(), args.begin(), args.end());
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string inherited = *e, name = inherited.substr(0, inherited.find('=') + 1);
    if (std::none_of(env.begin(), env.end(), [&](const auto& v) { return v.starts_with(name); }))
      vars.push_back(inherited);
  }
  vars.insert(vars.end(), env.begin(), env.end());
  const auto pointers = [](std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (std::string& s : strings) result.push_back(s.data());
    result.push_back(nullptr);
    return result;
  };
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, pointers(words).data(),
                             pointers(vars).data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + program);
  if (whileRunning) whileRunning(pid, capture / "out");
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) throw std::runtime_error("lost " + program);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
          readFile(capture / "out"), readFile(capture / "err")};
}

}  // namespace loom::testing
