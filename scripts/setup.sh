#!/usr/bin/env bash
# Installs, from Debian's packages, what building and running need; with
# --package also what making and checking the Debian packages needs, and
# with --tests that and what the tests, the fuzzing run and the benchmarks
# need. Installs only what is missing, so a second run costs a few seconds.
# Installing needs root: through sudo when not root.
# Usage: setup.sh [--tests | --package]
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config
  # the wizard, under X11 and Wayland, with the fonts its pages are laid out
  # for and the opener of links and repaired archives
  qt6-base-dev qt6-wayland fonts-liberation2 fonts-dejavu-core xdg-utils
  # the content check's decoders
  libisal-dev libbz2-dev liblzma-dev libzstd-dev
)

test_packages=(
  # unit tests and ZIP archives made by the tests
  libgtest-dev zlib1g-dev
  # fuzzing and the sanitizer runtime
  clang libclang-rt-14-dev
  # the wizard's headless tests and screenshots, and a click on its window
  xvfb xauth imagemagick xdotool
  # the desktop entry, metainfo and completions
  desktop-file-utils appstream bash-completion
  # ZIP readers the repaired archives are checked with, and the peer tool we compare against
  unzip zip p7zip-full libarchive-tools python3 default-jdk-headless
  # peak-memory figures in the benchmark
  time
)

# cpack, dpkg-shlibdeps and the check of the packages; cpack needs `file`,
# which a minimal system lacks.
package_packages=(dpkg-dev file lintian)

case "${1:-}" in
  --tests) packages+=("${test_packages[@]}" "${package_packages[@]}") ;;
  --package) packages+=("${package_packages[@]}") ;;
  "") ;;
  *) echo "Usage: $0 [--tests | --package]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "$0: missing packages: ${missing[*]}" >&2
    echo "Installing them needs root, and sudo is not installed: run '$0 ${1:-}' as root." >&2
    exit 1
  fi
  sudo_cmd=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
