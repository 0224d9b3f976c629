// SPDX-License-Identifier: MIT
#pragma once
// The SQL kept as text files in data/, compiled in so that the command-line
// tool can make a new rule database anywhere.

namespace loom::sql {
extern const char* const kSchema;    // data/schema.sql
extern const char* const kSettings;  // data/settings.sql
extern const char* const kBundled;   // data/bundled.sql
extern const char* const kOwnText;   // data/own_text.sql
}  // namespace loom::sql
