# Sourced by scripts/run-tests.sh (and by scripts/dev-servers.sh): a throwaway
# PostgreSQL 15 cluster on 127.0.0.1 and a free port, owned by the postgres
# user, stopped again through on_exit. Exports DEZORIV_PG_HOST, _PORT, _USER,
# _PASSWORD (a superuser that may create databases).

DEZORIV_PG_BIN=/usr/lib/postgresql/15/bin

dezoriv_free_port() {
  local p i
  for i in $(seq 1 300); do
    p=$((20000 + RANDOM % 30000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then
      echo "$p"
      return 0
    fi
  done
  echo "no free TCP port found" >&2
  return 1
}

# Runs a command as the postgres user when we are root (initdb refuses root).
dezoriv_as_postgres() {
  if [ "$(id -u)" -eq 0 ]; then
    (cd / && runuser -u postgres -- "$@")
  else
    "$@"
  fi
}

# dezoriv_pg_start DIR PORT PASSWORD: creates and starts a cluster in DIR.
dezoriv_pg_start() {
  local dir=$1 port=$2 password=$3
  mkdir -p "$dir"
  [ "$(id -u)" -eq 0 ] && chown postgres: "$dir"
  chmod 700 "$dir"
  dezoriv_as_postgres "$DEZORIV_PG_BIN/initdb" -D "$dir/data" -U postgres -E UTF8 \
    --locale=C.UTF-8 --auth-local=trust --auth-host=scram-sha-256 --no-sync >"$dir/initdb.log" 2>&1 \
    || { cat "$dir/initdb.log" >&2; return 1; }
  dezoriv_as_postgres mkdir -p "$dir/sock"
  dezoriv_as_postgres "$DEZORIV_PG_BIN/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 \
    -o "-c listen_addresses=127.0.0.1 -p $port -k $dir/sock -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c lc_messages=C -c deadlock_timeout=200ms -c max_connections=200" \
    start >/dev/null || { cat "$dir/server.log" >&2; return 1; }
  dezoriv_as_postgres "$DEZORIV_PG_BIN/psql" -q -h "$dir/sock" -p "$port" -U postgres -d postgres \
    -c "ALTER USER postgres PASSWORD '$password'" >/dev/null
}

# dezoriv_pg_stop DIR
dezoriv_pg_stop() {
  local dir=$1
  [ -d "$dir/data" ] || return 0
  dezoriv_as_postgres "$DEZORIV_PG_BIN/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null 2>&1 || true
}

# dezoriv_pg_start_anywhere DIR PASSWORD: starts on a free port, trying again
# with another port when one is taken in the meantime; prints the port.
dezoriv_pg_start_anywhere() {
  local dir=$1 password=$2 port attempt
  for attempt in 1 2 3; do
    port=$(dezoriv_free_port) || return 1
    if dezoriv_pg_start "$dir" "$port" "$password" >&2; then
      echo "$port"
      return 0
    fi
    dezoriv_pg_stop "$dir"
    rm -rf "$dir"
  done
  echo "PostgreSQL test server did not start" >&2
  return 1
}

if [ -z "${DEZORIV_ENV_FUNCTIONS_ONLY:-}" ]; then
  dezoriv_pg_dir="$DEZORIV_TEST_RUN_DIR/pg"
  DEZORIV_PG_PASSWORD="pg-test-$RANDOM$RANDOM"
  on_exit "dezoriv_pg_stop '$dezoriv_pg_dir'"
  DEZORIV_PG_PORT=$(dezoriv_pg_start_anywhere "$dezoriv_pg_dir" "$DEZORIV_PG_PASSWORD")
  export DEZORIV_PG_HOST=127.0.0.1 DEZORIV_PG_PORT DEZORIV_PG_USER=postgres DEZORIV_PG_PASSWORD
  echo "PostgreSQL test server on 127.0.0.1:$DEZORIV_PG_PORT"
fi
