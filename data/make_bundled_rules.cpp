// Build step: makes the bundled rule database next to the executables when
// there is none, and never touches an existing one (it holds the user's rules).

#include <unistd.h>

#include <cstdio>

#include "base/error.h"
#include "rules/rule_database.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-bundled-rules FILE\n");
    return 2;
  }
  if (::access(argv[1], F_OK) == 0) return 0;
  try {
    loom::createRuleDatabase(argv[1], loom::NewDatabaseContents::Bundled);
  } catch (const loom::LoomError& e) {
    std::fprintf(stderr, "make-bundled-rules: %s\n", e.what());
    return 1;
  }
  return 0;
}
