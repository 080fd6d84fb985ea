# Sourced by scripts that start throwaway servers (run-tests.sh, bench.sh):
# makes the run's folder DEZORIV_TEST_RUN_DIR (mktemp with the given prefix,
# readable by the postgres user), defines `on_exit "command"` for the
# scripts of scripts/test-env/, and runs the registered commands in reverse
# order, then removes the folder, when the script exits.
#   source scripts/lib/run-folder.sh dezoriv-test
export DEZORIV_TEST_RUN_DIR
DEZORIV_TEST_RUN_DIR=$(mktemp -d "/tmp/${1:-dezoriv-run}.XXXXXX")
chmod 755 "$DEZORIV_TEST_RUN_DIR"
cleanups=()
on_exit() { cleanups+=("$1"); }
run_cleanups() {
  local i
  for ((i=${#cleanups[@]}-1; i>=0; i--)); do eval "${cleanups[i]}" || true; done
  rm -rf "$DEZORIV_TEST_RUN_DIR"
}
trap run_cleanups EXIT
