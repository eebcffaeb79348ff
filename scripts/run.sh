#!/usr/bin/env bash
# The main job: set up, build, and start the repair wizard, optionally with the
# path of a damaged archive. Where no display is available it repairs the
# small damaged sample archive that the build makes with tessary-cli instead,
# and says so.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build"
bin="$root/build/bin"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] || [ ! -x "$bin/tessary" ]; then
  sample="${1:-$root/build/sample/damaged_sample.zip}"
  echo "No display available: not starting the wizard."
  echo "Repairing $sample with tessary-cli instead."
  if [ $# -gt 0 ]; then
    exec "$bin/tessary-cli" "$sample"
  fi
  exec "$bin/tessary-cli" --force "$sample" -o "$root/build/sample/recovered_damaged_sample.zip"
fi
exec "$bin/tessary" "$@"
