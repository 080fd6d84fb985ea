#!/usr/bin/env bash
# Test servers for interactive development, kept running between builds in
# /tmp/dezoriv-dev (or $DEZORIV_DEV_DIR):
#   eval "$(bash scripts/dev-servers.sh start)"   starts them when not running
#                                                 and prints the export lines
#   bash scripts/dev-servers.sh stop              stops them
#   bash scripts/dev-servers.sh env               prints the export lines only
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
base=${DEZORIV_DEV_DIR:-/tmp/dezoriv-dev}
export DEZORIV_ENV_FUNCTIONS_ONLY=1
# shellcheck source=/dev/null
source "$root/scripts/test-env/10-postgres.sh"
# shellcheck source=/dev/null
source "$root/scripts/test-env/20-firebird.sh"

pg_running() {
  [ -f "$base/pg.env" ] && [ -d "$base/pg/data" ] &&
    dezoriv_as_postgres "$DEZORIV_PG_BIN/pg_ctl" -D "$base/pg/data" status >/dev/null 2>&1
}
fb_running() {
  [ -f "$base/fb.env" ] && [ -f "$base/fb/firebird.pid" ] && kill -0 "$(cat "$base/fb/firebird.pid")" 2>/dev/null
}

start() {
  mkdir -p "$base"
  chmod 755 "$base"
  if ! pg_running; then
    dezoriv_pg_stop "$base/pg"
    rm -rf "$base/pg"
    local port password
    password="pg-dev-$RANDOM$RANDOM"
    port=$(dezoriv_pg_start_anywhere "$base/pg" "$password")
    cat >"$base/pg.env" <<ENV
export DEZORIV_PG_HOST=127.0.0.1 DEZORIV_PG_PORT=$port DEZORIV_PG_USER=postgres DEZORIV_PG_PASSWORD=$password
ENV
  fi
  if ! fb_running; then
    dezoriv_fb_stop "$base/fb"
    rm -rf "$base/fb"
    local port password
    password="fb$RANDOM$RANDOM"
    port=$(dezoriv_fb_start_anywhere "$base/fb" "$password")
    cat >"$base/fb.env" <<ENV
export DEZORIV_FB_SERVER=127.0.0.1/$port DEZORIV_FB_USER=SYSDBA DEZORIV_FB_PASSWORD=$password DEZORIV_FB_DIR=$base/fb/data
ENV
  fi
  cat "$base/pg.env" "$base/fb.env"
}

stop() {
  dezoriv_pg_stop "$base/pg"
  dezoriv_fb_stop "$base/fb"
  rm -f "$base/pg.env" "$base/fb.env"
}

case "${1:-}" in
  start) start ;;
  stop) stop ;;
  env) cat "$base/pg.env" "$base/fb.env" ;;
  *) echo "usage: $0 start|stop|env" >&2; exit 2 ;;
esac
