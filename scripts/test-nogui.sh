#!/usr/bin/env bash
# The server build: configures build-nogui/ (or $NOGUI_BUILD_DIR) with
# -DDEZORIV_GUI=OFF, builds the program and the tests that need no window,
# runs them, then builds the Debian package from that build and checks it
# (tests/packaging/package_test.sh). Expects the test servers of
# scripts/run-tests.sh to be running (it is called from there).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${NOGUI_BUILD_DIR:-$root/build-nogui}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} -DDEZORIV_GUI=OFF \
  -DDEZORIV_BENCH=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
targets=(dezoriv shell_tests shell_program_tests check_command_tests translate_command_tests fake-api)
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"
# The program must not link Qt at all.
if objdump -p "$build/app/dezoriv" | grep -qi 'NEEDED.*libQt'; then
  echo "the GUI-off program links Qt" >&2
  exit 1
fi
(cd "$build" && ctest --output-on-failure -j2 --timeout 600 \
  -E '_NOT_BUILT')

deb=$(PACKAGE_BUILD_DIR="$build" bash "$root/scripts/package.sh" | tail -1)
bash "$root/tests/packaging/package_test.sh" "$deb"
