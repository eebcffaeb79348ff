#!/usr/bin/env bash
# Zip64 figures: recovery of entries written with zip64 fields (Python's
# zipfile with force_zip64, and Info-ZIP zip on an input over 4 GiB), and the
# repair time of an archive over 4 GiB beside cp of the same file.
#
# Usage: bench/zip64.sh [TESSARY_CLI]   (needs about 15 GB free in the scratch folder)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${1:-}
if [ -z "$cli" ]; then
  cmake -S "$root" -B "$root/build-bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSARY_GUI=OFF >/dev/null
  cmake --build "$root/build-bench" --target tessary-cli -j 2 >/dev/null
  cli="$root/build-bench/bin/tessary-cli"
fi
cli=$(cd "$(dirname "$cli")" && pwd)/$(basename "$cli")
scratch=$(mktemp -d "${BENCH_SCRATCH:-${TMPDIR:-/tmp}}/tessary-zip64.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
[ "${SKIP_RECOVERY:-}" ] || python3 "$root/bench/zip64_recovery.py" "$cli" "$scratch"

echo
echo "Archive over 4 GiB made by Info-ZIP zip (stored) from a sparse input, central directory cut off"
cd "$scratch"
truncate -s 4500M big.bin
printf 'small file behind the big one\n' > after.txt
/usr/bin/time -f "  zip -0 took %e s" zip -q -0 big.zip big.bin after.txt
rm big.bin
python3 - <<'PY'
import struct
d = open("big.zip", "rb+")
data_len = d.seek(0, 2)
# Find the central directory through the zip64 end record and cut it off.
d.seek(data_len - 22 - 20)
loc = d.read(20)
assert loc[:4] == b"PK\x06\x07", "no zip64 locator"
z64 = struct.unpack("<Q", loc[8:16])[0]
d.seek(z64 + 48)
cd = struct.unpack("<Q", d.read(8))[0]
d.truncate(cd)
print(f"  damaged archive: {cd:,} bytes")
PY
sync
cat big.zip >/dev/null
/usr/bin/time -f %e -o t_cp cp big.zip copy.zip
t_cp=$(cat t_cp)
rm copy.zip; sync
/usr/bin/time -f %e -o t_repair "$cli" -q -f big.zip -o repaired.zip
t_repair=$(cat t_repair)
python3 - "$t_cp" "$t_repair" <<'PY'
import sys
cp, rep = float(sys.argv[1]), float(sys.argv[2])
print(f"  cp {cp:.2f} s, tessary-cli repair {rep:.2f} s: {rep / cp:.2f}x cp")
PY
"$cli" --list big.zip | sed 's/^/  /'
for reader in "unzip -tq" "7z t" ; do
  if $reader repaired.zip >/dev/null 2>&1; then echo "  $reader: ok"; else echo "  $reader: FAILED"; fi
done
python3 -c "
import zipfile, sys
z = zipfile.ZipFile('repaired.zip')
bad = z.testzip()
print('  zipfile:', 'ok' if bad is None else 'bad CRC in ' + bad, [(i.filename, i.file_size) for i in z.infolist()])
"
