// SPDX-License-Identifier: MIT
#pragma once
// Where the rule database lives and how a new one is made.

#include <optional>
#include <string>
#include <vector>

#include "rules/settings_table.h"

namespace loom {

// The directory of the running executable, from /proc/self/exe.
std::string programDirectory();
// programDirectory() + "/loomwise.mdb": the rules beside the program, which
// a front end uses when that directory is writable (see rules_location.h).
std::string defaultRulesPath();

enum class NewDatabaseContents {
  SettingsOnly,  // the four settings rows with their default values
  Bundled,       // settings plus the file types, groups and constraints of the examples
  OwnText,       // settings plus the file type GEN and its group, for any text file
};

// One GlobalDefs row: its ID and its Content.
struct SettingRow {
  std::string id;
  std::string content;
};

// The settings of a new database for text of this platform, as the settings
// table gives them (utf-8, lines that end in LF too, source text escaped,
// full page names, lines kept, and a page that reads well), with `overrides`
// in place of the table's values. The Header declares the encoding to
// browsers. A value that a run would refuse is a LoomError (Usage) naming it,
// so that no database is made that every run refuses.
std::vector<SettingRow> platformSettings(const SettingOverrides& overrides = {});

// Creates a rule database at `path` with the four tables. Never overwrites:
// an existing file at `path` is an error (kind Usage) that names it.
// `settings` rows replace the default rows of the same ID or are added.
void createRuleDatabase(const std::string& path, NewDatabaseContents contents,
                        const std::vector<SettingRow>& settings = {});

}  // namespace loom
