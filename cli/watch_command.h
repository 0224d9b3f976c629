// SPDX-License-Identifier: MIT
#pragma once
// loomwise-batch --watch: the batch run, again after every change.

#include "app/batch.h"
#include "cli/options.h"

namespace loom::cli {

// Returns the exit status: 0 when the watch ended with the last run
// complete, 1 when the signal that ended it stopped a run part-way.
int watch(const Options& options, const BatchOptions& batch);

}  // namespace loom::cli
