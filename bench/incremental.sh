#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# What a run costs in proportion to what changed: for each corpus size, the
# first run into an empty site, a run over unchanged input, and a run after
# one file changed, side by side with `find -newer` over the same input (one
# look at each file's metadata: the floor a build tool's no-op is held to).
# Prints a Markdown table for bench/RESULTS.md.
#
#   bench/incremental.sh [LOOMWISE-BATCH] [FILES ...]   (default: build/, 600 50000 200000)
#
# Work files go to $LOOMWISE_BENCH_DIR (default /dev/shm/loomwise-incremental,
# RAM-backed, so that the disk's phase does not decide the figures). Each
# figure is the median of $RUNS runs (default 5) of wall time, the runs of
# loomwise-batch and of find alternating.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
batch="${1:-$root/build/loomwise-batch}"
shift || true
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(600 50000 200000)
runs="${RUNS:-5}"
work="${LOOMWISE_BENCH_DIR:-/dev/shm/loomwise-incremental}"
[ -x "$batch" ] || { echo "incremental.sh: $batch is not an executable" >&2; exit 2; }

seconds() {  # seconds COMMAND...: wall time of one run, in seconds (no process of its own)
  local start end
  start=$EPOCHREALTIME
  "$@" >/dev/null
  end=$EPOCHREALTIME
  echo "scale=4; ($end - $start) / 1" | bc
}
median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
ratio() { echo "scale=2; $1 / $2" | bc; }

echo "| Files | First run s | find -newer s | Unchanged s | Unchanged / find | One changed s | One changed / find |"
echo "|---:|---:|---:|---:|---:|---:|---:|"
for files in "${sizes[@]}"; do
  corpus="$work/corpus-$files"
  [ -d "$corpus/in" ] || python3 "$root/bench/make_corpus.py" "$corpus" --files "$files" --lines 5 >/dev/null
  out="$work/out-$files"
  run=("$batch" --quiet --rules "$corpus/rules.mdb" "$corpus/in" "$out")
  first=()
  for ((k = 0; k < runs; k++)); do
    rm -rf "$out" && mkdir -p "$out"
    first+=("$(seconds "${run[@]}")")
  done
  stamp="$out/.loomwise.manifest"
  unchanged=() find=() changed=()
  names=("$corpus"/in/*)
  for ((k = 0; k < runs; k++)); do
    find+=("$(seconds find "$corpus/in" -newer "$stamp")")
    unchanged+=("$(seconds "${run[@]}")")
    # One file changes as an editor saves it: new bytes, a new time; a
    # moment later (a change of the last moments is never taken as settled).
    echo "edit $k" >>"${names[$((k * 7919 % ${#names[@]}))]}"
    sleep 0.1
    changed+=("$(seconds "${run[@]}")")
  done
  f=$(printf '%s\n' "${first[@]}" | median)
  n=$(printf '%s\n' "${find[@]}" | median)
  u=$(printf '%s\n' "${unchanged[@]}" | median)
  c=$(printf '%s\n' "${changed[@]}" | median)
  printf '| %s | %s | %s | %s | %sx | %s | %sx |\n' "$files" "$f" "$n" "$u" "$(ratio "$u" "$n")" \
    "$c" "$(ratio "$c" "$n")"
done
