#!/bin/sh
# The whole program end to end under Xvfb: the demo web service on a free
# loopback port, the demo SIP peer (registrar and queues, with audio) on
# 127.0.0.40, a PulseAudio server whose null sink is the program's sound card,
# the tour driven with xdotool (the call's audio counted both ways); then the
# checks of what the service and the peer received, and of the exit code.
# Then shorter runs: the status line's states, and the program ended by a
# signal or by the loss of its display.
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
. "$ROOT/scripts/lib.sh"
use_work_dir
fail() {
  echo "e2e: FAILED: $*" >&2
  show_logs 30 service.log sip.log program.log
  exit 1
}
mkdir -p "$SHOTS"
rm -f "$SHOTS"/*.png

# A display of our own.
start_xvfb "$WORK" "$WORK/xvfb.log" || fail "Xvfb did not start"

# The demo service on a free port, granting an account on the SIP peer's
# address, and the peer.
start_demo_peers "$WORK" "" "$SIP_ADDR" 0 || fail "the demo service or SIP peer did not start"

# The sound card the program's calls play into and record from, and the
# call's RTP packets counted each way.
start_null_sound "$WORK" || fail "no PulseAudio server with a null sink: $(tail -n 3 "$WORK/pulse/log")"
start_rtp_count "$SIP_ADDR" "$WORK/rtp.txt" || fail "the RTP counter did not start: $(cat "$WORK/rtp.txt.log")"

# The program, in a working directory and HOME of its own (its key.txt, the
# SIP core's data folder).
mkdir "$WORK/run"
(cd "$WORK/run" && HOME="$WORK/run" DRAVIK_TIRN_TEST_SERVICE=$SERVICE exec $OWNED "$PROGRAM" >"$WORK/program.log" 2>&1) &
PROGRAM_PID=$!

# Queue 1 of the demo service is "Gestão Tributária", SIP user tributario01.
"$ROOT/demo/tour.sh" --x11-close "$X11CLOSE" --shots "$SHOTS" --code 1001 --password demo123 \
  --queue-index 1 --queue-count 5 --sip-trace "$WORK/sip.msg" --callee "sip:tributario01@$SIP_ADDR" \
  --program-log "$WORK/program.log" --call-audio "$WORK/rtp.txt" ||
  { kill "$PROGRAM_PID" 2>/dev/null; fail "the tour did not complete"; }

exited_ok "$PROGRAM_PID" || fail "the program exited with code $EXIT_CODE"
grep -qx "codigo=1001" "$WORK/logout.log" 2>/dev/null || fail "the service received no logout notice"
# The call screen's status line in each state: registered and in a call
# from the tour; ringing, busy and a refused registration from two more runs.
cp "$SHOTS/call-screen.png" "$SHOTS/call-screen-registered.png"
cp "$SHOTS/call-in-progress.png" "$SHOTS/call-screen-in-call.png"
"$ROOT/tests/e2e/status_run.sh" "$PROGRAM" "$X11CLOSE" "$SHOTS" 127.0.0.41 \
  "$ROOT/tests/e2e/queue_rings_busy.xml" busy || fail "the busy queue's run failed"
"$ROOT/tests/e2e/status_run.sh" "$PROGRAM" "$X11CLOSE" "$SHOTS" 127.0.0.42 \
  "$ROOT/tests/sip/scenarios/registrar_refuses.xml" refused || fail "the refused account's run failed"
# Ended without being asked: a termination signal in a call, on the call
# screen (after the help box without a browser) and during a login the
# service holds, and the display lost in a call; the last one kills an X
# server of its own.
for run in 127.0.0.45:term-in-call 127.0.0.46:term-idle 127.0.0.87:term-in-login \
  127.0.0.47:display-lost; do
  "$ROOT/tests/e2e/ending_run.sh" "$PROGRAM" "${run%%:*}" "${run#*:}" ||
    fail "the run ended by ${run#*:} failed"
done
echo "e2e: passed; screenshots:"
ls "$SHOTS"/*.png
