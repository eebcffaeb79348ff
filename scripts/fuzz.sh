#!/usr/bin/env bash
# Builds the engine's fuzz target with clang and runs it for SECONDS (default
# 60) on a copy of fuzz/corpus in a scratch folder. Exits non-zero on any
# crash, leak, timeout or sanitizer report; the input that caused it is kept
# and its path printed.
#
# Environment: FUZZ_BUILD_DIR (default build-fuzz), FUZZ_WORK (scratch folder,
# kept when given; default a temporary one, removed after a clean run),
# FUZZ_MAX_LEN (largest input tried, default 16384).
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
max_len=${FUZZ_MAX_LEN:-16384}

# The fuzz tree needs no wizard; tests stay configured (not built) because
# their folder expects GoogleTest to have been looked for.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DTESSARY_FUZZ=ON \
  -DTESSARY_GUI=OFF -DTESSARY_WERROR=ON >/dev/null
cmake --build "$build" --target arcsalve_fuzzer -j 2
fuzzer=$build/bin/arcsalve_fuzzer

if [ -n "${FUZZ_WORK:-}" ]; then
  work=$FUZZ_WORK
  keep=1
  mkdir -p "$work"
else
  work=$(mktemp -d "${TMPDIR:-/tmp}/tessary-fuzz.XXXXXX")
  keep=0
fi
mkdir -p "$work/corpus" "$work/artifacts"
cp -n "$root"/fuzz/corpus/* "$work/corpus/"

echo "Fuzzing for ${seconds}s in $work"
status=0
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:symbolize=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  "$fuzzer" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len="$max_len" \
  -print_final_stats=1 -artifact_prefix="$work/artifacts/" "$work/corpus" \
  >"$work/fuzz.log" 2>&1 || status=$?

grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::peak_rss_mb|Done [0-9]+ runs)' \
  "$work/fuzz.log" || true
artifacts=$(find "$work/artifacts" -type f | head -20)
if [ "$status" -ne 0 ] || [ -n "$artifacts" ] ||
  grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:' "$work/fuzz.log"; then
  echo "FUZZING FAILED (exit status $status). Log: $work/fuzz.log" >&2
  grep -E -A 30 'ERROR: |runtime error:|arcsalve_fuzzer: ' "$work/fuzz.log" | head -60 >&2 || true
  for a in $artifacts; do
    echo "Failing input: $a (replay: $fuzzer $a)" >&2
  done
  exit 1
fi
echo "No crash, leak or sanitizer report."
[ "$keep" -eq 1 ] || rm -rf "$work"
