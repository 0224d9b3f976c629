#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up, builds, and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")"
# Chromium reads the converted pages back in the browser test.
scripts/install-deps.sh chromium
scripts/build.sh
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2
