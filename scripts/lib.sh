# Shared by the demo, the end-to-end test and the benchmark (sourced).
# Background processes are tracked in PIDS and stopped on exit.
PIDS=""
stop_tracked() {
  for pid in $PIDS; do kill "$pid" 2>/dev/null || true; done
  for pid in $PIDS; do wait "$pid" 2>/dev/null || true; done
}

# start_xvfb DIR LOG: a private X display (the server picks a free number),
# exported as DISPLAY. Fails when the server does not come up in 10 s.
start_xvfb() {
  exec 3>"$1/.xvfb-display"
  Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp >"$2" 2>&1 &
  PIDS="$PIDS $!"
  exec 3>&-
  tries=0
  until [ -s "$1/.xvfb-display" ]; do
    tries=$((tries + 1))
    [ $tries -gt 100 ] && return 1
    sleep 0.1
  done
  DISPLAY=:$(cat "$1/.xvfb-display")
  export DISPLAY
}
