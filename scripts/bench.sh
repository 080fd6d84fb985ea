#!/usr/bin/env bash
# Runs every benchmark and prints each goal's ratio beside its goal.
#
#   bash scripts/bench.sh [quick]
#
# Builds the benchmarks in build/ (or $BUILD_DIR), starts the servers they
# need (a throwaway PostgreSQL; Firebird runs embedded; the export starts
# tools/fake-api itself), runs them one after the other with their JSON
# output in bench-results/, stops the servers, and prints one line per goal:
#   goal, measured ratio, the goal's limit, met or not.
# "quick" leaves out the write-off cases of 3,000 and 10,000 orders (the
# whole run takes about 15 minutes on 2 cores; quick about 3).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
results=$root/bench-results
quick=${1:-}

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} -DDEZORIV_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target dataaccess_bench sqltranslate_bench bench_writeoff export_run_bench fake-api

# shellcheck source=lib/run-folder.sh
source "$root/scripts/lib/run-folder.sh" dezoriv-bench
# shellcheck source=/dev/null
source "$root/scripts/test-env/10-postgres.sh"

mkdir -p "$results"
run() {  # run NAME BINARY [ARGS...]
  local name=$1 bin=$2
  shift 2
  echo "== $name" >&2
  "$bin" --benchmark_out="$results/$name.json" --benchmark_out_format=json "$@" >&2
}
run dataaccess "$build/bench/dataaccess/dataaccess_bench" --benchmark_repetitions=3
run sqltranslate "$build/bench/sqltranslate/sqltranslate_bench" --benchmark_filter='mixed1k'
if [ "$quick" = quick ]; then
  run writeoff "$build/bench/writeoff/bench_writeoff" --benchmark_filter='orders:(100|1000)/'
else
  run writeoff "$build/bench/writeoff/bench_writeoff"
fi
run export "$build/bench/export/export_run_bench"

echo
python3 "$root/scripts/bench-goals.py" "$results"
