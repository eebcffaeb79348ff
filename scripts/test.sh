#!/usr/bin/env bash
# Sets up, builds and runs every test: the normal build, a short fuzzing run,
# and the same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
# The slow checks (archives over 4 GiB, 70,000 entries) run in the normal
# build only.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" --tests
jobs=$(nproc)

"$root/scripts/build.sh" "$root/build" -DTESSARY_WERROR=ON
ctest --test-dir "$root/build" --output-on-failure -j "$jobs"

"$root/scripts/fuzz.sh" "${FUZZ_SECONDS:-60}"

"$root/scripts/build.sh" "$root/build-asan" -DTESSARY_WERROR=ON -DTESSARY_SANITIZE=ON \
  -DCMAKE_BUILD_TYPE=Debug
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir "$root/build-asan" --output-on-failure -j "$jobs" -LE slow
