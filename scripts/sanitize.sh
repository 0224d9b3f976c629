#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the core, the command-line tool and the whole test suite with
# AddressSanitizer and UndefinedBehaviorSanitizer and the standard library's
# assertions in build-asan/ (no desktop program, no benchmarks) and runs every
# test. Any report fails the run.
#   scripts/sanitize.sh            configure, build, test
#   scripts/sanitize.sh -R Fault   pass further arguments to ctest
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${SANITIZE_BUILD_DIR:-$root/build-asan}"
jobs="${JOBS:-2}"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLOOMWISE_SANITIZE=ON \
  -DLOOMWISE_BUILD_UI=OFF -DLOOMWISE_BUILD_BENCH=OFF -DLOOMWISE_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j"$jobs"

# Stop at the first report; leaks count as failures too.
export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
ctest --test-dir "$build" -j"$jobs" --output-on-failure --timeout 600 "$@"
