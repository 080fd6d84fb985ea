#!/usr/bin/env bash
# Installs what is needed, builds, starts the test servers, runs every test,
# and stops the servers again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"

cd "$build"
ctest --output-on-failure -j2 --timeout 600
