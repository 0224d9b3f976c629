#!/usr/bin/env bash
# Kills loomwise-batch with SIGKILL at random moments while it converts a
# 500-file corpus into one output directory, again and again. After every
# kill each page present must equal the page of an undisturbed run byte for
# byte (no truncated or mixed page); after a final complete run there must be
# no temporary file left and the output must equal the undisturbed run's.
#   tests/kill_test.sh [--short] [--kills N] LOOMWISE-BATCH [RULES]
# --short makes 10 kills instead of 100. RULES defaults to the loomwise.mdb
# beside the tool.
set -euo pipefail

kills=100
while [ $# -gt 0 ]; do
  case "$1" in
    --short) kills=10; shift ;;
    --kills) kills="$2"; shift 2 ;;
    *) break ;;
  esac
done
tool="${1:?usage: kill_test.sh [--short] [--kills N] LOOMWISE-BATCH [RULES]}"
rules="${2:-$(dirname "$tool")/loomwise.mdb}"
[ -f "$rules" ] || { echo "kill_test: no rule database at $rules" >&2; exit 2; }

work="$(mktemp -d "${TMPDIR:-/tmp}/loomwise-kill-XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir "$work/out"

# Two versions of a 500-file corpus of the three example types, a few files
# large, so that every run replaces every page and a kill often lands in the
# middle of writing one. Runs alternate between the versions.
mkdir "$work/inA" "$work/inB" "$work/refA" "$work/refB"
for version in A B; do
  awk -v dir="$work/in$version" -v version="$version" 'BEGIN {
    split("txt faq nws", ext, " ")
    for (i = 0; i < 500; i++) {
      f = sprintf("%s/f%03d.%s", dir, i, ext[i % 3 + 1])
      lines = (i % 50 == 7) ? 20000 : 20 + (i * 37) % 400
      printf "Title of file %d, version %s -- (c) [note: hidden] *bold*\r\n", i, version > f
      for (l = 0; l < lines; l++) {
        printf "Q: line %d of %d%s with _words_ and \"\"quotes\"\" ## tail\r\n", l, i, version > f
      }
      close(f)
    }
  }'
done

now_ms() { date +%s%3N; }
start=$(now_ms)
"$tool" --quiet --rules "$rules" "$work/inA" "$work/refA" >/dev/null
full_ms=$(( $(now_ms) - start ))
"$tool" --quiet --rules "$rules" "$work/inB" "$work/refB" >/dev/null
pages=$(ls "$work/refA" | wc -l)
for version in A B; do (cd "$work/ref$version" && md5sum -- * .loomwise.manifest); done >"$work/whole"
echo "kill_test: reference run of $pages files took ${full_ms} ms; $kills kills follow"

mid_run=0 temps_seen=0 checked=0 bad=0
for ((k = 1; k <= kills; k++)); do
  delay=$(( (RANDOM * 32768 + RANDOM) % (full_ms + 1) ))
  "$tool" --quiet --rules "$rules" "$work/in$([ $((k % 2)) -eq 1 ] && echo A || echo B)" \
    "$work/out" >/dev/null 2>&1 &
  pid=$!
  sleep "$(printf '%d.%03d' $((delay / 1000)) $((delay % 1000)))"
  kill -0 "$pid" 2>/dev/null && mid_run=$((mid_run + 1))
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  temps_seen=$((temps_seen + $(find "$work/out" -name '.loomwise-*' | wc -l)))
  # Each page present is the page of the run before or of this run, whole.
  sums="$(cd "$work/out" && md5sum -- * .loomwise.manifest 2>/dev/null || true)"
  checked=$((checked + $(grep -c . <<<"$sums" || true)))
  broken="$(grep -Fxv -f "$work/whole" <<<"$sums" | grep . || true)"
  if [ -n "$broken" ]; then
    echo "kill_test: after kill $k, not a complete page: $broken" >&2
    bad=$((bad + $(wc -l <<<"$broken")))
  fi
done

"$tool" --quiet --rules "$rules" "$work/inA" "$work/out" >/dev/null
stray=$(find "$work/out" -name '.loomwise-*' | wc -l)
identical=yes
diff -r "$work/refA" "$work/out" >/dev/null || identical=no

echo "kill_test: $kills kills ($mid_run during the run), $checked page files checked after them," \
     "$bad truncated or mixed, $temps_seen temporary files left by killed runs;" \
     "after the next complete run: $stray stray temporary files, output identical: $identical"
[ "$bad" -eq 0 ] && [ "$stray" -eq 0 ] && [ "$identical" = yes ]
