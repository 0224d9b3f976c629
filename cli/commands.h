// SPDX-License-Identifier: MIT
#pragma once
// The commands of loomwise-batch other than the batch run.

#include <string>

#include "cli/options.h"

namespace loom::cli {

int newRules(const Options& options);
int explain(const Options& options, const std::string& rulesPath);
int exportRules(const Options& options, const std::string& rulesPath);
int importRules(const Options& options, const std::string& rulesPath);

}  // namespace loom::cli
