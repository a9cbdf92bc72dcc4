#!/usr/bin/env bash
# Builds the Debian package in a Release build of its own (default build-pkg/, or the
# folder given) with Debian's hardening flags, and prints the package's path.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build-pkg}")
bash "$root/scripts/install-deps.sh" >&2
cd "$root"   # dpkg-buildflags maps the current folder out of the debugging paths
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
eval "$(dpkg-buildflags --export=sh)"
# CMake reads no CPPFLAGS: the fortify define goes with the compiler flags.
export CFLAGS="$CPPFLAGS $CFLAGS" CXXFLAGS="$CPPFLAGS $CXXFLAGS"
# Only the program and its documents: installing must not wait for the benchmarks.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVDX_TESTS=OFF \
  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >&2
cmake --build "$build" -j"$(nproc)" --target vandrix-discover vdx_docs >&2
version=$(sed -n 's/^project(VandrixDiscover VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
deb="$build/vandrix-discover_${version}_$(dpkg --print-architecture).deb"
rm -f "$deb"
(cd "$build" && cpack -G DEB >&2)
[ -f "$deb" ] || { echo "package.sh: $deb was not made" >&2; exit 1; }
echo "$deb"
