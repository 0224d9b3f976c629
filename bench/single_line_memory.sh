#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Peak memory of loomwise-batch on one huge single-line file: the bound is the
# file's size plus twice its page's size plus a few MB. Prints a Markdown
# table for bench/RESULTS.md.
#
#   bench/single_line_memory.sh [LOOMWISE-BATCH] [MB ...]   (default: build/, 50 200)
#
# The file is one line of ordinary words with rules that change it (the
# bundled example rules), so the line is rewritten, not only copied. Each
# rule set runs with the source text as it is and escaped (--escape-text),
# where the line's origin rides beside it through every rewrite. Work files
# go to $LOOMWISE_BENCH_DIR (default bench/out/single-line).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
batch="${1:-$root/build/loomwise-batch}"
shift || true
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(50 200)
work="${LOOMWISE_BENCH_DIR:-$root/bench/out/single-line}"
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 2; }

mkdir -p "$work"
rules="$work/rules.mdb"
rm -f "$rules"
sqlite3 "$rules" <"$root/data/schema.sql"
sqlite3 "$rules" <"$root/data/settings.sql"
sqlite3 "$rules" <"$root/data/bundled.sql"
# The same rules without the Replace Formatting rows (Type 3), whose search
# may restart from the line as it was and so hold it beside its working copy.
plain="$work/rules-no-formatting.mdb"
rm -f "$plain"
cp "$rules" "$plain"
sqlite3 "$plain" "DELETE FROM Constraints WHERE Type = 3"
# One row alone: a Search/Replace row whose inserted text can start a new hit
# (so its search resumes at the hit), and a Remove Block row.
one_row() {
  rm -f "$2"
  cp "$rules" "$2"
  sqlite3 "$2" "DELETE FROM Constraints; INSERT INTO Constraints (FileType, Type,
    \"Search String\", \"Replace String\", RFirst, RLast, CaseSensitive) VALUES ($1)"
}
one_row "'GEN', 1, '--', '<->-', ' ', ' ', 1" "$work/rules-search-replace.mdb"
one_row "'GEN', 2, '(c)', '.', ' ', ' ', 0" "$work/rules-remove-block.mdb"

echo "| Single-line file | Rules | Escaped | MB | Page MB | Bound MB (file + 2 x page + 8) | Peak memory MB | Seconds |"
echo "|---|---|---|---:|---:|---:|---:|---:|"
for mb in "${sizes[@]}"; do
rm -rf "$work/in"
mkdir -p "$work/in"
python3 - "$work/in/long.txt" "$mb" <<'PY'
import sys
path, mb = sys.argv[1], int(sys.argv[2])
chunk = ("The harbour was built in 1832 -- long before the *railway* reached "
         "the town, and (c) it stayed. ") * 1000
with open(path, "w") as f:
    left = mb * 10**6
    while left > 0:
        part = chunk[:left]
        f.write(part)
        left -= len(part)
PY
for set in bundled no-formatting search-replace remove-block; do
for escape in no yes; do
  db="$work/rules-$set.mdb"
  [ "$set" = bundled ] && db="$rules"
  rm -rf "$work/out"
  mkdir -p "$work/out"
  /usr/bin/time -f '%M %e' -o "$work/time" "$batch" --quiet --jobs 1 --rules "$db" \
    --escape-text "$escape" "$work/in" "$work/out" >/dev/null
  read -r kb seconds <"$work/time"
  file=$(stat -c %s "$work/in/long.txt")
  page=$(stat -c %s "$work/out/lwlong.htm")
  awk -v mb="$mb" -v set="$set" -v e="$escape" -v f="$file" -v p="$page" -v kb="$kb" \
    -v s="$seconds" 'BEGIN {
    printf "| %d MB, one line | %s | %s | %.1f | %.1f | %.1f | %.1f | %.2f |\n",
      mb, set, e, f / 1e6, p / 1e6, (f + 2 * p) / 1e6 + 8, kb * 1024 / 1e6, s }'
done
done
done
rm -rf "$work/in" "$work/out"
