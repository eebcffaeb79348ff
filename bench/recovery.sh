#!/usr/bin/env bash
# The recovery comparison, in one command: builds tessary-cli in release mode
# and runs bench/recovery.py, which damages archives of many kinds and counts
# the entries tessary-cli and zip -FF bring back intact; then
# bench/verify_agreement.py, which counts where tessary-cli --verify and
# Python's zipfile disagree on the same repaired archives.
# Usage: bench/recovery.sh [--keep] [--work DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build-bench}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSARY_GUI=OFF >/dev/null
cmake --build "$build" --target tessary-cli -j 2 >/dev/null
python3 "$root/bench/recovery.py" --cli "$build/bin/tessary-cli" "$@"
python3 "$root/bench/verify_agreement.py" --cli "$build/bin/tessary-cli"
