# Shared by the demo, the end-to-end test and the benchmark (sourced; they
# set ROOT to the project's top folder first).
# Background processes are tracked in PIDS and stopped on exit. The peers are
# started through OWNED as well, so that the kernel kills them when the
# script itself is killed (no trap runs then) and none is left holding its
# fixed address.
PIDS=""
OWNED="setpriv --pdeathsig KILL"
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
  $OWNED Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp >"$2" 2>&1 &
  PIDS="$PIDS $!"
  exec 3>&-
  xvfb_display_file=$1/.xvfb-display
  wait_until 100 '[ -s "$xvfb_display_file" ]' || return 1
  DISPLAY=:$(cat "$1/.xvfb-display")
  export DISPLAY
}

# running PID: the process has not ended (a zombie has).
running() {
  case $(ps -o stat= -p "$1" 2>/dev/null) in "" | Z*) return 1 ;; esac
}

# wait_until TENTHS CONDITION: polls a shell condition.
wait_until() {
  limit=$1; shift
  n=0
  until eval "$@"; do
    n=$((n + 1))
    [ $n -ge "$limit" ] && return 1
    sleep 0.1
  done
}

# ended PID: the process is gone or only waits to be reaped.
ended() { ! running "$1"; }

# exited_ok PID: waits for the child PID to end; true when its exit code,
# left in EXIT_CODE, is 0.
exited_ok() {
  EXIT_CODE=0
  wait "$1" || EXIT_CODE=$?
  [ "$EXIT_CODE" -eq 0 ]
}

# show_logs LINES FILE...: the last LINES lines of each FILE of WORK that
# exists, on standard error (for a failing test's report).
show_logs() {
  lines=$1; shift
  for f in "$@"; do
    [ -f "$WORK/$f" ] && { echo "--- $f (last lines)"; tail -n "$lines" "$WORK/$f"; }
  done >&2
  return 0
}

# layer_probe PID ANSWER OUT: what the Linux build of the program (PID,
# started with DRAVIK_WINAPI_PROBE=ANSWER) shows now, in the window probe's
# format, in OUT; "process none" when it does not answer within 2 s.
layer_probe() {
  rm -f "$2"
  if kill -USR1 "$1" 2>/dev/null; then
    probe_answer=$2
    wait_until 20 '[ -f "$probe_answer" ]' || true
  fi
  if [ -f "$2" ]; then
    mv "$2" "$3"
  else
    echo "process none" >"$3"
  fi
}

# show_program PID ANSWER: for a failing run's report, on standard error:
# what the program (started with DRAVIK_WINAPI_PROBE=ANSWER) shows, or, when
# it has ended, its exit code and the last lines of WORK/program.log.
show_program() {
  [ -n "$1" ] || return 0
  if running "$1"; then
    echo "--- what the program shows"
    layer_probe "$1" "$2" "$2.shown"
    cat "$2.shown"
  else
    wait "$1" && code=0 || code=$?
    echo "--- the program ended (code $code); its last lines"
    tail -n 30 "$WORK/program.log"
  fi >&2
}

# The windows shown on the display now; new_window: the first of them that
# is not in BEFORE (the windows shown before the last action), i.e. the box
# that action opened.
visible_windows() { xdotool search --onlyvisible --name '.*' 2>/dev/null | sort | tr '\n' ' '; }
new_window() {
  for w in $(visible_windows); do
    case " $BEFORE " in *" $w "*) ;; *) echo "$w"; return ;; esac
  done
}

# main_window [PID]: the program's main window, once it shows (60 s at most:
# a sanitized build starting on a loaded machine; less when the program PID
# ends first); nothing when none does. Asked again and again, each search
# bounded: one can miss a window that is being mapped, or find the X server
# not taking connections for a while.
main_window() {
  main_pid=${1:-}
  wait_until 600 'main_found=$(timeout 5 xdotool search --onlyvisible --name "^Dravik Tirn 1\\.1\$" 2>/dev/null | head -n 1)
    [ -n "$main_found" ] || { [ -n "$main_pid" ] && ! running "$main_pid"; }' || true
  [ -n "$main_found" ] && echo "$main_found"
}

# answer_new_box [COMMAND]: Enter (the default button) on the box that the
# last action opened (see new_window), after running COMMAND once it shows;
# fails when none opens or it stays open.
answer_new_box() {
  wait_until 100 '[ -n "$(new_window)" ]' || return 1
  box=$(new_window)
  sleep 0.3 # the box takes the keyboard once mapped
  [ -z "${1:-}" ] || eval "$1"
  # The box goes with the key press, so the key's release may find no window.
  # --sync waits for ever when the focus never comes: bounded.
  timeout 5 xdotool windowfocus --sync "$box" 2>/dev/null || true
  xdotool key Return 2>/dev/null || true
  wait_until 100 '! visible_windows | grep -qw "$box"'
}

# window_login WINDOW CODE PASSWORD [PID ANSWER]: types the customer code
# and password into the program's login screen and presses Enter. With the
# program's window probe (PID, ANSWER as for layer_probe), the typing waits
# until the program's loop shows the login screen, and Enter until the
# fields hold what was typed; otherwise it prints what the window shows and
# fails.
window_login() {
  login_pid=${4:-} login_answer=${5:-}
  if [ -n "$login_pid" ]; then
    wait_until 20 'login_fields "$login_pid" "$login_answer" | grep -q .' ||
      { echo "no login screen:" >&2; cat "$login_answer.shown" >&2; return 1; }
  fi
  timeout 5 xdotool windowfocus --sync "$1" 2>/dev/null || true
  xdotool key --window "$1" Tab
  xdotool type --window "$1" --delay 40 "$2" 2>/dev/null
  xdotool key --window "$1" Tab
  xdotool type --window "$1" --delay 40 "$3" 2>/dev/null
  if [ -n "$login_pid" ]; then
    typed="$2|$3"
    wait_until 20 '[ "$(login_fields "$login_pid" "$login_answer")" = "$typed" ]' ||
      { echo "the login fields do not hold what was typed:" >&2; cat "$login_answer.shown" >&2; return 1; }
  fi
  xdotool key --window "$1" Return
}

# login_fields PID ANSWER: the login screen's code and password as the
# program's window probe shows them, "CODE|PASSWORD"; the whole probe in
# ANSWER.shown.
login_fields() {
  layer_probe "$1" "$2" "$2.shown"
  sed -n 's/.*class="Edit" text="\(.*\)" rect=160,[0-9]*,200,26 .*/\1/p' "$2.shown" |
    awk '{ f[NR] = $0 } END { if (NR == 2) print f[1] "|" f[2] }'
}

# key_logins KEY-FILE COUNT: the demo service (its log in WORK) received
# COUNT logins of customer 1001, each with the key that KEY-FILE holds;
# otherwise says what differs and fails.
key_logins() {
  [ -f "$1" ] || { echo "no key.txt at $1"; return 1; }
  key=$(cat "$1")
  logins=$(grep -c "login '1001'" "$WORK/service.log")
  [ "$logins" -eq "$2" ] || { echo "$logins logins instead of $2"; return 1; }
  [ "$(grep -cF "login '1001' key '$key'" "$WORK/service.log")" -eq "$2" ] ||
    { echo "not every login sent key.txt's key ($key)"; return 1; }
}

# sip_received_at TRACE START: when a sipp peer received each request of a
# kind ("INVITE sip:", "BYE "), retransmissions included, as seconds since
# midnight, one a line (a decimal point whatever the locale), from its
# message trace; sip_received TRACE START: how many.
sip_received_at() {
  [ -f "$1" ] || return 0
  LC_ALL=C awk -v start="$2" '
    /^-----/ { split($3, t, ":"); at = t[1] * 3600 + t[2] * 60 + t[3]; next }
    /message received/ { grab = 1; next }
    grab && NF { if (index($0, start) == 1) printf "%.3f\n", at; grab = 0 }' "$1"
}
sip_received() { sip_received_at "$1" "$2" | awk 'END { print NR }'; }

# sip_unregistrations TRACE: the REGISTER requests with "Expires: 0" (the
# client's unregistration) that a sipp peer received, as "first line |
# Expires line", one a line.
sip_unregistrations() {
  [ -f "$1" ] || return 0
  awk '
    /message received/ { inside = 1; first = ""; next }
    /message sent/ || /^-----/ { inside = 0; next }
    inside && first == "" && NF { first = $0; sub(/\r$/, "", first); next }
    inside && index(first, "REGISTER ") == 1 && /^Expires: *0\r?$/ {
      line = $0; sub(/\r$/, "", line); print first " | " line
    }' "$1"
}

# udp_sip_taken ADDR: something listens on UDP ADDR:5060.
udp_sip_taken() { [ -n "$($PEER_NETNS ss -Hlun src "$1:5060" 2>/dev/null)" ]; }

# PEER_NETNS: empty, or a command prefix (nsenter ...) that runs the demo SIP
# peer of start_demo_peers in a network namespace of its own, so that the
# program reaches it only through a link the test can take down.
PEER_NETNS=${PEER_NETNS:-}

# start_demo_peers DIR PREFIX SIP_ADDR PORT: the demo service on
# 127.0.0.1:PORT (0 picks a free port) granting accounts on SIP_ADDR, and the
# demo SIP peer on SIP_ADDR:5060, running in DIR (where its waiting music is).
# Their files are DIR/PREFIX followed by service.log, logout.log (the logout
# notices received), sip.log and sip.msg (the messages the peer exchanged).
# Sets SERVICE (host:port) once both listen. Fails at once, saying which
# address, when one of them cannot listen, and after 10 s when they do not.
# A fifth argument, a sipp scenario file, replaces the demo peer's;
# DEMO_SERVICE_OPTIONS are more options of the service (--slow-login).
start_demo_peers() {
  files=$1/$2
  scenario=${5:-$ROOT/demo/sip/peer.xml}
  rm -f "${files}port"
  if udp_sip_taken "$3"; then
    echo "$3:5060 is already taken: the demo SIP peer cannot listen there" >&2
    return 1
  fi
  $OWNED python3 "$ROOT/demo/service.py" --host 127.0.0.1 --port "$4" --port-file "${files}port" \
    --sip-domain "$3" --logout-log "${files}logout.log" ${DEMO_SERVICE_OPTIONS:-} >"${files}service.log" 2>&1 &
  service_pid=$!
  PIDS="$PIDS $service_pid"
  python3 "$ROOT/demo/sip/make_audio.py" "$1/queue-audio.al"
  (cd "$1" && exec $OWNED $PEER_NETNS sipp -sf "$scenario" -i "$3" -p 5060 -mi "$3" -nostdin \
    -trace_msg -message_file "${files}sip.msg" >"${files}sip.log" 2>&1) &
  sip_pid=$!
  PIDS="$PIDS $sip_pid"
  peer_addr=$3
  wait_until 100 '! running "$service_pid" || ! running "$sip_pid" ||
    { [ -s "${files}port" ] && udp_sip_taken "$peer_addr"; }' || return 1
  if ! running "$service_pid"; then
    echo "the demo service could not listen on 127.0.0.1:$4:" \
      "$(tail -n 1 "${files}service.log")" >&2
    return 1
  fi
  if ! running "$sip_pid"; then
    echo "the demo SIP peer could not listen on $3:5060:" \
      "$(grep -m 1 -e Unable -e rror "${files}sip.log")" >&2
    return 1
  fi
  SERVICE=127.0.0.1:$(cat "${files}port")
}

# The SIP stack built from Debian's sources (scripts/build-sip-stack.sh)
# keeps its sources and builds in DRAVIK_STACK_CACHE, outside any checkout,
# so that every build and worktree on the machine reuses them.
DRAVIK_STACK_CACHE=${DRAVIK_STACK_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/dravik-tirn/sip-stack}
export DRAVIK_STACK_CACHE
# sip_stack_prefix TARGET: where the stack for TARGET (windows, linux) is installed.
sip_stack_prefix() { echo "$DRAVIK_STACK_CACHE/$1-prefix"; }

# start_null_sound DIR: a private PulseAudio server (scripts/null-sound.sh)
# for the programs started after this (PULSE_SERVER is exported): calls go
# through the sound-card path on a machine without sound hardware. Fails
# when it does not answer in 10 s.
start_null_sound() {
  mkdir -p "$1/pulse"
  $OWNED "$ROOT/scripts/null-sound.sh" "$1/pulse" >"$1/pulse/log" 2>&1 &
  PIDS="$PIDS $!"
  PULSE_SERVER=unix:$1/pulse/native
  export PULSE_SERVER
  wait_until 100 'pactl info >/dev/null 2>&1'
}

# record_sound FILE [SOURCE]: records what the programs play on
# start_null_sound's sink (or on the sound server's SOURCE, a sink's monitor)
# into FILE (raw 16-bit mono at 8 kHz) until stop_recording. Returns
# once the recording has begun: the recorder's first samples can take seconds
# to come on a loaded machine, and a sound played before then is not in FILE.
# recorded_samples FILE: how many samples FILE holds so far.
record_sound() {
  $OWNED parec --device="${2:-silence.monitor}" --rate=8000 --channels=1 --format=s16le \
    --latency-msec=20 --raw "$1" &
  RECORDER=$!
  PIDS="$PIDS $RECORDER"
  recording=$1
  wait_until 100 '[ -s "$recording" ]'
}
recorded_samples() { echo $(($(stat -c %s "$1") / 2)); }
stop_recording() {
  kill -INT "$RECORDER" 2>/dev/null || true
  wait "$RECORDER" 2>/dev/null || true
}

# start_rtp_count PEER FILE [INTERFACE]: counts the RTP packets of calls with
# PEER on the loopback interface (or INTERFACE), each way, into FILE
# ("to_peer=N from_peer=M", rewritten twice a second; tests/wine/count_rtp.py,
# which needs root). Fails when the counter does not start in 5 s.
start_rtp_count() {
  $OWNED python3 "$ROOT/tests/wine/count_rtp.py" "$1" "$2" ${3:-} 2>"$2.log" &
  PIDS="$PIDS $!"
  rtp_counts=$2
  wait_until 50 '[ -s "$rtp_counts" ]'
}

# as_root COMMAND...: runs COMMAND as root (through sudo for another user).
as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# missing_packages PKG...: those of the Debian packages PKG that are not
# installed, each after a space.
missing_packages() {
  for p; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || printf ' %s' "$p"
  done
}

# apt_install PKG...: installs those of the Debian packages PKG that are
# missing, the package lists refreshed first (once per script: APT_UPDATED).
apt_install() {
  apt_missing=$(missing_packages "$@")
  [ -n "$apt_missing" ] || return 0
  apt_update
  # shellcheck disable=SC2086 # one word per package
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $apt_missing
}
apt_update() {
  [ "${APT_UPDATED:-}" = 1 ] && return 0
  as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  APT_UPDATED=1
}
