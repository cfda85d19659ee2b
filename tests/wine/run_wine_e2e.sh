#!/bin/sh
# The Windows executable end to end under Wine, in a fresh prefix, driven
# through the scripted session (session.sh) against the demo service on
# 127.0.0.1:18080, the host the executable is built for: the empty-fields
# box, the failure box while the service is down, the refusal, the call
# screen with the demo's queues, the registration through a digest challenge,
# a call with audio both ways hung up by the program, a busy queue, a queue
# that hangs up, a stranger's call declined with 486, and the close prompt,
# after which the service must have the logout notice and the program must
# end with code 0. What the program shows is read with the window probe,
# never from the screenshots.
#
# run_wine_e2e.sh PROGRAM.exe PROBE.exe SCREENSHOT-DIR WINE-PREFIX-DIR [SNAPSHOT-DIR]
# (the probe's answers at the compared points go to SNAPSHOT-DIR, by
# default SCREENSHOT-DIR/probe)
set -eu
abspath() { (cd "$(dirname "$1")" && echo "$PWD/$(basename "$1")"); }
PROGRAM=$(abspath "$1")
PROBE=$(abspath "$2")
mkdir -p "$3"
SHOTS=$(cd "$3" && pwd)
PREFIX=$4
mkdir -p "${5:-$SHOTS/probe}"
SNAPS=$(cd "${5:-$SHOTS/probe}" && pwd)
IMAGE=$(basename "$PROGRAM")
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
SERVICE_PORT=18080
. "$ROOT/scripts/lib.sh"
. "$ROOT/tests/wine/wine_lib.sh"
use_work_dir
trap 'stop_wine; stop_tracked; rm -rf "$WORK"' EXIT INT TERM

fail() {
  echo "wine-e2e: FAILED: $*" >&2
  show_session_state
  exit 1
}
T0=$(date +%s)
say() { echo "wine-e2e: [$(($(date +%s) - T0)) s] $*"; }
rm -f "$SHOTS"/*.png
shot() {
  import -window root "$SHOTS/wine-$1.png"
  say "screenshot $SHOTS/wine-$1.png"
}

start_xvfb "$WORK" "$WORK/xvfb.log" || fail "Xvfb did not start"
started=$(date +%s)
fresh_wine_prefix "$PREFIX" || fail "the Wine prefix could not be made"
say "fresh Wine prefix in $(($(date +%s) - started)) s"

start_program() {
  (cd "$WORK/run" && exec wine "$PROGRAM" >"$WORK/program.log" 2>&1) &
  PROGRAM_PID=$!
  PIDS="$PIDS $PROGRAM_PID"
}
. "$ROOT/tests/wine/session.sh"
# The peers' message traces are kept beside the screenshots; the lines that
# show the call's signalling are printed.
mkdir -p "$SHOTS/sip"
cp "$WORK"/*.msg "$SHOTS/sip/"
grep -m 1 '^Authorization:' "$WORK/registrar.msg"
grep -m 1 '^INVITE sip:' "$WORK/queue.msg"
grep '^m=' "$WORK/invite.txt"
grep -m 1 '^BYE sip:' "$WORK/queue.msg"
say "passed; screenshots in $SHOTS, SIP traces in $SHOTS/sip"
