// SPDX-License-Identifier: MIT
#pragma once
// Unicode simple case folding as runs of code points that fold by the same
// distance; made from CaseFolding.txt by scripts/make-case-folding.py.

#include <cstdint>
#include <span>

namespace loom {

struct FoldRun {
  char32_t first;
  char32_t last;
  std::int32_t delta;   // folding = code point + delta
  std::int32_t stride;  // 1: every code point of the run, 2: every other one
};

// Sorted by code point, not overlapping.
extern const std::span<const FoldRun> kCaseFoldingRuns;

}  // namespace loom
