#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Fails, naming the files, when C++ sources do not follow .clang-format.
# Fix them with: scripts/format-check.sh --fix
# The Unicode table is generated (scripts/make-case-folding.py) and left as
# the generator writes it.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || scripts/install-deps.sh clang-format
# New files not yet added count too, so that --fix reaches them before
# their first commit.
mapfile -t files < <(git ls-files --cached --others --exclude-standard '*.cpp' '*.h' |
  grep -v '^base/case_folding_table.cpp$')
if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
bad=()
for f in "${files[@]}"; do
  clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -gt 0 ]; then
  printf 'not formatted as .clang-format asks: %s\n' "${bad[@]}" >&2
  echo "run scripts/format-check.sh --fix" >&2
  exit 1
fi
echo "format check: ${#files[@]} files follow .clang-format"
