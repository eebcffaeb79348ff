#!/usr/bin/env bash
# Sets up, builds and starts the repair wizard, optionally with the path of a
# damaged archive. Where no display is available it repairs the sample
# archive with the command-line tool instead, and says so.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build"
bin="$root/build/bin"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  sample="$root/build/sample/damaged_sample.zip"
  echo "No display available: not starting the wizard."
  echo "Repairing the sample archive $sample with tessary-cli instead."
  exec "$bin/tessary-cli" "$sample" -o "$root/build/sample/recovered_damaged_sample.zip"
fi
if [ ! -x "$bin/tessary" ]; then
  echo "The wizard was not built (Qt 6 is missing); use scripts/run.sh for the command-line tool." >&2
  exit 1
fi
exec "$bin/tessary" "$@"
