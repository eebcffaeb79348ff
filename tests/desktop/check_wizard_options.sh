#!/usr/bin/env bash
# The wizard's --help and --version (and -h, -V) must answer and exit 0
# without a display, where starting Qt would abort the program, and write no
# settings or log file; its manual page must describe them and read cleanly.
# Usage: check_wizard_options.sh PROGRAM MANUAL_PAGE
set -u
program=$(realpath "$1") page=$2
failures=0
fail() {
  echo "FAIL: $*"
  failures=1
}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The state files a run of the wizard from the build tree would write.
beside="$(dirname "$program")/velm.ini $(dirname "$program")/tessary.log"
state_before=$(stat -c '%n %Y' $beside 2>/dev/null)

while IFS='|' read -r option wanted; do
  out=$(cd "$scratch" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
    HOME="$scratch" XDG_CONFIG_HOME="$scratch/config" XDG_STATE_HOME="$scratch/state" \
    timeout 20 "$program" $option 2>&1)
  status=$?
  [ "$status" -eq 0 ] || fail "tessary $option exited with $status: $out"
  [[ $out == "$wanted"* ]] || fail "tessary $option printed: $out"
done <<'EOF2'
--help|Usage: tessary [DAMAGED.zip]
-h|Usage: tessary [DAMAGED.zip]
--version|tessary (Quenlor Tessary
-V|tessary (Quenlor Tessary
-platform offscreen --version|tessary (Quenlor Tessary
EOF2
env -u DISPLAY -u WAYLAND_DISPLAY "$program" --help >/dev/full 2>/dev/null &&
  fail "tessary --help reported success though its text could not be written"

left=$(find "$scratch" \( -name velm.ini -o -name '*.log' \))
[ -z "$left" ] && [ "$(stat -c '%n %Y' $beside 2>/dev/null)" = "$state_before" ] ||
  fail "--help or --version wrote state files: $left"

for option in '\\-\\-help' '\\-\\-version' '\\-h' '\\-V'; do
  grep -q -- "$option" "$page" || fail "the manual page does not describe $option"
done
if command -v groff >/dev/null; then
  warnings=$(groff -man -ww -z "$page" 2>&1) || fail "groff failed on the manual page"
  [ -z "$warnings" ] || fail "groff: $warnings"
fi
exit $failures
