#!/usr/bin/env bash
# Installs what is needed, builds, starts the test servers, runs every test,
# and stops the servers again.
#
# Every file scripts/test-env/NN-name.sh is sourced in order before the tests
# run. Such a file starts what its tests need, exports the variables that the
# tests read, and registers its clean-up with `on_exit "command"`.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"

# shellcheck source=lib/run-folder.sh
source "$root/scripts/lib/run-folder.sh" dezoriv-test

for env_script in "$root"/scripts/test-env/*.sh; do
  [ -e "$env_script" ] || continue
  # shellcheck source=/dev/null
  source "$env_script"
done

(cd "$build" && ctest --output-on-failure -j2 --timeout 900)

# The server build without Qt, its tests and the Debian package.
bash "$root/scripts/test-nogui.sh"
