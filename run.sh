#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up, builds, and converts the bundled sample texts in examples/ into a
# small web site in examples-site/, then prints where its index page is.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh >/dev/null
rm -rf examples-site
mkdir -p examples-site
build/loomwise-batch --quiet examples examples-site
echo "Index page: $(pwd)/examples-site/index.html"
