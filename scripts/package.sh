#!/usr/bin/env bash
# Builds the Debian packages tessary-cli and tessary: the programs alone (no
# tests) in their own build folder, with the compiler and linker flags
# dpkg-buildflags gives (fortify, stack protector, relro, -z now, PIE),
# stripped; then checks them with lintian, which must find no error and no
# warning. The packages land in DIR/package (by default build-package/).
# Usage: package.sh [DIR] [extra cmake arguments]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build-package}
[ $# -gt 0 ] && shift
"$root/scripts/setup.sh" --package

# dpkg-buildflags maps the source folder to "." in the debug paths, as a
# Debian build does; CMake reads no CPPFLAGS, so they go with CXXFLAGS.
cd "$root"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
"$root/scripts/build.sh" "$dir" -DTESSARY_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" "$@"

rm -rf "$dir/package"
cpack -G DEB --config "$dir/CPackConfig.cmake" -B "$dir/package" >/dev/null
rm -rf "$dir/package/_CPack_Packages"
ls "$dir"/package/*.deb
# Informational tags are shown too; each one silenced is explained where it
# is, in the package's lintian overrides.
lintian --fail-on error,warning --display-info "$dir"/package/*.deb
