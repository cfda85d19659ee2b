#!/bin/sh
# One more run of the program under the end-to-end test's display, against
# the demo service and a sipp scenario on SIP_ADDR, for the call screen's
# status line: "busy" logs in, calls the first queue (it rings, then is busy)
# and takes screenshots while it rings and once it was busy; "refused" logs
# in to a registrar that refuses the account and takes a screenshot of that;
# "network" runs in a network namespace of its own whose only way out, and
# default route, is a veth pair whose far end is in the demo peer's own
# namespace (SIP_ADDR): logged in, it takes the program's end down (loopback
# alone is left), tries "Ligar", brings it back and places a call; in the
# call the network goes for a few seconds (the call stays and its audio
# comes back), then for long (the call is lost, and the queue gets its BYE
# once the network is back); a second call is hung up while the network is
# gone (the BYE follows it back), a third one with the network. The status
# line is read at each step. The program is then closed. Waits on the
# program's own output (the registration reports and the library's log) and
# on its window probe.
#
# status_run.sh PROGRAM X11-CLOSE SHOTS-DIR SIP_ADDR SCENARIO busy|refused|network
set -eu
PROGRAM=$1 X11CLOSE=$2 SHOTS=$3 SIP_ADDR=$4 SCENARIO=$5 MODE=$6
if [ "$MODE" = network ] && [ -z "${STATUS_RUN_OWN_NETWORK:-}" ]; then
  STATUS_RUN_OWN_NETWORK=1 exec unshare --net "$0" "$@"
fi
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
. "$ROOT/scripts/lib.sh"
use_work_dir
mkdir -p "$SHOTS"
fail() {
  echo "status_run ($MODE): FAILED: $*" >&2
  show_logs 20 sip.log service.log
  [ -f "$WORK/program.log" ] && grep -a 'Novo estado\|SIP/2.0 [0-9]' "$WORK/program.log" | tail -n 5 >&2
  show_program "${PROGRAM_PID:-}" "$WORK/probe-answer.txt"
  exit 1
}
say() { echo "status_run ($MODE): $*"; }
in_log() { grep -aq "$1" "$WORK/program.log" 2>/dev/null; }

# The pair: the program's end (the default route) here, the peer's
# (SIP_ADDR) in the peer's namespace. The program's end goes down and up, as
# a Wi-Fi link does.
network() {
  ip link set dt-lan "$1" || return 1
  if [ "$1" = up ]; then # what a DHCP client would do
    ip route replace default dev dt-lan
  fi
}
if [ "$MODE" = network ]; then
  ip link set lo up
  ip link add dt-lan type veth peer name dt-far || fail "no veth pair (this needs root)"
  # Both ends in one namespace would talk through its loopback whatever the
  # links do: the peer's end goes to a namespace of its own.
  $OWNED unshare --net sleep infinity &
  PEER_NS_PID=$!
  PIDS="$PIDS $PEER_NS_PID"
  wait_until 50 '[ "$(readlink /proc/$PEER_NS_PID/ns/net)" != "$(readlink /proc/$$/ns/net)" ]' ||
    fail "no namespace for the peer"
  PEER_NETNS="nsenter -t $PEER_NS_PID -n --"
  ip link set dt-far netns "$PEER_NS_PID" || fail "the peer's end did not move"
  $PEER_NETNS ip link set lo up
  $PEER_NETNS ip addr add "$SIP_ADDR/24" dev dt-far
  $PEER_NETNS ip link set dt-far up
  ip addr add "${SIP_ADDR%.*}.1/24" dev dt-lan
  network up || fail "the veth pair did not come up"
  start_rtp_count "$SIP_ADDR" "$WORK/rtp.txt" dt-lan || fail "the RTP counter did not start"
  # This namespace's own sound card.
  start_null_sound "$WORK" || fail "no PulseAudio server: $(tail -n 3 "$WORK/pulse/log")"
fi
# A display of this run's own: an X server that earlier runs' programs have
# used can stop taking new connections for a while.
start_xvfb "$WORK" "$WORK/xvfb.log" || fail "Xvfb did not start"

start_demo_peers "$WORK" "" "$SIP_ADDR" 0 "$SCENARIO" || fail "the demo service did not start"
mkdir "$WORK/run"
(cd "$WORK/run" && HOME="$WORK/run" DRAVIK_TIRN_TEST_SERVICE=$SERVICE \
  DRAVIK_WINAPI_PROBE="$WORK/probe-answer.txt" exec "$PROGRAM" >"$WORK/program.log" 2>&1) &
PROGRAM_PID=$!
PIDS="$PIDS $PROGRAM_PID"
wait_until 100 '[ -f "$WORK/probe-answer.txt" ]' || fail "the program did not set up its probe"

MAIN=$(main_window "$PROGRAM_PID") ||
  fail "the main window did not appear"
# The status line's text now (below the help button, at 160,200).
status_line() {
  layer_probe "$PROGRAM_PID" "$WORK/probe-answer.txt" "$WORK/probe.txt"
  sed -n 's/.*class="Static" text="\(.*\)" rect=160,200,.*/\1/p' "$WORK/probe.txt"
}
wait_status() {
  wanted=$1
  wait_until "${2:-100}" '[ "$(status_line)" = "$wanted" ]' ||
    fail "the status line says \"$(status_line)\", not \"$wanted\""
  say "status line: $wanted"
}
# SIP requests of a kind the peer has received ("REGISTER ", "INVITE ").
received() { grep -c "^$1" "$WORK/sip.msg" 2>/dev/null || true; }
# RTP packets counted on the program's link, each way (to_peer, from_peer);
# audio_flows: both ways, a second of audio within 10 s.
rtp_count() { sed -n "s/.*$1=\([0-9]*\).*/\1/p" "$WORK/rtp.txt"; }
audio_flows() {
  to=$(rtp_count to_peer) from=$(rtp_count from_peer)
  wait_until 100 '[ "$(rtp_count to_peer)" -ge $((to + 50)) ] &&
    [ "$(rtp_count from_peer)" -ge $((from + 50)) ]'
}
# click_and_confirm X: a click on the call screen at X,150 ("Desligar" 210, "Ligar" 314)
# answered with Enter on the box it opens.
click_and_confirm() {
  BEFORE=$(visible_windows)
  xdotool mousemove --window "$MAIN" "$1" 150 click 1
  answer_new_box || fail "no message box, or it stayed open"
}
shot() {
  sleep 0.3 # the redraw reaches the screen
  import -window "$MAIN" "$SHOTS/$1.png"
  say "screenshot $SHOTS/$1.png"
}
window_login "$MAIN" 1001 demo123 "$PROGRAM_PID" "$WORK/probe-answer.txt" || fail "the login was not typed"

if [ "$MODE" = refused ]; then
  wait_until 300 'in_log "Novo estado de registro LinphoneRegistrationFailed"' ||
    fail "the registration was not refused"
  shot call-screen-registration-failed
elif [ "$MODE" = network ]; then
  wait_status "Pronto para ligar" 150
  registers=$(received "REGISTER ")
  network down
  say "the veth pair is down: loopback alone is left"
  # The library looks for a network every 5 s.
  wait_status "Sem conexão de rede" 300
  shot call-screen-no-network
  [ "$(received "REGISTER ")" -eq "$registers" ] || fail "REGISTER sent with no network"
  BEFORE=$(visible_windows)
  xdotool mousemove --window "$MAIN" 314 150 click 1
  answer_new_box || fail "no \"Ligar para fila de ...?\" box, or it stayed open"
  # Registered once, the phone tries the call: it fails, and the status line
  # says so, with no box.
  wait_until 150 'case "$(status_line)" in "Ligação não completada"*) true ;; *) false ;; esac' ||
    fail "the status line says \"$(status_line)\", not why the call failed"
  say "status line: $(status_line)"
  [ -z "$(new_window)" ] || fail "a box came after Yes"
  [ "$(received "INVITE ")" -eq 0 ] || fail "an INVITE reached the queue with no network"
  network up || fail "the veth pair did not come back"
  say "the veth pair is up again"
  wait_status "Pronto para ligar" 150
  [ "$(received "REGISTER ")" -gt "$registers" ] || fail "no new REGISTER"
  say "REGISTER lines after the network returned:"
  grep -ao 'Novo estado de registro [^]]*\][^]]*\]' "$WORK/program.log" | tail -n 2
  awk -v n="$registers" '/^REGISTER / && ++seen > n' "$WORK/sip.msg"
  click_and_confirm 314
  wait_status "Em ligação com ATENDIMENTO" 150
  shot call-screen-network-back
  audio_flows || fail "no audio both ways in the call: $(cat "$WORK/rtp.txt")"

  # A few seconds without the network: the call stays, renewed (re-INVITE)
  # once the account is registered again, and its audio comes back.
  network down
  wait_status "Sem conexão de rede, em ligação com ATENDIMENTO" 100
  shot call-screen-in-call-no-network
  network up || fail "the veth pair did not come back"
  say "the veth pair is up again"
  wait_status "Em ligação com ATENDIMENTO" 150
  wait_until 200 '[ "$(received "INVITE ")" -ge 2 ]' || fail "no re-INVITE after the network returned"
  audio_flows || fail "the audio did not come back both ways: $(cat "$WORK/rtp.txt")"
  [ "$(received "BYE ")" -eq 0 ] || fail "the call ended over a few seconds without network"
  say "the call stayed, its audio back: $(cat "$WORK/rtp.txt")"

  # Long without the network: the call is lost; the queue gets its BYE as
  # soon as the network is back. The outage lasts 40 s, beyond the 30 s after
  # which the library gives up a call that hears nothing.
  network down
  down_at=$(date +%s)
  wait_status "Sem conexão de rede, em ligação com ATENDIMENTO" 100
  wait_status "Ligação encerrada (conexão perdida)" 350
  shot call-screen-call-lost
  outage=$(($(date +%s) - down_at))
  [ "$outage" -ge 40 ] || sleep $((40 - outage))
  network up || fail "the veth pair did not come back"
  wait_until 150 '[ "$(received "BYE ")" -ge 1 ]' ||
    fail "the queue got no BYE for the lost call after the network returned"
  say "the queue got the lost call's BYE"
  wait_status "Pronto para ligar" 150

  # Hung up while the network is gone: the BYE leaves when it is back.
  click_and_confirm 314
  wait_status "Em ligação com ATENDIMENTO" 150
  network down
  wait_status "Sem conexão de rede, em ligação com ATENDIMENTO" 100
  click_and_confirm 210 # "Desligar"
  wait_status "Ligação encerrada"
  network up || fail "the veth pair did not come back"
  wait_until 150 '[ "$(received "BYE ")" -ge 2 ]' ||
    fail "the queue got no BYE for the call hung up without network"
  say "the queue got the BYE of the call hung up without network"
  wait_status "Pronto para ligar" 150

  # And hung up with the network there.
  click_and_confirm 314
  wait_status "Em ligação com ATENDIMENTO" 150
  click_and_confirm 210 # "Desligar"
  wait_status "Ligação encerrada"
  wait_until 100 '[ "$(received "BYE ")" -ge 3 ]' || fail "the queue got no BYE"
else
  wait_until 300 'in_log "Novo estado de registro LinphoneRegistrationOk"' ||
    fail "the account did not register"
  BEFORE=$(visible_windows)
  xdotool mousemove --window "$MAIN" 314 150 click 1
  answer_new_box || fail "no message box, or it stayed open"
  wait_until 100 'in_log "SIP/2.0 180 Ringing"' || fail "the queue did not ring"
  shot call-screen-calling
  wait_until 100 'in_log "SIP/2.0 486 Busy Here"' || fail "the queue did not answer busy"
  shot call-screen-busy
fi

BEFORE=$(visible_windows)
"$X11CLOSE" "$MAIN"
answer_new_box || fail "no \"Sair ?\" box" # at once: no call is in progress
if ! wait_until 300 'ended $PROGRAM_PID'; then
  # Where the program is stuck, for the report (when gdb is there).
  command -v gdb >/dev/null && timeout 60 gdb -p "$PROGRAM_PID" -batch -ex 'thread apply all bt 10' 2>/dev/null |
    grep '^#\|^Thread' >&2
  fail "the program did not end after \"Sair ?\""
fi
wait "$PROGRAM_PID" || fail "the program did not exit cleanly"
say "closed"
