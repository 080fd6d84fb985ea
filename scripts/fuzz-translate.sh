#!/usr/bin/env bash
# Builds the translator's libFuzzer target with clang into build-fuzz/ and runs
# it for a bounded time over a copy of the seed corpus.
#
#   bash scripts/fuzz-translate.sh [seconds]     (default 60)
#
# New interesting inputs go to build-fuzz/corpus; crashes, leaks and slow
# inputs to build-fuzz/artifacts. Copy a finding worth keeping into
# tests/sqltranslate/corpus so that the normal test run replays it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${FUZZ_DIR:-$root/build-fuzz}
seconds=${1:-60}
mkdir -p "$out/corpus" "$out/artifacts"

clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I "$root/sqltranslate/include" \
  "$root"/sqltranslate/src/*.cpp \
  "$root/tests/sqltranslate/FuzzTranslate.cpp" \
  "$root/tests/sqltranslate/fuzz/FuzzTarget.cpp" \
  -o "$out/fuzz-translate"

cp -n "$root"/tests/sqltranslate/corpus/* "$out/corpus/" 2>/dev/null || true
"$out/fuzz-translate" "$out/corpus" \
  -max_total_time="$seconds" -max_len=4096 -len_control=${FUZZ_LEN_CONTROL:-100} -timeout=5 -rss_limit_mb=2048 \
  -dict="$root/tests/sqltranslate/fuzz/translate.dict" \
  -artifact_prefix="$out/artifacts/" -print_final_stats=1
