#!/usr/bin/env bash
# The content check's benchmark: generates the benchmark's damaged archive,
# repairs it with tessary-cli into a well-formed one, and times the check of
# every entry of that archive (one thread, then two) beside `7z t` and
# `unzip -t` on the same file, all from the page cache. Then the repair of the
# damaged archive with and without `tessary-cli --verify`, and
# `tessary-cli --list --verify` of the repaired one (the check alone).
#
# Usage: bench/check.sh [MIB]      (default 1024; the scratch folder needs
#                                   about twice that much free space)
# Environment: BENCH_BUILD_DIR (default build-bench), BENCH_SCRATCH (a folder
# for the scratch files; default TMPDIR or /tmp), BENCH_THREADS (default "1 2").
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mib=${1:-1024}
build=${BENCH_BUILD_DIR:-$root/build-bench}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSARY_GUI=OFF >/dev/null
cmake --build "$build" --target tessary-cli tessary-check-bench -j 2 >/dev/null

scratch=$(mktemp -d "${BENCH_SCRATCH:-${TMPDIR:-/tmp}}/tessary-check.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
damaged=$scratch/damaged.zip
archive=$scratch/repaired.zip
python3 "$root/bench/make_archive.py" mixed "$damaged" --mib "$mib"
"$build/bin/tessary-cli" --quiet "$damaged" -o "$archive" || true
bytes=$(stat -c %s "$archive")
echo "archive: $bytes bytes, $(nproc) cores"
cat "$archive" >/dev/null # into the page cache

# Prints wall seconds, archive MB per wall second, CPU seconds (user + system:
# the fairer figure on a machine others share) and peak memory for one
# command; its output goes to a log beside the archive for the lines below.
measure() {
  local label=$1; shift
  local log=$scratch/$label.log
  /usr/bin/time -f "%e %U %S %M" -o "$scratch/time" "$@" >"$log" 2>&1 || true
  read -r seconds user system rss <"$scratch/time"
  awk -v l="$label" -v s="$seconds" -v u="$user" -v y="$system" -v r="$rss" -v b="$bytes" \
    'BEGIN { printf "%-18s %7.2f s wall %6.0f MB/s %7.2f s CPU %8d KiB max RSS\n",
             l, s, (s > 0 ? b / 1e6 / s : 0), u + y, r }'
}

for t in ${BENCH_THREADS:-1 2}; do
  measure "check-threads-$t" "$build/bin/tessary-check-bench" "$archive" "$t"
  grep '^threads' "$scratch/check-threads-$t.log" | sed 's/^/    /'
done
measure "7z-t" 7z t "$archive"
grep -E '^(Everything is Ok|Files:|Errors:|Sub items Errors:)' "$scratch/7z-t.log" | sed 's/^/    /' || true
measure "unzip-t" unzip -tq "$archive"
tail -n 1 "$scratch/unzip-t.log" | sed 's/^/    /'

# The command-line tool itself: repair alone, repair with the check beside it,
# and the check of the repaired archive alone. Peak memory is the figure to
# hold against the limit of 32 MiB.
cat "$damaged" >/dev/null
measure "repair" "$build/bin/tessary-cli" --quiet -f "$damaged" -o "$scratch/plain.zip"
rm -f "$scratch/plain.zip"
measure "repair --verify" "$build/bin/tessary-cli" --quiet --verify -f "$damaged" \
  -o "$scratch/verified.zip"
rm -f "$scratch/verified.zip"
measure "--list --verify" "$build/bin/tessary-cli" --list --verify "$archive"
tail -n 1 "$scratch/--list --verify.log" | sed 's/^/    /'
