#!/usr/bin/env bash
# Installs, builds and runs the service's main job once on the embedded default.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"
"${BUILD_DIR:-$root/build}/app/dezoriv"
