// SPDX-License-Identifier: MIT
// loomwise-batch: the batch run for scripts and CI. A thin front end: it
// parses the command line, calls the core, and turns the outcome into lines
// on stderr and an exit status.

#include <malloc.h>

#include <cstdio>
#include <exception>
#include <new>
#include <optional>

#include "app/batch.h"
#include "base/error.h"
#include "base/file_system.h"
#include "base/text.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "cli/stop_signal.h"
#include "cli/terminal_progress.h"
#include "cli/watch_command.h"
#include "rules/rules_location.h"

namespace {

constexpr int kExitStopped = 1;

void printError(const std::string& message) {
  std::fprintf(stderr, "loomwise-batch: %s\n", loom::visibleName(message).c_str());
}

int run(const loom::cli::Options& options) {
  using loom::cli::Command;
  auto fs = loom::makePosixFileSystem();
  const std::optional<std::string> rulesOption =
      options.rulesPath.empty() ? std::nullopt : std::optional(options.rulesPath);
  if (options.command == Command::Help) {
    std::printf("%s\n%s\n", loom::cli::usageText().c_str(),
                loom::visibleName(loom::rulesInUseLine(rulesOption)).c_str());
    return 0;
  }
  std::string rules;
  if (options.command != Command::Version && options.command != Command::NewRules) {
    const loom::RulesChoice choice =
        loom::chooseRules(rulesOption, loom::rulesPlacesOfThisProcess(), *fs);
    loom::prepareRules(choice);
    rules = choice.path;
  }
  switch (options.command) {
    case Command::Help:  // answered above
      return 0;
    case Command::Version:
      std::printf(
          "loomwise-batch %s\n"
          "Copyright 2026 the Loomwise developers.\n"
          "License: MIT <https://opensource.org/license/mit>. This is free software: you are\n"
          "free to change and redistribute it. There is NO WARRANTY.\n",
          LOOMWISE_VERSION);
      return 0;
    case Command::NewRules:
      return loom::cli::newRules(options);
    case Command::Explain:
      return loom::cli::explain(options, rules);
    case Command::ExportRules:
      return loom::cli::exportRules(options, rules);
    case Command::ImportRules:
      return loom::cli::importRules(options, rules);
    case Command::Run:
    case Command::Check:
      break;
  }
  const loom::BatchOptions batch{.dirs = options.dirs,
                                 .rulesPath = rules,
                                 .overrides = options.overrides,
                                 .jobs = options.jobs,
                                 .checkOnly = options.command == Command::Check,
                                 .full = options.full,
                                 .prune = options.prune};
  if (options.watch) return loom::cli::watch(options, batch);
  loom::cli::TerminalProgress progress(stderr, options.quiet);
  if (!batch.checkOnly) loom::cli::installStopSignals();
  const loom::BatchSummary summary = loom::RunBatch(batch, *fs, progress);
  if (batch.checkOnly) {
    for (const std::string& page : summary.removedPages)
      std::printf("Would remove %s\n", loom::visibleName(page).c_str());
    const std::string generic =
        summary.genericFiles == 0
            ? std::string()
            : ", " + std::to_string(summary.genericFiles) +
                  " of them as the file type GEN (no FileTypes row of their own)";
    if (!options.quiet)
      std::fprintf(stderr, "Check passed: %zu file(s) would be converted%s%s.\n", summary.fileCount,
                   generic.c_str(), progress.warnings() ? " (see the warnings above)" : "");
    return 0;
  }
  if (summary.stopped) {
    progress.endLine();
    printError(
        "the run was stopped; the pages written so far are complete, the index page "
        "was not written");
    return kExitStopped;
  }
  if (!options.quiet) std::printf("%s\n", loom::visibleName(summary.indexPath).c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Workers make each page's buffer and the writing thread frees it: by
  // default the allocator hands the freed tops of the workers' heaps back to
  // the system and takes them again for the next pages, a page fault per
  // 4 KiB (about 4,000 per 2,000 pages). Up to a megabyte of such memory
  // stays with the run instead (about 900 faults; the peak grows by about
  // half a megabyte).
  mallopt(M_TRIM_THRESHOLD, 1 << 20);
  try {
    const int status = run(loom::cli::parseOptions(argc, argv));
    // What a script reads from standard output must have arrived: a full
    // disk or a closed pipe is a failure, not a success.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
      printError("cannot write to standard output");
      return loom::exitCodeFor(loom::ErrorKind::Io);
    }
    return status;
  } catch (const loom::ValidationError& e) {
    for (const loom::Problem& p : e.problems()) printError(p.message);
    std::fprintf(stderr, "loomwise-batch: %zu problem(s); nothing was written.\n",
                 e.problems().size());
    return loom::exitCodeFor(e.kind());
  } catch (const loom::LoomError& e) {
    printError(e.what());
    if (e.kind() == loom::ErrorKind::Usage) std::fputs("Try 'loomwise-batch --help'.\n", stderr);
    return loom::exitCodeFor(e.kind());
  } catch (const std::bad_alloc&) {
    printError("not enough memory to finish; pages written so far are complete");
    return loom::exitCodeFor(loom::ErrorKind::Io);
  } catch (const std::exception& e) {
    printError(std::string("unexpected failure: ") + e.what());
    return loom::exitCodeFor(loom::ErrorKind::Io);
  }
}
