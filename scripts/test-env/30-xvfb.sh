# Sourced by scripts/run-tests.sh: a virtual X display for the window tests.
# Starts Xvfb on a free display number, exports DISPLAY (and a private
# XDG_RUNTIME_DIR) and registers its stop through on_exit.

dezoriv_xvfb_start() {
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] && continue
    [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >"$DEZORIV_TEST_RUN_DIR/xvfb-$n.log" 2>&1 &
    local pid=$!
    local i
    for i in $(seq 1 50); do
      if [ -e "/tmp/.X11-unix/X$n" ]; then
        DEZORIV_XVFB_PID=$pid
        export DISPLAY=":$n"
        return 0
      fi
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$pid" 2>/dev/null || true
  done
  echo "Xvfb could not be started" >&2
  return 1
}

if command -v Xvfb >/dev/null 2>&1; then
  dezoriv_xvfb_start
  on_exit "kill $DEZORIV_XVFB_PID 2>/dev/null || true"
  export XDG_RUNTIME_DIR="$DEZORIV_TEST_RUN_DIR/xdg-runtime"
  mkdir -p "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
else
  echo "Xvfb not installed: window tests will fail under CI" >&2
fi
