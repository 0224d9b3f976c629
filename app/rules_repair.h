// SPDX-License-Identifier: MIT
#pragma once
// Putting usable rules in place of a rule database that cannot be read,
// without losing the file that was there: it is kept beside the new one.

#include <string>

namespace loom {

// Where the new rules come from.
enum class RulesReplacement {
  Bundled,  // the rules the program comes with
  File,     // a rules file (exportRulesFile)
};

// Builds the new rules under a scratch name first, so a rules file that
// cannot be imported changes nothing (LoomError). Then the file at
// `rulesPath`, if any, is renamed to the first free name of
// "<rulesPath>.damaged", "<rulesPath>.damaged-2", ... and the new rules take
// its place. Returns the name the old file was given; empty when there was
// none.
std::string replaceRules(const std::string& rulesPath, RulesReplacement from,
                         const std::string& rulesFile = {});

}  // namespace loom
