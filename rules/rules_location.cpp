// SPDX-License-Identifier: MIT
#include "rules/rules_location.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

#include "base/error.h"
#include "base/file_system.h"
#include "rules/rule_database.h"

namespace loom {
namespace {

constexpr const char* kFileName = "loomwise.mdb";

std::string join(const std::string& dir, const std::string& name) {
  return !dir.empty() && dir.back() == '/' ? dir + name : dir + "/" + name;
}

LoomError cannotMake(const std::string& path, const std::string& why) {
  return LoomError(ErrorKind::Rules, "Cannot make your rule database \"" + path + "\": " + why);
}

// Creates the missing directories of `dir`, private to the user as the XDG
// directories are meant to be.
void makeDirectories(const std::string& dir, const std::string& forFile) {
  struct stat st {};
  if (dir.empty() || ::stat(dir.c_str(), &st) == 0) return;
  makeDirectories(directoryOf(dir), forFile);
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
    throw cannotMake(forFile,
                     "cannot create the directory \"" + dir + "\": " + std::strerror(errno));
  }
}

void copyNew(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  if (!in.is_open()) {
    throw cannotMake(to, "cannot read the bundled rules \"" + from + "\": " + std::strerror(errno));
  }
  std::ostringstream bytes;
  bytes << in.rdbuf();
  const std::string data = std::move(bytes).str();
  // Written under a temporary name and linked into place: a failure leaves
  // no half-made database, and a copy another start made meanwhile stays.
  const std::string temp = to + ".creating-" + std::to_string(::getpid());
  struct File {
    const std::string& name;
    int fd;
    ~File() {
      if (fd >= 0) ::close(fd);
      ::unlink(name.c_str());
    }
  } file{temp, ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)};
  if (file.fd < 0) throw cannotMake(to, std::strerror(errno));
  for (std::size_t done = 0; done < data.size();) {
    const ssize_t n = ::write(file.fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw cannotMake(to, std::strerror(n < 0 ? errno : ENOSPC));
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(file.fd) != 0) throw cannotMake(to, std::strerror(errno));
  if (::close(std::exchange(file.fd, -1)) != 0) throw cannotMake(to, std::strerror(errno));
  if (::link(temp.c_str(), to.c_str()) != 0 && errno != EEXIST) {
    throw cannotMake(to, std::strerror(errno));
  }
}

}  // namespace

RulesPlaces rulesPlacesOfThisProcess() {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  return {programDirectory(), dataHome ? dataHome : "", home ? home : ""};
}

RulesChoice chooseRules(const std::optional<std::string>& option, const RulesPlaces& places,
                        const FileSystem& fs) {
  if (option) return {*option, RulesSource::Option, false, ""};
  const std::string beside = join(places.programDir, kFileName);
  const bool besideExists = fs.kind(beside) == PathKind::RegularFile;
  if (besideExists && fs.isWritableDirectory(places.programDir)) {
    return {beside, RulesSource::BesideProgram, false, ""};
  }
  // A relative $XDG_DATA_HOME is to be ignored, like an unset one.
  std::string dataHome;
  if (!places.dataHome.empty() && places.dataHome.front() == '/') {
    dataHome = places.dataHome;
  } else if (!places.home.empty()) {
    dataHome = join(places.home, ".local/share");
  } else {
    throw LoomError(ErrorKind::Rules,
                    "The rule database beside the program cannot be used and neither HOME nor "
                    "XDG_DATA_HOME names a directory for your own: set one of them (loomwise-batch "
                    "also takes --rules FILE)");
  }
  RulesChoice choice{join(join(dataHome, "loomwise"), kFileName), RulesSource::UserData, false, ""};
  choice.toCreate = fs.kind(choice.path) == PathKind::Missing;
  // The copy beside the program is what an older install used, so a user's
  // own copy starts from it; a package has its bundled rules in share/.
  const std::string shared = join(directoryOf(places.programDir), "share/loomwise/loomwise.mdb");
  if (besideExists) {
    choice.createFrom = beside;
  } else if (fs.kind(shared) == PathKind::RegularFile) {
    choice.createFrom = shared;
  }
  return choice;
}

void prepareRules(const RulesChoice& choice) {
  if (choice.source != RulesSource::UserData || ::access(choice.path.c_str(), F_OK) == 0) return;
  makeDirectories(directoryOf(choice.path), choice.path);
  if (!choice.createFrom.empty()) {
    copyNew(choice.createFrom, choice.path);
    return;
  }
  try {
    // Made for text of this platform, as --new-rules makes one: the rules of
    // the examples were written for text of another.
    createRuleDatabase(choice.path, NewDatabaseContents::OwnText, platformSettings());
  } catch (const LoomError&) {
    // Another start may have made it meanwhile; that one is as good.
    if (::access(choice.path.c_str(), F_OK) != 0) throw;
  }
}

std::string describeRules(const RulesChoice& choice) {
  std::string line = "Rule database: " + choice.path;
  switch (choice.source) {
    case RulesSource::Option:
      return line + " (given with --rules)";
    case RulesSource::BesideProgram:
      return line + " (beside the program)";
    case RulesSource::UserData:
      break;
  }
  return line + " (your own copy, made " +
         (choice.createFrom.empty() ? std::string("for text of this platform as --new-rules does")
                                    : "from the bundled rules " + choice.createFrom) +
         " when it is missing)";
}

std::string rulesInUseLine(const std::optional<std::string>& option) {
  try {
    return describeRules(chooseRules(option, rulesPlacesOfThisProcess(), *makePosixFileSystem()));
  } catch (const LoomError& e) {
    return e.what();
  }
}

}  // namespace loom
