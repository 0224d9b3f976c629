// SPDX-License-Identifier: MIT
// Build step: makes the rule database of the examples next to the
// executables when there is none, and never touches an existing one (it
// holds the user's rules). With --own-text it makes the database an
// installed program starts a user with, as --new-rules does; with
// --examples-json, the examples' rules as a file to import.

#include <unistd.h>

#include <cstdio>
#include <string>

#include "base/error.h"
#include "rules/rule_database.h"
#include "rules/rules_json.h"

int main(int argc, char** argv) {
  const std::string mode = argc == 3 ? argv[1] : "";
  if (argc < 2 || argc > 3 || (argc == 3 && mode != "--own-text" && mode != "--examples-json")) {
    std::fprintf(stderr, "usage: make-bundled-rules [--own-text | --examples-json] FILE\n");
    return 2;
  }
  const std::string file = argv[argc - 1];
  if (::access(file.c_str(), F_OK) == 0) return 0;
  try {
    if (mode == "--own-text") {
      loom::createRuleDatabase(file, loom::NewDatabaseContents::OwnText, loom::platformSettings());
    } else if (mode == "--examples-json") {
      const std::string scratch = file + ".mdb";
      ::unlink(scratch.c_str());
      loom::createRuleDatabase(scratch, loom::NewDatabaseContents::Bundled);
      loom::exportRulesFile(scratch, file);
      ::unlink(scratch.c_str());
    } else {
      loom::createRuleDatabase(file, loom::NewDatabaseContents::Bundled);
    }
  } catch (const loom::LoomError& e) {
    std::fprintf(stderr, "make-bundled-rules: %s\n", e.what());
    return 1;
  }
  return 0;
}
