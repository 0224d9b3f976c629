#pragma once
// Where the rule database lives and how a new one is made.

#include <string>

namespace loom {

// The directory of the running executable, from /proc/self/exe.
std::string programDirectory();
// programDirectory() + "/loomwise.mdb": the rules beside the program, which
// a front end uses when that directory is writable (see rules_location.h).
std::string defaultRulesPath();

enum class NewDatabaseContents {
  SettingsOnly,  // the four settings rows with their default values
  Bundled,       // settings plus the file types, groups and constraints of the examples
};

// Creates a rule database at `path` with the four tables. Never overwrites:
// an existing file at `path` is an error (kind Usage) that names it.
// `encodingRow`, when not empty, adds the optional "Encoding" setting.
void createRuleDatabase(const std::string& path, NewDatabaseContents contents,
                        const std::string& encodingRow);

}  // namespace loom
