# Shared by the demo, the end-to-end test and the benchmark (sourced; they
# set ROOT to the project's top folder first).
# Background processes are tracked in PIDS and stopped on exit.
PIDS=""
stop_tracked() {
  for pid in $PIDS; do kill "$pid" 2>/dev/null || true; done
  for pid in $PIDS; do wait "$pid" 2>/dev/null || true; done
}

# use_work_dir: a fresh temporary WORK folder, removed on exit together with
# the tracked processes.
use_work_dir() {
  WORK=$(mktemp -d)
  trap 'stop_tracked; rm -rf "$WORK"' EXIT INT TERM
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

# start_demo_peers DIR PREFIX SIP_ADDR PORT: the demo service on
# 127.0.0.1:PORT (0 picks a free port) granting accounts on SIP_ADDR, and the
# demo SIP peer on SIP_ADDR:5060, running in DIR (where its waiting music is).
# Their files are DIR/PREFIX followed by service.log, logout.log (the logout
# notices received), sip.log and sip.msg (the messages the peer exchanged).
# Sets SERVICE (host:port) once the service listens; fails when it does not
# in 10 s. A fifth argument, a sipp scenario file, replaces the demo peer's.
start_demo_peers() {
  files=$1/$2
  scenario=${5:-$ROOT/demo/sip/peer.xml}
  rm -f "${files}port"
  python3 "$ROOT/demo/service.py" --host 127.0.0.1 --port "$4" --port-file "${files}port" \
    --sip-domain "$3" --logout-log "${files}logout.log" >"${files}service.log" 2>&1 &
  PIDS="$PIDS $!"
  python3 "$ROOT/demo/sip/make_audio.py" "$1/queue-audio.al"
  (cd "$1" && exec sipp -sf "$scenario" -i "$3" -p 5060 -mi "$3" -nostdin \
    -trace_msg -message_file "${files}sip.msg" >"${files}sip.log" 2>&1) &
  PIDS="$PIDS $!"
  tries=0
  until [ -s "${files}port" ]; do
    tries=$((tries + 1))
    [ $tries -gt 100 ] && return 1
    sleep 0.1
  done
  SERVICE=127.0.0.1:$(cat "${files}port")
}
