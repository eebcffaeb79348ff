#!/usr/bin/env bash
# The main job: set up, build, and repair an archive.
# With no argument it repairs the small damaged sample archive that the build makes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build"
bin="$root/build/bin"
if [ $# -eq 0 ]; then
  sample="$root/build/sample/damaged_sample.zip"
  echo "Repairing the sample archive $sample"
  exec "$bin/tessary-cli" "$sample" -o "$root/build/sample/recovered_damaged_sample.zip"
fi
exec "$bin/tessary-cli" "$@"
