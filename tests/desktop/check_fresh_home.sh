#!/usr/bin/env bash
# The wizard installed into a prefix, started once with an empty home folder
# on a virtual display and closed with Cancel, leaves exactly its settings
# file and its log in the home folder, in folders only the user may enter.
# Usage: check_fresh_home.sh BUILD SCRATCH
set -u
build=$1 scratch=$2
for tool in xvfb-run xauth xdotool; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "$tool is not installed (scripts/setup.sh --tests installs it): skipped"
    exit 77
  fi
done
rm -rf "$scratch"
mkdir -p "$scratch/home"
trap 'rm -rf "$scratch"' EXIT
cmake --install "$build" --prefix "$scratch/prefix" --component wizard >/dev/null || exit 1

# Cancel sits at (407, 12) in the bottom strip of the window of 492 x 377,
# whose last 45 rows it fills: its middle is at (444, 356).
# Under the sanitizers, the leak checker passes over D-Bus, which Qt's X11
# platform opens and which keeps a buffer to the end.
cat >"$scratch/run.sh" <<'RUN'
env -i PATH=/usr/bin:/bin HOME="$HOME_FOLDER" DISPLAY="$DISPLAY" XAUTHORITY="$XAUTHORITY" \
  XDG_RUNTIME_DIR="$RUNTIME" QT_QPA_PLATFORM=xcb LSAN_OPTIONS="suppressions=$LEAKS" "$WIZARD" &
pid=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --name "Tessary" | head -1)
sleep 0.5
[ -n "$window" ] && xdotool mousemove --window "$window" 444 356 click 1
for _ in $(seq 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill "$pid" 2>/dev/null && { echo "the wizard did not close on Cancel"; exit 1; }
wait "$pid"
RUN
mkdir -m 700 "$scratch/runtime"
echo "leak:libdbus-1.so" >"$scratch/leaks"
HOME_FOLDER="$scratch/home" RUNTIME="$scratch/runtime" WIZARD="$scratch/prefix/bin/tessary" LEAKS="$scratch/leaks" \
  xvfb-run -a -s "-screen 0 1024x768x24" bash "$scratch/run.sh" || exit 1

# Folders with their modes, files by name.
made=$(cd "$scratch/home" && find . -mindepth 1 \( -type d -printf '%P/ %M\n' \) -o -printf '%P\n' |
  LC_ALL=C sort)
wanted=".config/ drwx------
.config/tessary/ drwx------
.config/tessary/velm.ini
.local/ drwx------
.local/state/ drwx------
.local/state/tessary/ drwx------
.local/state/tessary/tessary.log"
if [ "$made" != "$wanted" ]; then
  printf 'FAIL: the fresh home folder holds\n%s\ninstead of\n%s\n' "$made" "$wanted"
  exit 1
fi
echo "a fresh home folder gets the settings file and the log, in private folders"
