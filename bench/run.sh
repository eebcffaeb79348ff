#!/usr/bin/env bash
# The benchmark, in one command: builds tessary-cli in release mode, generates
# a damaged archive of about 1 GiB in a scratch folder and measures the scan
# and the whole repair beside cat, cp and zip -FF on the same file.
#
# Usage: bench/run.sh [MIB]      (default 1024; the scratch folder needs about
#                                 three times that much free space)
# Environment: BENCH_BUILD_DIR (default build-bench), BENCH_SCRATCH (a folder
# on the disk to measure; default a new one under TMPDIR or /tmp, removed at
# the end), BENCH_RUNS (default 3), BENCH_TINY_ENTRIES (default 1000000).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mib=${1:-1024}
build=${BENCH_BUILD_DIR:-$root/build-bench}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSARY_GUI=OFF >/dev/null
cmake --build "$build" --target tessary-cli tessary-stages-bench -j 2 >/dev/null

scratch=$(mktemp -d "${BENCH_SCRATCH:-${TMPDIR:-/tmp}}/tessary-bench.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
python3 "$root/bench/bench.py" "$build/bin/tessary-cli" "$scratch" --mib "$mib" \
  --stages "$build/bin/tessary-stages-bench" \
  --runs "${BENCH_RUNS:-3}" --tiny-entries "${BENCH_TINY_ENTRIES:-1000000}"
