#!/usr/bin/env bash
# The main job: set up, build, and start the repair wizard, optionally with the
# path of a damaged archive. Where no display is available it repairs the
# small damaged sample archive that the build makes with tessary-cli instead,
# and says so. Installs and builds only what running needs (no tests), in its
# own build folder, build-run/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-run"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$build" -DTESSARY_TESTS=OFF
bin="$build/bin"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] || [ ! -x "$bin/tessary" ]; then
  sample="${1:-$build/sample/damaged_sample.zip}"
  echo "No display available: not starting the wizard."
  echo "Repairing $sample with tessary-cli instead."
  if [ $# -gt 0 ]; then
    exec "$bin/tessary-cli" "$sample"
  fi
  exec "$bin/tessary-cli" --force "$sample" -o "$build/sample/recovered_damaged_sample.zip"
fi
exec "$bin/tessary" "$@"
