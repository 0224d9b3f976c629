#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Kills loomwise-batch at random moments while it converts a 500-file corpus: after every kill
# each page present is an undisturbed run's, byte for byte; after a final complete run no
# temporary file is left and the output is the undisturbed run's. --short: 10 kills, not 100.
set -euo pipefail
kills=100
[ "${1:-}" = --short ] && { kills=10; shift; }
tool="${1:?usage: kill_test.sh [--short] LOOMWISE-BATCH [RULES]}"
rules="${2:-$(dirname "$tool")/loomwise.mdb}"
work="$(mktemp -d "${TMPDIR:-/tmp}/loomwise-kill-XXXXXX")"
trap 'rm -rf "$work"' EXIT
run() { "$tool" --quiet --rules "$rules" "$work/in$1" "$work/$2" >/dev/null 2>&1; }
# The pages' checksums, and the list of pages' without the files' states
# (inodes and times differ from one output directory to another).
sums() {
  (cd "$1" && md5sum -- * 2>/dev/null
   [ -f .loomwise.manifest ] &&
     awk -F '\t' -v OFS='\t' 'NF >= 5 { $5 = "" } { print }' .loomwise.manifest |
     md5sum | sed 's/-$/.loomwise.manifest/') || true
}

# Two versions of the corpus, a few files large, so that every run replaces
# every page and a kill often lands in the middle of writing one.
for v in A B; do
  mkdir "$work/in$v" "$work/ref$v"
  awk -v dir="$work/in$v" -v v="$v" 'BEGIN {
    split("txt faq nws", ext, " ")
    for (i = 0; i < 500; i++) {
      f = sprintf("%s/f%03d.%s", dir, i, ext[i % 3 + 1])
      printf "Title of file %d, version %s -- (c) [note: hidden] *bold*\r\n", i, v > f
      for (l = (i % 50 == 7) ? 20000 : 20 + (i * 37) % 400; l > 0; l--)
        printf "Q: line %d of %d%s with _words_ and \"\"quotes\"\" ## tail\r\n", l, i, v > f
      close(f)
    }
  }'
  start=$(date +%s%3N)
  run "$v" "ref$v"
  full_ms=$(($(date +%s%3N) - start))
  sums "$work/ref$v" >>"$work/whole"
done

bad=0
mkdir "$work/out"
for ((k = 1; k <= kills; k++)); do
  delay=$(((RANDOM * 32768 + RANDOM) % (full_ms + 1)))
  "$tool" --quiet --rules "$rules" "$work/in$([ $((k % 2)) -eq 1 ] && echo A || echo B)" \
    "$work/out" >/dev/null 2>&1 &
  sleep "$(printf '%d.%03d' $((delay / 1000)) $((delay % 1000)))"
  kill -KILL $! 2>/dev/null || true
  wait $! 2>/dev/null || true
  # Each page present is the page of the run before or of this run, whole.
  broken="$(sums "$work/out" | grep -Fxv -f "$work/whole" || true)"
  [ -z "$broken" ] || { echo "kill_test: after kill $k, not a complete page: $broken" >&2; bad=1; }
done

run A out
stray=$(find "$work/out" -name '.loomwise-*' | wc -l)
diff -r -x .loomwise.manifest "$work/refA" "$work/out" >/dev/null &&
  [ "$(sums "$work/refA")" = "$(sums "$work/out")" ] ||
  { echo "kill_test: output differs" >&2; bad=1; }
echo "kill_test: $kills kills, $stray stray temporary files after the next complete run"
[ "$bad" -eq 0 ] && [ "$stray" -eq 0 ]
