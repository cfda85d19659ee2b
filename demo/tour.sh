#!/bin/sh
# Drives the running program on $DISPLAY the way a user would, with xdotool:
# log in (Tab, code, Tab, password, Enter), pick a queue, "Ligar" / "Sim",
# "Desligar" / "Sim", then close the window / "OK". Takes screenshots on the
# way and checks the SIP peer's trace at each step. With --login-only yes
# it closes the window right after the login.
#
# tour.sh --x11-close PATH --shots DIR --code CODE --password PW
#         --queue-index N --queue-count N --sip-trace FILE
#         [--callee sip:user@domain] [--program-log FILE] [--login-only yes]
#         [--call-audio RTP_FILE] [--hold SECONDS]
# --call-audio: the call must carry audio both ways (RTP_FILE holds the
# packets counted each way, "to_peer=N from_peer=M") through the sound server
# in PULSE_SERVER: the program plays into it and records from it.
# --hold: how long the call lasts before "Desligar" (1 s).
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ROOT/scripts/lib.sh" # wait_until, sip_received, the window helpers
X11CLOSE="" SHOTS="" CODE="" PASSWORD="" QUEUE=0 COUNT=1 TRACE="" CALLEE="" PROGRAM_LOG="" LOGIN_ONLY=no AUDIO="" HOLD=1
while [ $# -gt 0 ]; do
  case "$1" in
  --x11-close) X11CLOSE=$2 ;;
  --shots) SHOTS=$2 ;;
  --code) CODE=$2 ;;
  --password) PASSWORD=$2 ;;
  --queue-index) QUEUE=$2 ;;
  --queue-count) COUNT=$2 ;;
  --sip-trace) TRACE=$2 ;;
  --callee) CALLEE=$2 ;;
  --program-log) PROGRAM_LOG=$2 ;;
  --login-only) LOGIN_ONLY=$2 ;;
  --call-audio) AUDIO=$2 ;;
  --hold) HOLD=$2 ;;
  *) echo "tour: unknown argument $1" >&2; exit 2 ;;
  esac
  shift 2
done
mkdir -p "$SHOTS"

say() { echo "tour: $*"; }
fail() { echo "tour: FAILED: $*" >&2; exit 1; }


# Requests of a kind that the SIP peer received ("INVITE sip:", "BYE ").
received() { sip_received "$TRACE" "$1"; }

# The message boxes the last action opened: see new_window in scripts/lib.sh.
remember_windows() { BEFORE=$(visible_windows); }

# Waits for the message box the last action opened and answers it with Enter
# (its default button: "Sim" or "OK"), after a screenshot SHOT if given.
answer_box() {
  answer_new_box ${2:+"shot_root $2"} || fail "no message box for $1, or it stayed open"
}

shot() { # window screenshot of the main window
  sleep 0.3
  import -window "$MAIN" "$SHOTS/$1.png"
  say "screenshot $SHOTS/$1.png"
}

shot_root() { # the whole screen, message boxes included
  import -window root "$SHOTS/$1.png"
  say "screenshot $SHOTS/$1.png"
}

click_at() { # client coordinates of the main window
  xdotool mousemove --window "$MAIN" "$1" "$2" click 1
}

MAIN=$(main_window) ||
  fail "the main window did not appear"
[ -n "$MAIN" ] || fail "the main window did not appear"
say "main window $MAIN"
shot login-screen

# Log in with the keyboard: the first Tab puts the focus in the code field.
window_login "$MAIN" "$CODE" "$PASSWORD"
wait_until 150 '[ "$(received "REGISTER ")" -ge 1 ]' || fail "the account did not register"
if [ -n "$PROGRAM_LOG" ]; then # the registrar's answer has reached the program
  wait_until 150 'grep -aq "LinphoneRegistrationOk" "$PROGRAM_LOG"' || fail "no registration report"
fi
say "logged in; the account registered"
shot call-screen

if [ "$LOGIN_ONLY" != yes ]; then
  # Pick a queue: open the drop-down list with its arrow, click the entry.
  remember_windows
  click_at 360 122
  wait_until 50 '[ -n "$(new_window)" ]' || fail "the queue list did not open"
  LIST=$(new_window)
  sleep 0.3
  shot_root queue-list
  eval "$(xdotool getwindowgeometry --shell "$LIST")"
  xdotool mousemove --window "$LIST" $((WIDTH / 2)) $(((HEIGHT - 4) * (2 * QUEUE + 1) / (2 * COUNT) + 2)) click 1
  wait_until 50 '! visible_windows | grep -qw "$LIST"' || fail "the queue list stayed open"
  shot queue-picked

  # Call the queue.
  remember_windows
  click_at 314 150
  answer_box "the call prompt" call-prompt
  wait_until 150 '[ "$(received "ACK ")" -ge 1 ]' || fail "the queue did not answer"
  if [ -n "$CALLEE" ]; then
    [ "$(received "INVITE $CALLEE")" -ge 1 ] || fail "no INVITE for $CALLEE"
  fi
  say "call connected"
  if [ -n "$AUDIO" ]; then
    # A second of 20 ms packets each way, or more.
    both_ways() { awk -F '[= ]' '{ exit !($2 >= 50 && $4 >= 50) }' "$AUDIO"; }
    wait_until 150 both_ways || fail "no audio both ways: $(cat "$AUDIO")"
    [ -n "$(pactl list short sink-inputs)" ] || fail "the call plays nothing into the sound server"
    [ -n "$(pactl list short source-outputs)" ] || fail "the call records nothing from the sound server"
    say "audio both ways through the sound server: $(cat "$AUDIO")"
  fi
  sleep "$HOLD"
  shot call-in-progress

  # Hang up with "Desligar", left of "Ligar".
  remember_windows
  click_at 210 150
  answer_box "the hang-up prompt" hang-up-prompt
  wait_until 100 '[ "$(received "BYE ")" -ge 1 ]' || fail "the queue did not receive the BYE"
  say "hung up"
  shot after-hang-up
fi

# Close the window; "Sair ?" / OK.
remember_windows
"$X11CLOSE" "$MAIN"
answer_box "the close prompt" close-prompt
say "closed"
