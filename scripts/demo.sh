#!/usr/bin/env bash
# Installs, builds and runs the service's main job (the MET write-off) once on
# an embedded Firebird ERP database built from the test fixture, in ./demo:
# two inbox files with four production orders go in; two orders are posted,
# one is refused as already imported and one for insufficient stock. Prints
# the pane lines and the stock of the materials and products before and after.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
demo=${DEMO_DIR:-$root/demo}

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} >/dev/null
cmake --build "$build" -j"$(nproc)" --target dezoriv erp-fixture

rm -rf "$demo"
mkdir -p "$demo/Recebidos" "$demo/Processados"
export FIREBIRD_LOCK=${FIREBIRD_LOCK:-$demo/.fblock}
mkdir -p "$FIREBIRD_LOCK"
"$build/tools/erp-fixture/erp-fixture" "$demo/ERP.fdb" >/dev/null
cat >"$demo/DEZORiv.ini" <<INI
[Plataforma]
Tipo=MET
[Tempo]
Minutos=5
[Banco]
servidor=
base=$demo/ERP.fdb
usuario=SYSDBA
senha=masterkey
INI
cp "$root"/tests/fixture/inbox/*.txt "$demo/Recebidos/"

stock() {
  isql-fb -q -user SYSDBA -password masterkey "$demo/ERP.fdb" <<'SQL' | sed '/^$/d'
SELECT CAST(CODIGO AS VARCHAR(8)) AS MATERIAL, CAST(LOTE AS VARCHAR(6)) AS LOTE,
       CAST(DEPOSITO AS VARCHAR(4)) AS DEP, QTDE FROM MAT_ITEN_001 ORDER BY CODIGO, LOTE;
SELECT CAST(CODIGO AS VARCHAR(8)) AS PRODUTO, CAST(LOTE AS VARCHAR(8)) AS LOTE,
       CAST(DEPOSITO AS VARCHAR(4)) AS DEP, QUANTIDADE FROM PA_ITEN_001 ORDER BY CODIGO, LOTE;
SELECT CAST(CODIGO AS VARCHAR(8)) AS PRODUTO, CUSTO, CAST(LOCAL AS VARCHAR(14)) AS LOCAL
       FROM PRODUTO_001 ORDER BY CODIGO;
SQL
}

echo
echo "== Inbox ($demo/Recebidos)"
for f in "$demo"/Recebidos/*.txt; do echo "-- $(basename "$f")"; tr -d '\r' <"$f"; done
echo
echo "== Stock before"
stock
echo
echo "== dezoriv --dir demo --headless --once"
status=0
"$build/app/dezoriv" --dir "$demo" --headless --once || status=$?
echo
echo "== Stock after"
stock
echo
echo "== Processados: $(ls "$demo/Processados" | tr '\n' ' ')"
echo "== Recebidos:   $(ls "$demo/Recebidos" | tr '\n' ' ')"
exit $status
