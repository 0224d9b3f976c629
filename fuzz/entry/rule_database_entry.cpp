// SPDX-License-Identifier: MIT
// Any file, corrupt, truncated or foreign, as the rule database of a run.

#include <unistd.h>

#include "app/batch.h"
#include "fuzz/entry/fuzz_entry.h"
#include "support/memory_file_system.h"
#include "support/temp_dir.h"

void loom::fuzz::ruleDatabase(const std::uint8_t* data, std::size_t size) {
  static const testing::TempDir scratch;  // one per process, removed at exit
  const std::string path = scratch / "rules.mdb";
  for (const char* suffix : {"-journal", "-wal", "-shm"}) ::unlink((path + suffix).c_str());
  testing::writeFile(path, std::string(reinterpret_cast<const char*>(data), size));
  testing::MemoryFileSystem fs;
  for (const char* dir : {"/in/", "/out/"}) fs.addDirectory(dir);
  fs.addFile("/in/chapter01.txt", "Contents\r\n  *bold* and _it_ -- (c) [note: x] \"\"q\"\"\r\n");
  fs.addFile("/in/today.nws", "1 May\r\nBREAKING\r\n=> item ## gone\r\n");
  fs.addFile("/in/faq.faq", "Q: why?\rA: because\r\n");
  fs.addFile("/in/notes.old.TXT", "\xE9t\xE9\r\n");
  fs.addFile("/in/README", "no extension\r\n");
  BatchOptions options;
  options.dirs = {"/in/", "/out/"};
  options.rulesPath = path;
  options.jobs = 1;  // a fuzzer wants each run alike
  BatchObserver quiet;
  try {
    LOOMWISE_REQUIRE(fs.has(RunBatch(options, fs, quiet).indexPath));
  } catch (const LoomError&) {  // refused with a message: what a bad rule database must get
  }
}
