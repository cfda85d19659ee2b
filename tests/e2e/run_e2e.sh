#!/bin/sh
# The whole program end to end under Xvfb: the demo web service on a free
# loopback port, the demo SIP peer (registrar and queues, with audio) on
# 127.0.0.40, the tour driven with xdotool; then the checks of what the
# service and the peer received, and of the exit code.
#
# run_e2e.sh PROGRAM X11-CLOSE SCREENSHOT-DIR
set -eu
abspath() { (cd "$(dirname "$1")" && echo "$PWD/$(basename "$1")"); }
PROGRAM=$(abspath "$1")
X11CLOSE=$(abspath "$2")
mkdir -p "$3"
SHOTS=$(cd "$3" && pwd)
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
SIP_ADDR=127.0.0.40
WORK=$(mktemp -d)
. "$ROOT/scripts/lib.sh"
cleanup() {
  stop_tracked
  rm -rf "$WORK"
}
trap cleanup EXIT INT TERM
fail() {
  echo "e2e: FAILED: $*" >&2
  for f in service.log sip.log program.log; do
    [ -f "$WORK/$f" ] && { echo "--- $f (last lines)"; tail -n 30 "$WORK/$f"; }
  done >&2
  exit 1
}
mkdir -p "$SHOTS"
rm -f "$SHOTS"/*.png

# A display of our own.
start_xvfb "$WORK" "$WORK/xvfb.log" || fail "Xvfb did not start"

# The demo service on a free port, granting an account on the peer's address.
python3 "$ROOT/demo/service.py" --host 127.0.0.1 --port 0 --port-file "$WORK/port" \
  --sip-domain "$SIP_ADDR" --logout-log "$WORK/logout.log" >"$WORK/service.log" 2>&1 &
PIDS="$PIDS $!"
n=0
until [ -s "$WORK/port" ]; do
  n=$((n + 1)); [ $n -gt 100 ] && fail "the demo service did not start"; sleep 0.1
done
SERVICE=127.0.0.1:$(cat "$WORK/port")

# The SIP peer.
python3 "$ROOT/demo/sip/make_audio.py" "$WORK/queue-audio.al"
(cd "$WORK" && exec sipp -sf "$ROOT/demo/sip/peer.xml" -i "$SIP_ADDR" -p 5060 -mi "$SIP_ADDR" \
  -nostdin -trace_msg -message_file "$WORK/sip.msg" >"$WORK/sip.log" 2>&1) &
PIDS="$PIDS $!"

# The program, in a working directory and HOME of its own (its key.txt, the
# SIP core's data folder).
mkdir "$WORK/run"
(cd "$WORK/run" && HOME="$WORK/run" DRAVIK_TIRN_TEST_SERVICE=$SERVICE exec "$PROGRAM" >"$WORK/program.log" 2>&1) &
PROGRAM_PID=$!

# Queue 1 of the demo service is "Gestão Tributária", SIP user tributario01.
"$ROOT/demo/tour.sh" --x11-close "$X11CLOSE" --shots "$SHOTS" --code 1001 --password demo123 \
  --queue-index 1 --queue-count 5 --sip-trace "$WORK/sip.msg" --callee "sip:tributario01@$SIP_ADDR" ||
  { kill "$PROGRAM_PID" 2>/dev/null; fail "the tour did not complete"; }

status=0
wait "$PROGRAM_PID" || status=$?
[ "$status" -eq 0 ] || fail "the program exited with code $status"
grep -qx "codigo=1001" "$WORK/logout.log" 2>/dev/null || fail "the service received no logout notice"
echo "e2e: passed; screenshots:"
ls "$SHOTS"/*.png
