// SPDX-License-Identifier: MIT
#pragma once
// Which rule database a front end uses when no --rules FILE is given. In a
// directory the user can write (a build tree, an install in their home) it is
// loomwise.mdb beside the program, as it always was. An installed program
// lives where the user cannot write (/usr/bin), so there the user gets their
// own copy in the XDG data directory, made from the bundled rules the first
// time it is needed, and edits that one.

#include <optional>
#include <string>

#include "base/file_system.h"

namespace loom {

// What the choice depends on.
struct RulesPlaces {
  std::string programDir;  // the directory of the running program
  std::string dataHome;    // $XDG_DATA_HOME; ignored unless an absolute path
  std::string home;        // $HOME
};

// The places of this process: programDirectory() and its environment.
RulesPlaces rulesPlacesOfThisProcess();

enum class RulesSource {
  Option,         // --rules FILE
  BesideProgram,  // loomwise.mdb in the program's (writable) directory
  UserData,       // <data home>/loomwise/loomwise.mdb
};

struct RulesChoice {
  std::string path;
  RulesSource source = RulesSource::Option;
  // UserData only: whether the file is still to be made, and the bundled
  // rules it is made from (empty: the rules built into the program, for an
  // install without a bundled file).
  bool toCreate = false;
  std::string createFrom;
};

// Decides, looking at the file system but changing nothing. Throws
// LoomError (kind Rules) when no user data directory can be named.
RulesChoice chooseRules(const std::optional<std::string>& option, const RulesPlaces& places,
                        const FileSystem& fs);

// Makes the user's copy when the choice says so: creates the directories
// and copies the bundled rules in one step, never over an existing file.
// Throws LoomError naming the file that could not be made.
void prepareRules(const RulesChoice& choice);

// One line for --help and the About page: which file is in use and why.
std::string describeRules(const RulesChoice& choice);
// That line for this process, or the reason no file can be chosen.
std::string rulesInUseLine(const std::optional<std::string>& option);

}  // namespace loom
