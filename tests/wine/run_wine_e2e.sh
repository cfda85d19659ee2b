#!/bin/sh
# The Windows executable end to end under Wine, in a fresh prefix, driven
# through the scripted session (session.sh) against the demo service on
# 127.0.0.1:18080, the host the executable is built for: the empty-fields
# box, the failure box while the service is down, the refusal, the call
# screen with the demo's queues, the registration through a digest challenge,
# a call with audio both ways hung up by the program, a busy queue, a queue
# that hangs up, a stranger's call declined with 486, and the close prompt,
# after which the service must have the logout notice and the program must
# end with code 0; then a second run whose session ends (wineboot
# --end-session) during a call. What the program shows is read with the
# window probe, never from the screenshots.
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

# The session ends during a call (wineboot --end-session, as at log-off or
# shut-down: WM_QUERYENDSESSION, then WM_ENDSESSION): nobody is asked; the
# queue gets its BYE, the registrar the unregistration, the service its
# second logout notice, and the program is gone.
sip_peer ending "$SCENARIOS/demo_peer.xml" -aa -key user $SIP_USER -key pass $SIP_PASSWORD \
  -key expires 3600
start_program
wait_probe 'window class="Dravik Tirn" text="Dravik Tirn 1\.1" .* active=1' ||
  fail "the main window did not appear again"
log_in 1001 demo123
status_is 'Pronto para ligar' || fail "the account did not register again"
click_control 'Dravik Tirn 1\.1' Ligar
wait_box '' 'Ligar para fila de ATENDIMENTO?' || fail "no call prompt"
click_control '' 'Sim'
status_is 'Em ligação com ATENDIMENTO' || fail "the call was not answered"
wine wineboot --end-session >"$WORK/end-session.log" 2>&1 || true
wait_until 100 'ended "$PROGRAM_PID"' || fail "the program outlived the end of the session"
wait_until 50 '[ "$(sip_received "$WORK/ending.msg" "BYE ")" -ge 1 ]' ||
  fail "the queue received no BYE at the end of the session"
wait_until 50 '[ -n "$(sip_unregistrations "$WORK/ending.msg")" ]' ||
  fail "the registrar received no REGISTER with Expires: 0 at the end of the session"
[ "$(grep -cx "codigo=1001" "$WORK/logout.log")" -eq 2 ] ||
  fail "the service received no logout notice at the end of the session"
say "session ended in a call: $(grep -m 1 '^BYE sip:' "$WORK/ending.msg"); $(sip_unregistrations "$WORK/ending.msg" | head -n 1)"
stop_sip_peer
# The peers' message traces are kept beside the screenshots; the lines that
# show the call's signalling are printed.
mkdir -p "$SHOTS/sip"
cp "$WORK"/*.msg "$SHOTS/sip/"
grep -m 1 '^Authorization:' "$WORK/registrar.msg"
grep -m 1 '^INVITE sip:' "$WORK/queue.msg"
grep '^m=' "$WORK/invite.txt"
grep -m 1 '^BYE sip:' "$WORK/queue.msg"
say "passed; screenshots in $SHOTS, SIP traces in $SHOTS/sip"
