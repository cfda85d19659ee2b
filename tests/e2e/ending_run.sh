#!/bin/sh
# One more run of the program, against the demo service and the demo SIP
# peer on SIP_ADDR, that ends without the user closing the window:
#   term-in-call  SIGTERM during an answered call;
#   term-idle     first "Ajuda áreas Consultoria" with no browser to open it
#                 (xdg-open fails): the box that says so; then SIGTERM on the
#                 call screen, no call;
#   display-lost  the X server (this run's own) killed during an answered
#                 call;
#   term-in-login SIGTERM while the service (which holds the login's answer
#                 back) has the login: the program must end within the few
#                 seconds a session's end gives (5 s, as Windows).
# Then checks what the peers received: the queue its BYE (calls), the
# registrar the unregistration (REGISTER with Expires: 0; not after a login
# that never ended), the service the logout notice; and the exit code (0
# after a signal, 1 without a display). The run leaves nothing in its
# temporary folder, and nothing but key.txt in its home folder.
# Prints those lines of the peer's message trace.
#
# ending_run.sh PROGRAM SIP_ADDR MODE
set -eu
PROGRAM=$1 SIP_ADDR=$2 MODE=$3
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
. "$ROOT/scripts/lib.sh"
use_work_dir
fail() {
  echo "ending_run ($MODE): FAILED: $*" >&2
  show_logs 20 sip.log service.log
  [ -f "$WORK/program.log" ] && grep -a 'Novo estado\|SIP/2.0 [0-9]\|BYE\|winapi' "$WORK/program.log" | tail -n 8 >&2
  show_program "${PROGRAM_PID:-}" "$WORK/probe-answer.txt"
  exit 1
}
say() { echo "ending_run ($MODE): $*"; }
in_log() { grep -aq "$1" "$WORK/program.log" 2>/dev/null; }

# A display of this run's own (see status_run.sh); display-lost kills it.
start_xvfb "$WORK" "$WORK/xvfb.log" || fail "Xvfb did not start"
XVFB_PID=${PIDS##* }
[ "$MODE" = term-in-login ] && DEMO_SERVICE_OPTIONS=--slow-login
start_demo_peers "$WORK" "" "$SIP_ADDR" 0 || fail "the demo service or SIP peer did not start"
# No browser: an xdg-open that finds none, as the real one ends then.
mkdir "$WORK/run" "$WORK/bin" "$WORK/tmp"
printf '#!/bin/sh\nexit 3\n' >"$WORK/bin/xdg-open"
chmod +x "$WORK/bin/xdg-open"
(cd "$WORK/run" && PATH="$WORK/bin:$PATH" HOME="$WORK/run" TMPDIR="$WORK/tmp" DRAVIK_TIRN_TEST_SERVICE=$SERVICE \
  DRAVIK_WINAPI_PROBE="$WORK/probe-answer.txt" exec $OWNED "$PROGRAM" >"$WORK/program.log" 2>&1) &
PROGRAM_PID=$!
PIDS="$PIDS $PROGRAM_PID"
wait_until 100 '[ -f "$WORK/probe-answer.txt" ]' || fail "the program did not set up its probe"

MAIN=$(main_window "$PROGRAM_PID") ||
  fail "the main window did not appear"
window_login "$MAIN" 1001 demo123 "$PROGRAM_PID" "$WORK/probe-answer.txt" || fail "the login was not typed"
if [ "$MODE" = term-in-login ]; then
  wait_until 100 'grep -q "login .1001." "$WORK/service.log"' || fail "the service received no login"
  say "the service holds the login's answer back"
else
  # As long as the status runs wait: a sanitized build on a loaded machine.
  wait_until 300 'in_log "Novo estado de registro LinphoneRegistrationOk"' ||
    fail "the account did not register"
fi

case "$MODE" in
term-in-call | display-lost)
  BEFORE=$(visible_windows)
  xdotool mousemove --window "$MAIN" 314 150 click 1
  answer_new_box || fail "no call prompt, or it stayed open"
  wait_until 150 '[ "$(sip_received "$WORK/sip.msg" "ACK ")" -ge 1 ]' || fail "the queue did not answer"
  say "in a call"
  ;;
term-idle)
  BEFORE=$(visible_windows)
  xdotool mousemove --window "$MAIN" 265 180 click 1
  wait_until 100 '[ -n "$(new_window)" ]' || fail "no box when the help page cannot be opened"
  name=$(xdotool getwindowname "$(new_window)")
  [ "$name" = "Atenção" ] || fail "the box is not \"Atenção\": $name"
  say "no browser: the box \"$name\" says so"
  answer_new_box || fail "the help box stayed open"
  ;;
esac

started=$(date +%s%N)
if [ "$MODE" = display-lost ]; then
  kill -KILL "$XVFB_PID"
else
  kill -TERM "$PROGRAM_PID"
fi
if [ "$MODE" = term-in-login ]; then
  wait_until 50 'ended $PROGRAM_PID' || fail "the program did not end within 5 s"
else
  wait_until 150 'ended $PROGRAM_PID' || fail "the program did not end"
fi
EXIT_CODE=0
wait "$PROGRAM_PID" || EXIT_CODE=$?
say "ended with code $EXIT_CODE after $((($(date +%s%N) - started) / 1000000)) ms"
want=0
[ "$MODE" = display-lost ] && want=1
problems=""
[ "$EXIT_CODE" -eq "$want" ] || problems="$problems; exit code $EXIT_CODE instead of $want"
if [ "$MODE" != term-idle ] && [ "$MODE" != term-in-login ]; then
  if wait_until 50 '[ "$(sip_received "$WORK/sip.msg" "BYE ")" -ge 1 ]'; then
    say "queue: $(grep -a -m 1 '^BYE sip:' "$WORK/sip.msg")"
  else
    problems="$problems; the queue received no BYE"
  fi
fi
if [ "$MODE" = term-in-login ]; then
  : # no account was granted: nothing was registered
elif wait_until 50 '[ -n "$(sip_unregistrations "$WORK/sip.msg")" ]'; then
  say "registrar: $(sip_unregistrations "$WORK/sip.msg" | head -n 1)"
else
  problems="$problems; the registrar received no REGISTER with Expires: 0"
fi
if grep -qx "codigo=1001" "$WORK/logout.log" 2>/dev/null; then
  say "service: logout notice codigo=1001"
else
  problems="$problems; the service received no logout notice"
fi
# (The sound server's client, in a session that names no runtime folder,
# makes one in the temporary folder and links it from ~/.config/pulse; the
# window toolkit keeps its own settings in ~/.fltk.)
left=$(cd "$WORK/tmp" && find . -mindepth 1 ! -path './pulse-*' | head -n 3 | tr '\n' ' ')
[ -z "$left" ] || problems="$problems; left in the temporary folder: $left"
left=$(cd "$WORK/run" && find . -mindepth 1 ! -name key.txt ! -path ./.config ! -path './.config/pulse*' ! -path './.fltk*' |
  head -n 3 | tr '\n' ' ')
[ -z "$left" ] || problems="$problems; left in the home folder: $left"
[ -z "$problems" ] || fail "${problems#; }"
