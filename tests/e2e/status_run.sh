#!/bin/sh
# One more run of the program under the end-to-end test's display, against
# the demo service and a sipp scenario on SIP_ADDR, for the call screen's
# status line: "busy" logs in, calls the first queue (it rings, then is busy)
# and takes screenshots while it rings and once it was busy; "refused" logs
# in to a registrar that refuses the account and takes a screenshot of that.
# The program is then closed. Waits on the program's own output (the
# registration reports and the library's log).
#
# status_run.sh PROGRAM X11-CLOSE SHOTS-DIR SIP_ADDR SCENARIO busy|refused
set -eu
PROGRAM=$1 X11CLOSE=$2 SHOTS=$3 SIP_ADDR=$4 SCENARIO=$5 MODE=$6
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
. "$ROOT/scripts/lib.sh"
use_work_dir
fail() {
  echo "status_run ($MODE): FAILED: $*" >&2
  [ -f "$WORK/program.log" ] && grep -a 'Novo estado\|SIP/2.0 [0-9]' "$WORK/program.log" | tail -n 5 >&2
  exit 1
}
say() { echo "status_run ($MODE): $*"; }
in_log() { grep -aq "$1" "$WORK/program.log" 2>/dev/null; }

start_demo_peers "$WORK" "" "$SIP_ADDR" 0 "$SCENARIO" || fail "the demo service did not start"
mkdir "$WORK/run"
(cd "$WORK/run" && HOME="$WORK/run" DRAVIK_TIRN_TEST_SERVICE=$SERVICE exec "$PROGRAM" >"$WORK/program.log" 2>&1) &
PROGRAM_PID=$!
PIDS="$PIDS $PROGRAM_PID"

MAIN=$(timeout 20 xdotool search --sync --onlyvisible --name '^Dravik Tirn 1\.1$' | head -n 1) ||
  fail "the main window did not appear"
shot() {
  sleep 0.3 # the redraw reaches the screen
  import -window "$MAIN" "$SHOTS/$1.png"
  say "screenshot $SHOTS/$1.png"
}
visible() { xdotool search --onlyvisible --name '.*' 2>/dev/null | sort | tr '\n' ' '; }
new_window() {
  for w in $(visible); do
    case " $BEFORE " in *" $w "*) ;; *) echo "$w"; return ;; esac
  done
}
# Enter on the box that the last action opened (BEFORE: the windows before it).
answer_new_box() {
  wait_until 100 '[ -n "$(new_window)" ]' || fail "no message box"
  box=$(new_window)
  sleep 0.3
  xdotool windowfocus --sync "$box" 2>/dev/null || true
  xdotool key Return 2>/dev/null || true
  wait_until 100 '! xdotool search --onlyvisible --name ".*" 2>/dev/null | grep -qx "$box"' ||
    fail "the message box stayed open"
}

xdotool windowfocus --sync "$MAIN" 2>/dev/null || true
xdotool key --window "$MAIN" Tab
xdotool type --window "$MAIN" --delay 40 1001 2>/dev/null
xdotool key --window "$MAIN" Tab
xdotool type --window "$MAIN" --delay 40 demo123 2>/dev/null
xdotool key --window "$MAIN" Return

if [ "$MODE" = refused ]; then
  wait_until 150 'in_log "Novo estado de registro LinphoneRegistrationFailed"' ||
    fail "the registration was not refused"
  shot call-screen-registration-failed
else
  wait_until 150 'in_log "Novo estado de registro LinphoneRegistrationOk"' ||
    fail "the account did not register"
  BEFORE=$(visible)
  xdotool mousemove --window "$MAIN" 314 150 click 1
  answer_new_box
  wait_until 100 'in_log "SIP/2.0 180 Ringing"' || fail "the queue did not ring"
  shot call-screen-calling
  wait_until 100 'in_log "SIP/2.0 486 Busy Here"' || fail "the queue did not answer busy"
  shot call-screen-busy
fi

BEFORE=$(visible)
"$X11CLOSE" "$MAIN"
answer_new_box # "Sair ?" at once: no call is in progress
wait "$PROGRAM_PID" || fail "the program did not exit cleanly"
say "closed"
