#!/usr/bin/env bash
# Walks the wizard through a repair on a virtual display and saves a picture
# of every page, of the stop question and the error display, of the open help
# menu and of the About box to docs/screenshots/ (the help pages show some of
# them). Usage: screenshots.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
"$root/scripts/setup.sh" --tests
"$root/scripts/build.sh" "$build"
out="$root/docs/screenshots"
mkdir -p "$out"
# A plain X server without a desktop: the wizard picks its own icon theme.
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" \
  "$build/bin/wizard_screenshots" "$out"
