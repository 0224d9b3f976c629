// SPDX-License-Identifier: MIT
#pragma once
// The whole rule database as one human-readable, diff-friendly text file:
// JSON with one record per line, the four tables in a fixed order, rows in
// stored order, columns in table order, NULL written as null (never as "").

#include <string>
#include <string_view>

namespace loom {

// The text of every row of the four tables. A value that is not text or a
// number (a blob), or text that is not UTF-8, is a LoomError (Rules) naming
// table, row and column.
std::string exportRulesText(const std::string& rulesPath);

// Replaces all rows of the four tables with the rows of `text`, in one
// transaction. A malformed or incomplete text changes nothing; the
// LoomError (Usage) names the line at fault. `source` names the text in
// messages (the file name).
void importRulesText(const std::string& rulesPath, std::string_view text,
                     const std::string& source);

// File versions of the above. The export never writes over the rule database
// and never replaces a device, a FIFO or a link (see writeNamedFile).
void exportRulesFile(const std::string& rulesPath, const std::string& file);
void importRulesFile(const std::string& rulesPath, const std::string& file);

// A LoomError (Usage) when `file` is the rule database at `rulesPath`, however
// either is spelled: a file the user names as a target of the rules commands.
void refuseTheRuleDatabase(const std::string& rulesPath, const std::string& file);

}  // namespace loom
