#include "support/faulty_tool.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "support/temp_dir.h"

extern char** environ;

namespace loom::testing {

ToolResult runBatchTool(const std::vector<std::string>& args, const std::vector<std::string>& env,
                        const std::function<void(int pid)>& whileRunning) {
  TempDir capture;
  const std::string outPath = capture / "out";
  const std::string errPath = capture / "err";
  std::vector<std::string> argStrings{LOOMWISE_BATCH_PATH};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argStrings) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> envStrings;
  // A variable given in `env` replaces the one inherited.
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string inherited = *e;
    const std::string name = inherited.substr(0, inherited.find('=') + 1);
    if (std::none_of(env.begin(), env.end(),
                     [&](const std::string& v) { return v.rfind(name, 0) == 0; })) {
      envStrings.push_back(inherited);
    }
  }
  envStrings.insert(envStrings.end(), env.begin(), env.end());
  std::vector<char*> envp;
  for (std::string& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(126);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  if (whileRunning) whileRunning(pid);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
  }
  ToolResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = readFile(outPath);
  result.err = readFile(errPath);
  return result;
}

std::vector<std::string> directoryNames(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ignored)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> temporaryFiles(const std::string& dir) {
  std::vector<std::string> names = directoryNames(dir);
  std::erase_if(names, [](const std::string& n) { return n.rfind(".loomwise-", 0) != 0; });
  return names;
}

}  // namespace loom::testing
