#!/usr/bin/env bash
# Demo of the weaving-order export (TEC) without the real web API:
#   - starts tools/fake-api on a free port, recording every request;
#   - makes an embedded Firebird ERP database with two unsent weaving orders
#     (tools/erp-fixture with the export's fixture scripts);
#   - writes a TEC DEZORiv.ini pointing at the fake API;
#   - runs `dezoriv --dir DIR --headless --once` (with the real waits: about
#     half a second after the login and one second after each POST);
#   - shows the requests the API received.
# The demo folder is kept (printed at the end); DEMO_DIR chooses it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

if [ "${SKIP_INSTALL:-}" != 1 ]; then bash "$root/scripts/install-deps.sh"; fi
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} >/dev/null
cmake --build "$build" -j"$(nproc)" --target dezoriv fake-api erp-fixture

dir=${DEMO_DIR:-$(mktemp -d /tmp/dezoriv-export-demo.XXXXXX)}
mkdir -p "$dir"
rm -f "$dir/erp.fdb" "$dir/requests.jsonl"

# The fake API, on a free port.
"$build/tools/fake-api/fake-api" --port 0 --record "$dir/requests.jsonl" --token demo-token >"$dir/fake-api.out" 2>&1 &
api_pid=$!
trap 'kill "$api_pid" 2>/dev/null || true; wait "$api_pid" 2>/dev/null || true' EXIT
port=
for _ in $(seq 50); do
  port=$(sed -n 's/^PORT \([0-9]*\)$/\1/p' "$dir/fake-api.out")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "fake-api did not start" >&2; cat "$dir/fake-api.out" >&2; exit 1; }

# The ERP database with the sample weaving orders.
"$build/tools/erp-fixture/erp-fixture" "$dir/erp.fdb" \
  "$root/tests/fixture/erp_export_fb.sql" "$root/tests/fixture/erp_export_data.sql" >/dev/null

cat >"$dir/DEZORiv.ini" <<INI
[Plataforma]
Tipo=TEC
[Tempo]
Minutos=5
[Banco]
servidor=
base=$dir/erp.fdb
usuario=SYSDBA
senha=masterkey
[Tecelagem]
URLReq=http://127.0.0.1:$port/api
URLAut=http://127.0.0.1:$port/login
Usuario=demo
Senha=demo
idCliente=12
INI

echo "== dezoriv --dir $dir --headless --once"
start=$(date +%s.%N)
"$build/app/dezoriv" --dir "$dir" --headless --once
end=$(date +%s.%N)
echo
echo "== Requests received by the fake API (run took $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }') s)"
"$build/tools/fake-api/fake-api" --show "$dir/requests.jsonl"
echo
echo "Demo folder: $dir (DEZORiv.ini, erp.fdb, Logs/Brevant, requests.jsonl)"
