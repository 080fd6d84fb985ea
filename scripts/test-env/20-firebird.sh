# Sourced by scripts/run-tests.sh (and by scripts/dev-servers.sh): a Firebird 3
# server on 127.0.0.1 and a free port, with a private configuration folder, run
# by hand without systemd and stopped again through on_exit. Exports
# DEZORIV_FB_SERVER ("127.0.0.1/PORT"), DEZORIV_FB_USER, DEZORIV_FB_PASSWORD and
# DEZORIV_FB_DIR (a folder where the server may create database files).

DEZORIV_FB_ROOT=/usr/lib/x86_64-linux-gnu/firebird/3.0

if ! declare -F dezoriv_free_port >/dev/null; then
  dezoriv_free_port() {
    local p i
    for i in $(seq 1 300); do
      p=$((20000 + RANDOM % 30000))
      if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then echo "$p"; return 0; fi
    done
    return 1
  }
fi

# dezoriv_fb_start DIR PORT PASSWORD: configures and starts a server in DIR;
# its process id goes to DIR/firebird.pid.
dezoriv_fb_start() {
  local dir=$1 port=$2 password=$3 x i
  mkdir -p "$dir/conf" "$dir/lock" "$dir/data"
  chmod 777 "$dir/data"
  for x in plugins intl UDF firebird.msg plugins.conf; do
    [ -e "$DEZORIV_FB_ROOT/$x" ] && ln -sfn "$DEZORIV_FB_ROOT/$x" "$dir/conf/$x"
  done
  cat >"$dir/conf/firebird.conf" <<CONF
RemoteServicePort = $port
RemoteBindAddress = 127.0.0.1
SecurityDatabase = $dir/conf/security3.fdb
DeadlockTimeout = 1
CONF
  rm -f "$dir/conf/security3.fdb"
  FIREBIRD="$dir/conf" FIREBIRD_LOCK="$dir/lock" /usr/bin/isql-fb -q >"$dir/isql.log" 2>&1 <<SQL || { cat "$dir/isql.log" >&2; return 1; }
create database '$dir/conf/security3.fdb';
create user SYSDBA password '$password';
commit;
SQL
  FIREBIRD="$dir/conf" FIREBIRD_LOCK="$dir/lock" /usr/sbin/firebird >"$dir/server.log" 2>&1 </dev/null &
  echo $! >"$dir/firebird.pid"
  local pid
  pid=$(cat "$dir/firebird.pid")
  for i in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || break
    # Ready when the port answers and it is our server that listens there
    # (the server keeps running when another process holds its port).
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      if ! command -v ss >/dev/null || ss -ltnpH "sport = :$port" 2>/dev/null | grep -q "pid=$pid,"; then
        return 0
      fi
      break
    fi
    sleep 0.1
  done
  echo "Firebird server did not start; see $dir/server.log" >&2
  return 1
}

# dezoriv_fb_stop DIR: TERM, then KILL after a few seconds.
dezoriv_fb_stop() {
  local dir=$1 pid i
  [ -f "$dir/firebird.pid" ] || return 0
  pid=$(cat "$dir/firebird.pid")
  kill -TERM "$pid" 2>/dev/null || { rm -f "$dir/firebird.pid"; return 0; }
  for i in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  rm -f "$dir/firebird.pid"
}

# dezoriv_fb_start_anywhere DIR PASSWORD: starts on a free port, trying again
# with another port when one is taken in the meantime; prints the port.
dezoriv_fb_start_anywhere() {
  local dir=$1 password=$2 port attempt
  for attempt in 1 2 3; do
    port=$(dezoriv_free_port) || return 1
    if dezoriv_fb_start "$dir" "$port" "$password" >&2; then
      echo "$port"
      return 0
    fi
    dezoriv_fb_stop "$dir"
    rm -rf "$dir"
  done
  echo "Firebird test server did not start" >&2
  return 1
}

if [ -z "${DEZORIV_ENV_FUNCTIONS_ONLY:-}" ]; then
  dezoriv_fb_dir="$DEZORIV_TEST_RUN_DIR/fb"
  DEZORIV_FB_PASSWORD="fb$RANDOM$RANDOM"
  on_exit "dezoriv_fb_stop '$dezoriv_fb_dir'"
  dezoriv_fb_port=$(dezoriv_fb_start_anywhere "$dezoriv_fb_dir" "$DEZORIV_FB_PASSWORD")
  export DEZORIV_FB_SERVER="127.0.0.1/$dezoriv_fb_port" DEZORIV_FB_USER=SYSDBA DEZORIV_FB_PASSWORD
  export DEZORIV_FB_DIR="$dezoriv_fb_dir/data"
  echo "Firebird test server on $DEZORIV_FB_SERVER"
fi
