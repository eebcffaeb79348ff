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
build=$(cd "$build" && pwd)
out="$root/docs/screenshots"
mkdir -p "$out"
# A plain X server without a desktop: the wizard picks its own icon theme.
shoot() {
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" \
    "$build/bin/wizard_screenshots" "$out" "$@"
}
# The pictures show the sample archive where a user keeps downloads. It is put
# there in a private mount namespace, on a scratch /home that vanishes with
# it, so no real home folder is touched. Without namespaces, or when the work
# tree itself lies under /home, it stays in a scratch folder.
user_home=/home/anna
namespace=yes
for dir in "$root" "$build"; do
  case "$dir" in /home/*) namespace=no ;; esac
done
if [ "$namespace" = yes ] && unshare --mount --map-root-user true 2>/dev/null; then
  unshare --mount --map-root-user bash -c "$(declare -f shoot)
    set -euo pipefail
    mount -t tmpfs tmpfs /home
    mkdir -p '$user_home/Downloads'
    build='$build' out='$out' HOME='$user_home' shoot '$user_home/Downloads'"
else
  shoot
fi
