#!/usr/bin/env bash
# Builds the Debian package dist/dezoriv_<version>_amd64.deb: the program
# without the window (-DDEZORIV_GUI=OFF, no Qt), the systemd unit, the
# sample DEZORiv.ini and the maintainer scripts (packaging/). Its library
# dependencies are computed by dpkg-shlibdeps.
#
#   bash scripts/package.sh
#   apt install ./dist/dezoriv_*.deb
#
# PACKAGE_BUILD_DIR names the build folder (default build-package/); an
# existing GUI-off build with tests (scripts/test-nogui.sh) may be reused.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PACKAGE_BUILD_DIR:-$root/build-package}
dist=$root/dist

bash "$root/scripts/install-deps.sh"
options=(-DDEZORIV_GUI=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON)
if [ -z "${PACKAGE_BUILD_DIR:-}" ]; then
  options+=(-DCMAKE_BUILD_TYPE=Release -DDEZORIV_TESTS=OFF -DDEZORIV_BENCH=OFF)
fi
cmake -S "$root" -B "$build" "${options[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target dezoriv

rm -rf "$build/_package"
(cd "$build" && cpack -G DEB -B "$build/_package" >/dev/null)
mkdir -p "$dist"
deb=$(ls "$build"/_package/dezoriv_*_amd64.deb)
cp "$deb" "$dist/"
echo "$dist/$(basename "$deb")"
