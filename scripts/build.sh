#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Configures and builds into build/ (or $LOOMWISE_BUILD_DIR) with two jobs.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${LOOMWISE_BUILD_DIR:-build}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE="${LOOMWISE_BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
cmake --build "$build" -j"${LOOMWISE_JOBS:-2}"
