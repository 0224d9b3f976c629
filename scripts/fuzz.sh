#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the libFuzzer targets (clang, ASan + UBSan) in build-fuzz/ and runs
# each for a bounded time: FUZZ_SECONDS each (default 30). Exits non-zero when
# a target finds a crash, a hang or a leak; the input that found it is copied
# to fuzz/regressions/<target>/, where the normal test suite replays it.
#   scripts/fuzz.sh                 every target
#   scripts/fuzz.sh transcode       only the named targets
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds="${FUZZ_SECONDS:-30}"
all_targets=(constraint_ops convert_file pair_names transcode rule_database)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all_targets[@]}")

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
if ! command -v clang++ >/dev/null || ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  echo "Installing clang and the libFuzzer runtime..."
  as_root apt-get update -qq
  as_root apt-get install -y -qq clang libclang-rt-14-dev
fi

cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DLOOMWISE_FUZZ=ON -DLOOMWISE_BUILD_TESTS=OFF -DLOOMWISE_BUILD_UI=OFF -DLOOMWISE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target $(printf 'fuzz_%s ' "${targets[@]}") >/dev/null

failed=()
for t in "${targets[@]}"; do
  max_len=4096
  [ "$t" = rule_database ] && max_len=65536
  work="$build/corpus/$t"
  artifacts="$build/artifacts/$t"
  mkdir -p "$work" "$artifacts"
  rm -f "$artifacts"/*
  log="$build/fuzz-$t.log"
  echo "== $t: ${seconds}s"
  status=0
  # The fuzzer grows its own corpus in build-fuzz; the seeds in the repository
  # stay small and are only read.
  "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len="$max_len" -print_final_stats=1 -artifact_prefix="$artifacts/" \
    "$work" "$root/fuzz/corpus/$t" >"$log" 2>&1 || status=$?
  grep -E '^(Done [0-9]+ runs|stat::number_of_executed_units)' "$log" | tail -2 || true
  if [ "$status" -ne 0 ] || ls "$artifacts"/* >/dev/null 2>&1; then
    mkdir -p "$root/fuzz/regressions/$t"
    for a in "$artifacts"/*; do
      [ -e "$a" ] || continue
      cp "$a" "$root/fuzz/regressions/$t/$(basename "$a")"
      echo "   found: fuzz/regressions/$t/$(basename "$a")"
    done
    grep -E 'ERROR|SUMMARY|FuzzFailure|what\(\)' "$log" | head -5 || true
    echo "   log: $log"
    failed+=("$t")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "Fuzzing found faults in: ${failed[*]}"
  exit 1
fi
echo "Fuzzing found nothing in ${#targets[@]} target(s)."
