#!/usr/bin/env bash
# Installs what building, running and testing need, from Debian's packages.
# Installs only what is missing, so a second run costs a few seconds.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config libgtest-dev
  # fuzzing and the sanitizer runtime
  clang libclang-rt-14-dev
  # the wizard, its headless tests and screenshots
  qt6-base-dev fonts-liberation2 fonts-dejavu-core xvfb xauth imagemagick desktop-file-utils
  # ZIP readers the repaired archives are checked with, and the peer tool we compare against
  unzip zip p7zip-full libarchive-tools python3 default-jdk-headless zlib1g-dev
  # the content check's decoders
  libisal-dev libbz2-dev liblzma-dev libzstd-dev
  # peak-memory figures in the benchmark
  time
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
