#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Times loomwise-batch against the tools a user would pick instead, on one
# generated corpus, and writes bench/RESULTS.md.
#
#   bench/run.sh            the full run (2,000 files, about 55 MB; ~10 min)
#   bench/run.sh --smoke    a tiny corpus, one run each; writes
#                           bench/out/RESULTS-smoke.md instead (for CI)
#
# Options: --files N, --lines N (corpus size), --runs N (timings per tool,
# median reported; default 3). The corpus and all outputs stay under
# bench/out/ (or $LOOMWISE_BENCH_DIR). LOOMWISE_BATCH=path times an already
# built loomwise-batch instead of building build-bench/ (Release).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
work="${LOOMWISE_BENCH_DIR:-$root/bench/out}"
build="$root/build-bench"
files=2000 lines=400 runs=3 smoke=0 subset=200 txt2html_subset=400
while [ $# -gt 0 ]; do
  case "$1" in
    --smoke) smoke=1 files=30 lines=100 runs=1 subset=2 txt2html_subset=2 ;;
    --files) files="$2"; shift ;;
    --lines) lines="$2"; shift ;;
    --runs) runs="$2"; shift ;;
    -h|--help) sed -n '2,14p' "$0"; exit 0 ;;
    *) echo "run.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
[ "$subset" -gt "$files" ] && subset="$files"
results="$root/bench/RESULTS.md"
[ "$smoke" = 1 ] && results="$work/RESULTS-smoke.md"

say() { printf '%s\n' "$*" >&2; }

# --- build -------------------------------------------------------------
batch="${LOOMWISE_BATCH:-$build/loomwise-batch}"
if [ -n "${LOOMWISE_BATCH:-}" ]; then
  [ -x "$batch" ] || { say "LOOMWISE_BATCH=$batch is not an executable"; exit 2; }
elif [ ! -x "$batch" ]; then
  say "Building loomwise-batch (Release) in build-bench/"
  LOOMWISE_BUILD_DIR=build-bench LOOMWISE_BUILD_TYPE=Release \
    "$root/scripts/build.sh" -DLOOMWISE_BUILD_UI=OFF >&2
else
  cmake --build "$build" --target loomwise-batch -j2 >/dev/null
fi

# --- the other tools ---------------------------------------------------
missing=()
# The script itself needs these, in the smoke run too.
command -v bc >/dev/null || missing+=(bc)
command -v python3 >/dev/null || missing+=(python3)
command -v iconv >/dev/null || missing+=(libc-bin)
[ -x /usr/bin/time ] || missing+=(time)
if [ "$smoke" = 0 ]; then
  command -v txt2html >/dev/null || missing+=(txt2html)
  command -v pandoc >/dev/null || missing+=(pandoc)
  # Debian's python3 (not one earlier on PATH) has Debian's matplotlib.
  plot_python=/usr/bin/python3; [ -x "$plot_python" ] || plot_python=python3
  "$plot_python" -c 'import matplotlib' 2>/dev/null || missing+=(python3-matplotlib)
fi
if [ ${#missing[@]} -gt 0 ]; then
  say "Installing ${missing[*]}"
  sudo_cmd=""; [ "$(id -u)" != 0 ] && sudo_cmd="sudo"
  { $sudo_cmd apt-get update -qq && $sudo_cmd apt-get install -y "${missing[@]}"; } >&2 || say "could not install ${missing[*]}"
fi
have() { command -v "$1" >/dev/null; }

# --- corpus ------------------------------------------------------------
corpus="$work/corpus-$files-$lines"
scales=(2 4)
[ "$smoke" = 1 ] && scales=(2)
scaled_args=(); for k in "${scales[@]}"; do scaled_args+=(--scaled "$k"); done
say "Corpus: $files files of about $lines lines in $corpus"
python3 "$root/bench/make_corpus.py" "$corpus" --files "$files" --lines "$lines" \
  "${scaled_args[@]}"
in="$corpus/in"
rules="$corpus/rules.mdb"
out="$work/output"
bytes_of() { find "$1" -maxdepth 1 -type f -printf '%s\n' | awk '{s += $1} END {print s}'; }
bytes=$(bytes_of "$in")
cat "$in"/* >/dev/null  # warm the page cache: every tool reads from memory

# --- timing ------------------------------------------------------------
table="$work/timings.tsv"
: >"$table"
now() { date +%s.%N; }
median() { sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

# time_tool NAME BYTES SCALE PREPARE-FN RUN-FN: adds a tool to time_all,
# which runs PREPARE (untimed) and RUN $runs times and records the median
# seconds times SCALE.
tools=()
time_tool() { tools+=("$1|$2|$3|$4|$5"); }
# The tools take turns, one run of each a round, rather than one tool's runs
# after another's: the machine may be slower for a while (it is shared), and
# a ratio between two tools should not depend on which of them met it.
time_all() {
  local tool name size scale prepare run i t0 t1
  local -A samples=() cpus=()
  for ((i = 0; i < runs; i++)); do
    for tool in "${tools[@]}"; do
      IFS='|' read -r name size scale prepare run <<<"$tool"
      "$prepare"
      warm_inputs
      settle
      times >"$work/times0"; t0=$(now); "$run"; t1=$(now); times >"$work/times1"
      samples[$name]+="$(echo "$t1 - $t0" | bc -l) "
      cpus[$name]+="$(cpu_between "$work/times0" "$work/times1") "
    done
  done
  for tool in "${tools[@]}"; do
    IFS='|' read -r name size scale prepare run <<<"$tool"
    local m; m=$(printf '%s\n' ${samples[$name]} | median)
    local cpu; cpu=$(printf '%s\n' ${cpus[$name]} | median)
    local scaled; scaled=$(echo "$m * $scale" | bc -l)
    local cpu_scaled; cpu_scaled=$(echo "$cpu * $scale" | bc -l)
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$scaled" "$size" "$scale" "${samples[$name]% }" \
      "$cpu_scaled" >>"$table"
    say "  $name: $(printf '%.3f' "$scaled") s (runs: ${samples[$name]% })"
  done
}

# The inputs are read once more before every timed run: the shared machine
# gives back page cache while the slow tools run for minutes, and the tool
# timed next would otherwise read some files from the disk, for the next
# tool to find in memory.
warm_inputs() { cat "$in"/* >/dev/null; if [ -d "${in_utf8:-}" ]; then cat "$in_utf8"/* >/dev/null; fi; }

# What the tool before wrote is flushed to the disk before the next run is
# timed: otherwise the kernel writes it back while the next tool runs, on
# one of the two cores, and a tool that uses both pays for the other's data.
settle() { sync; }

# Every run writes into a directory of its own, and nothing is deleted until
# the end: on ext4, creating files soon after many were deleted costs extra
# kernel time, which would fall on whichever tool runs next.
runs_dir="$work/runs"
if [ -e "$runs_dir" ]; then mv "$runs_dir" "$work/old-runs-$$"; fi
run_id=0
fresh_out() { out="$runs_dir/$((++run_id))"; mkdir -p "$out"; }
sed_copy() { out="$runs_dir/$((++run_id))"; mkdir -p "$runs_dir"; cp -r "$in" "$out"; }
# CPU seconds (user + system) of the child processes that finished between
# two `times` snapshots of this shell (taken without a subshell, which would
# not see them).
cpu_between() {
  awk 'FNR == 2 {split($1, u, /[ms]/); split($2, s, /[ms]/); t[NR > 2] = u[1] * 60 + u[2] + s[1] * 60 + s[2]}
       END {print t[1] - t[0]}' "$1" "$2"
}

run_loomwise() { "$batch" --quiet --rules "$rules" "$in" "$out"; }
run_loomwise_1() { "$batch" --quiet --jobs 1 --rules "$rules" "$in" "$out"; }
# The same corpus as UTF-8 text, converted in UTF-8 mode (case-insensitive
# rows fold all of Unicode there), beside the Windows-1252 run above.
in_utf8="$corpus/in-utf8"
if [ ! -d "$in_utf8" ] || [ "$in_utf8" -ot "$corpus/stamp" ]; then
  rm -rf "$in_utf8"; mkdir -p "$in_utf8"
  for f in "$in"/*; do iconv -f WINDOWS-1252 -t UTF-8 "$f" >"$in_utf8/${f##*/}"; done
fi
cat "$in_utf8"/* >/dev/null
run_loomwise_utf8() { "$batch" --quiet --encoding utf-8 --rules "$rules" "$in_utf8" "$out"; }
run_cat() { local f; for f in "$in"/*; do cat "$f" >"$out/${f##*/}"; done; }
run_cp() { cp "$in"/* "$out"/; }
run_sed_loop() {
  local f name
  for f in "$in"/*; do
    name="${f##*/}"
    LC_ALL=C sed -f "$corpus/sed/${name#*.}.sed" "$f" >"$out/lw${name%%.*}.htm"
  done
}
run_sed_single() {
  local ext
  for ext in txt nws faq; do
    LC_ALL=C sed -s -i -f "$corpus/sed/$ext.sed" "$out"/*."$ext"
  done
}
run_txt2html() {
  local f name
  for f in "${txt2html_files[@]}"; do
    name="${f##*/}"
    txt2html --outfile "$out/${name%%.*}.html" "$f" 2>/dev/null
  done
}
# Every k-th file, n of them, for the slow tools.
pick_files() {
  find "$in" -maxdepth 1 -type f | sort | awk -v n="$files" -v k="$1" 'NR % int(n / k) == 0' |
    head -n "$1"
}
subset_files=()
txt2html_files=()
run_pandoc() {
  local f name
  for f in "${subset_files[@]}"; do
    name="${f##*/}"
    pandoc -f markdown -t html -o "$out/${name%%.*}.html" "$f" 2>/dev/null
  done
}

load0=$(cut -d' ' -f1-3 /proc/loadavg)
say "Timing, median of $runs run(s):"
time_tool "loomwise-batch" "$bytes" 1 fresh_out run_loomwise
time_tool "loomwise-batch --jobs 1" "$bytes" 1 fresh_out run_loomwise_1
time_tool "cp, one process" "$bytes" 1 fresh_out run_cp
time_tool "loomwise-batch --encoding utf-8 (the corpus as UTF-8)" "$(bytes_of "$in_utf8")" 1 \
  fresh_out run_loomwise_utf8
time_tool "cat, one process per file" "$bytes" 1 fresh_out run_cat
time_tool "sed, one process per file" "$bytes" 1 fresh_out run_sed_loop
time_tool "sed -s -i, one process per file type" "$bytes" 1 sed_copy run_sed_single
if have txt2html; then
  if [ "$txt2html_subset" -gt 0 ]; then
    mapfile -t txt2html_files < <(pick_files "$txt2html_subset")
    scale=$(echo "$files / ${#txt2html_files[@]}" | bc -l)
    label="txt2html, ${#txt2html_files[@]} files scaled x$(printf '%.0f' "$scale")"
  else
    txt2html_files=("$in"/*)
    scale=1 label="txt2html, one process per file"
  fi
  time_tool "$label" "$bytes" "$scale" fresh_out run_txt2html
else
  say "  txt2html: not installed, skipped"
fi
if have pandoc; then
  mapfile -t subset_files < <(pick_files "$subset")
  scale=$(echo "$files / ${#subset_files[@]}" | bc -l)
  time_tool "pandoc, ${#subset_files[@]} files scaled x$(printf '%.0f' "$scale")" "$bytes" "$scale" \
    fresh_out run_pandoc
else
  say "  pandoc: not installed, skipped"
fi
time_all

# The default run beside one cp process once more, in many short rounds:
# the disk's speed swings for seconds at a time (after many files are
# deleted, while written data is flushed), and both runs of a round meet the
# same swing, so the ratio within each round is steadier than the ratio of
# two medians of a few runs. Which of the two goes first is drawn each round.
pair="$work/pair.tsv"
: >"$pair"
pair_rounds=15
[ "$smoke" = 1 ] && pair_rounds=1
say "Loomwise beside cp, $pair_rounds rounds:"
for ((i = 0; i < pair_rounds; i++)); do
  order=(run_loomwise run_cp)
  ((RANDOM % 2)) && order=(run_cp run_loomwise)
  declare -A took=()
  for run in "${order[@]}"; do
    fresh_out
    warm_inputs
    settle
    t0=$(now); "$run"; t1=$(now)
    took[$run]=$(echo "$t1 - $t0" | bc -l)
  done
  printf '%s\t%s\n' "${took[run_loomwise]}" "${took[run_cp]}" >>"$pair"
  unset took
done

# Peak memory of the default run (and of the largest corpus).
peak_kb() {
  fresh_out
  /usr/bin/time -v "$batch" --quiet --rules "$rules" "$1" "$out" 2>&1 >/dev/null |
    awk -F': ' '/Maximum resident set size/ {print $2}'
}
mem_1=$(peak_kb "$in")
say "  peak memory: $mem_1 kB"

# Cost growth: the same run on 1x, 2x and 4x the corpus. The sizes take
# turns within each round, so that a change in the machine's load falls on
# all of them alike; at least five rounds outside the smoke run.
growth="$work/growth.tsv"
sizes=(1 "${scales[@]}")
growth_runs=$runs
[ "$smoke" = 0 ] && [ "$growth_runs" -lt 5 ] && growth_runs=5
dir_of() { if [ "$1" = 1 ]; then echo "$in"; else echo "$corpus/in-x$1"; fi; }
for k in "${sizes[@]}"; do cat "$(dir_of "$k")"/* >/dev/null; : >"$work/growth-$k"; done
for ((i = 0; i < growth_runs; i++)); do
  for k in "${sizes[@]}"; do
    fresh_out
    cat "$(dir_of "$k")"/* >/dev/null
    times >"$work/times0"; t0=$(now)
    "$batch" --quiet --rules "$rules" "$(dir_of "$k")" "$out"
    t1=$(now); times >"$work/times1"
    printf '%s\t%s\n' "$(echo "$t1 - $t0" | bc -l)" "$(cpu_between "$work/times0" "$work/times1")" \
      >>"$work/growth-$k"
  done
done
: >"$growth"
for k in "${sizes[@]}"; do
  d=$(dir_of "$k")
  m=$(cut -f1 "$work/growth-$k" | median)
  c=$(cut -f2 "$work/growth-$k" | median)
  printf '%s\t%s\t%s\t%s\t%s\n' "$k" "$(bytes_of "$d")" "$m" "$(peak_kb "$d")" "$c" >>"$growth"
  say "  loomwise-batch on ${k}x: $m s, $c CPU s"
done

# Micro benchmarks of the engine, when they are built (not in the smoke run).
micro="${LOOMWISE_MICRO_BENCH:-$build/bench/loomwise-bench}"
micro_out="$work/micro.txt"
: >"$micro_out"
if [ "$smoke" = 0 ] && [ -x "$micro" ]; then
  say "Micro benchmarks ($micro)"
  "$micro" --benchmark_min_time=0.2 2>/dev/null | awk '/^BM_/ {print $1 "\t" $4 " " $5 "\t" $NF}' \
    >"$micro_out" || true
fi

# --- report ------------------------------------------------------------
cpu=$(awk -F': ' '/model name/ {print $2; exit}' /proc/cpuinfo)
mem=$(awk '/MemTotal/ {printf "%.1f GB", $2 / 1048576}' /proc/meminfo)
python3 - "$table" "$growth" "$results" "$files" "$lines" "$bytes" "$runs" "$(nproc)" "$cpu" "$mem" \
  "$(date -u '+%Y-%m-%d %H:%M UTC')" "$smoke" "$load0" "$(cut -d' ' -f1-3 /proc/loadavg)" "$micro_out" \
  "$pair" <<'PY'
import statistics, sys
(table, growth, results, files, lines, size, runs, cores, cpu, mem, date, smoke, load0, load1,
 micro_path, pair_path) = sys.argv[1:]
rows = [l.rstrip("\n").split("\t") for l in open(table)]
mb = int(size) / 1e6
base = float(rows[0][1])
out = []
out.append("# Benchmark results" + (" (smoke run)" if smoke == "1" else ""))
out.append("")
out.append("Made by `bench/run.sh` on %s." % date)
out.append("")
out.append("- Machine: %s cores, %s, %s memory" % (cores, cpu, mem))
out.append("- Corpus: %s files of about %s lines, %.1f MB (10^6 bytes), three file types, "
           "24 constraints; page cache warm, and what the run before wrote flushed to the disk "
           "before each run" % (files, lines, mb))
out.append("- Each time is the median of %s run(s), the tools taking turns, wall clock; CPU "
           "seconds are user plus "
           "system time of the processes; loomwise-batch uses one thread per core unless "
           "--jobs says otherwise" % runs)
out.append("- Load average before and after: %s / %s (the machine is shared)" % (load0, load1))
out.append("")
out.append("| Tool | Seconds | MB/s | Ratio to Loomwise | CPU seconds |")
out.append("|---|---:|---:|---:|---:|")
secs = {}
for name, s, _size, _scale, _samples, cpu in rows:
    s = float(s)
    secs[name] = s
    out.append("| %s | %.3f | %.1f | %.2f | %.2f |" % (name, s, mb / s if s > 0 else 0, s / base,
                                                     float(cpu)))
pairs = [[float(x) for x in l.split("\t")] for l in open(pair_path) if l.strip()]
ratios = sorted(lw / cp for lw, cp in pairs)
pair_ratio = statistics.median(ratios)
quarter = len(ratios) // 4
out.append("")
out.append("Loomwise beside one cp process, %d rounds in turn (which goes first drawn each round): "
           "median %.3f s against %.3f s; the ratio within a round has median %.2f, middle half "
           "%.2f to %.2f, all %.2f to %.2f"
           % (len(pairs), statistics.median(p[0] for p in pairs),
              statistics.median(p[1] for p in pairs), pair_ratio, ratios[quarter],
              ratios[len(ratios) - 1 - quarter], ratios[0], ratios[-1]))
# The rounds where the disk let cp run at its fastest are where the program's
# own cost shows most: a slow disk slows both tools alike.
fastest_cp = min(cp for _lw, cp in pairs)
fast = sorted(lw / cp for lw, cp in pairs if cp <= 1.15 * fastest_cp)
out.append("")
out.append("In the %d of those rounds where cp took at most 15%% more than its fastest (%.3f s), "
           "the ratio has median %.2f, all %.2f to %.2f"
           % (len(fast), fastest_cp, statistics.median(fast), fast[0], fast[-1]))
g = [l.rstrip("\n").split("\t") for l in open(growth)]
out.append("")
out.append("Peak memory of loomwise-batch (maximum resident set size): %.1f MB on the corpus"
           % (int(g[0][3]) / 1024))
out.append("")
out.append("| Corpus | Files | MB | Seconds | ms per MB | CPU ms per MB | Peak memory (MB) |")
out.append("|---|---:|---:|---:|---:|---:|---:|")
per_mb = []
for k, b, s, kb, cpu in g:
    m = int(b) / 1e6
    per_mb.append(float(s) * 1000 / m)
    out.append("| %sx | %d | %.1f | %.3f | %.2f | %.2f | %.1f |"
               % (k, int(files) * int(k), m, float(s), per_mb[-1], float(cpu) * 1000 / m,
                  int(kb) / 1024))
micro = [l.rstrip("\n").split("\t") for l in open(micro_path) if l.strip()]
if micro:
    out.append("")
    out.append("Micro benchmarks (`loomwise-bench`, Google Benchmark; CPU time per call; `long:1` is "
               "a line of 100 typical lines, for ConvertFile a page of 400 lines of 20 each; "
               "`cs:0` case-insensitive):")
    out.append("")
    out.append("| Benchmark | CPU time | Throughput |")
    out.append("|---|---:|---:|")
    for name, t, rate in micro:
        out.append("| %s | %s | %s |" % (name, t, rate.replace("bytes_per_second=", "")
                                          if "bytes_per_second" in rate else ""))
out.append("")
out.append("Targets" + (" (a smoke run is too small for the figures to mean anything)"
                       if smoke == "1" else "") + ":")
out.append("")
def target(text, ok):
    out.append("- %s: %s" % (text, "holds" if ok else "DOES NOT HOLD"))
def find(prefix):
    for name, s in secs.items():
        if name.startswith(prefix):
            return s
    return None
cat, cp = find("cat"), find("cp")
if cat:
    target("at most 3x the cat floor (%.2fx)" % (base / cat), base <= 3 * cat)
if cp:
    target("at most 1.5x the one-process cp (the rounds in turn: %.2fx; the table: %.2fx)"
           % (pair_ratio, base / cp), pair_ratio <= 1.5)
s = find("sed, one process per file")
if s:
    target("at least 5x faster than the per-file sed loop (%.1fx)" % (s / base), s >= 5 * base)
s = find("sed -s")
if s:
    target("at least 1.5x faster than sed in one process per type (%.2fx)" % (s / base),
           s >= 1.5 * base)
s = find("txt2html")
if s:
    target("at least 20x faster than txt2html (%.0fx)" % (s / base), s >= 20 * base)
s = find("loomwise-batch --encoding utf-8")
if s:
    target("UTF-8 mode within 1.3x of Windows-1252 mode (%.2fx)" % (s / base), s <= 1.3 * base)
peak = int(g[0][3]) / 1024
target("peak memory at most 64 MB (%.1f MB)" % peak, peak <= 64)
spread = max(per_mb) / min(per_mb) - 1
target("time per MB flat within 20%% from 1x to %sx (spread %.0f%%)" % (g[-1][0], spread * 100),
       spread <= 0.2)
text = "\n".join(out) + "\n"
open(results, "w").write(text)
print(text)
PY
# How the cost grows with the rule table and with the number of files, in a
# RAM-backed directory where there is one; the plots beside the results.
say "Rule-count and file-count curves"
curve_args=(--runs "$runs")
[ "$smoke" = 1 ] && curve_args+=(--smoke)
[ "$smoke" = 0 ] && curve_args+=(--plots "$(dirname "$results")")
{ echo; echo "## How the cost grows"; echo; "${plot_python:-python3}" "$root/bench/curves.py" "$batch" "$corpus" "${curve_args[@]}"; } >>"$results"
say "Wrote $results"
rm -rf "$runs_dir" "$work"/old-runs-*
