#!/bin/sh
# The Windows executable end to end under Wine, in a fresh prefix, driven
# through the scripted session (session.sh) against the demo service on
# 127.0.0.1:18080, the host the executable is built for: the empty-fields
# box, the failure box while the service is down, the refusal, the call
# screen with the demo's queues, the registration through a digest challenge,
# a call with audio both ways hung up by the program, a busy queue, a queue
# that hangs up, a stranger's call declined with 486, and the close prompt,
# after which the service must have the logout notice and the program must
# end with code 0; then a second run: a registrar that refuses every
# interval (the retries back off, the failure is told), a queue that answers
# with no codec in common (BYE, and the status line says why), a queue that
# rings (the ringing tone recorded from the sound card) and answers, and the
# session's end (wineboot --end-session) during that call; then a third
# run: the login fields' 19 characters, a call placed from the keyboard
# alone to a queue that takes the digits typed in it, a service granting
# two queues of one name, and two whose names the code page makes equal,
# each entry listed apart and calling its own queue, a queue that transfers
# the call to a second one, and a queue that redirects in a loop; and a
# fourth whose session ends while the service holds the login's answer
# back. What the program shows is read with the window probe, never
# from the screenshots.
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

# A second run. The registrar finds every interval too brief (423 with a
# Min-Expires): after the second refusal the status line says so, and the
# retries back off (1 s, then 2 s, then 4 s) instead of coming at once.
sip_peer too-brief "$SCENARIOS/registrar_interval_too_brief.xml"
start_program
wait_probe 'window class="Dravik Tirn" text="Dravik Tirn 1\.1" .* active=1' ||
  fail "the main window did not appear again"
log_in 1001 demo123
status_is 'Falha no registro: intervalo recusado (423)' ||
  fail "no registration failure told after the registrar's refusals"
refused() { [ "$(grep -c '^SIP/2.0 423' "$WORK/too-brief.msg")" -ge "$1" ]; }
wait_until 100 'refused 3' || fail "no third REGISTER: $(sip_received "$WORK/too-brief.msg" "REGISTER ") in all"
# The next retry, 4 s later, goes to a registrar that accepts it; its queue
# answers with a codec that the program did not offer (GSM alone), one that
# the call library would go on with, in silence. The queue's RTP comes back
# all the same (sipp echoes the program's), so that no time-out for missing
# audio ends the call in the program's stead.
sed -e 's/\[answer\]/3/' -e 's|\[rtpmap\]|a=rtpmap:3 GSM/8000|' \
  "$SCENARIOS/queue_answers_codec.xml" >"$WORK/queue_answers_gsm.xml"
sip_peer gsm "$WORK/queue_answers_gsm.xml" -m 2 -rtp_echo
status_is 'Pronto para ligar' || fail "the account did not register after the refusals"
registers=$(sip_received_at "$WORK/too-brief.msg" "REGISTER "; sip_received_at "$WORK/gsm.msg" "REGISTER ")
say "REGISTERs received at (s): $(echo "$registers" | tr '\n' ' ')"
echo "$registers" | LC_ALL=C awk 'NR > 1 && $1 - last < 0.9 { bad = 1 } { last = $1 } END { exit bad }' ||
  fail "REGISTERs less than a second apart"
# The call ends with a BYE (sipp's run ends well), and the status line says why.
click_control 'Dravik Tirn 1\.1' Ligar
wait_box '' 'Ligar para fila de ATENDIMENTO?' || fail "no call prompt"
click_control '' 'Sim'
wait_until 300 'ended $SIP_PEER' || { probe; fail "the GSM queue's call did not end"; }
peer_status=0
wait "$SIP_PEER" || peer_status=$?
SIP_PEER=""
[ $peer_status -eq 0 ] || fail "the GSM queue was offered no G.722 or got no BYE: $(tail -n 5 "$WORK/gsm.log")"
status_is 'Ligação encerrada (sem áudio em comum com a fila)' ||
  fail "no status line telling that the queue's answer had no audio in common"
shot no-common-audio

# A queue that rings for 4 s without audio of its own, then answers and
# sends none: the sound card plays the ringing tone once, and nothing from
# the answer on, past the time the next tone would have come.
sed -e 's/\[ring_ms\]/4000/' -e 's/\[early_ms\]/0/' -e "s/\[rtp_address\]/$SIP_ADDR/g" \
  -e 's/\[rtp_port\]/6000/g' "$SCENARIOS/queue_rings_then_answers.xml" >"$WORK/queue_rings.xml"
sip_peer ending "$WORK/queue_rings.xml"
record_sound "$WORK/ringing.raw" || fail "the sound card's recording did not begin"
click_control 'Dravik Tirn 1\.1' Ligar
wait_box '' 'Ligar para fila de ATENDIMENTO?' || fail "no call prompt"
click_control '' 'Sim'
status_is 'Em ligação com ATENDIMENTO' || fail "the call was not answered"
answered=$(recorded_samples "$WORK/ringing.raw")
wait_until 100 '[ "$(recorded_samples "$WORK/ringing.raw")" -ge $((answered + 24000)) ]' ||
  fail "the sound card's recording stopped"
stop_recording
tone=$(python3 "$ROOT/tests/wine/ringback_tone.py" "$WORK/ringing.raw" "$answered") || fail "$tone"
say "$tone"

# The session ends during that call (wineboot --end-session, as at log-off or
# shut-down: WM_QUERYENDSESSION, then WM_ENDSESSION): nobody is asked; the
# queue gets its BYE, the registrar the unregistration, the service its
# second logout notice, and the program is gone.
wine wineboot --end-session >"$WORK/end-session.log" 2>&1 || true
wait_until 100 'ended "$PROGRAM_PID"' || fail "the program outlived the end of the session"
wait_until 50 '[ "$(sip_received "$WORK/ending.msg" "BYE ")" -ge 1 ]' ||
  fail "the queue received no BYE at the end of the session"
wait_until 50 '[ -n "$(sip_unregistrations "$WORK/ending.msg")" ]' ||
  fail "the registrar received no REGISTER with Expires: 0 at the end of the session"
[ "$(grep -cx "codigo=1001" "$WORK/logout.log")" -eq 2 ] ||
  fail "the service received no logout notice at the end of the session"
say "session ended in a call: $(grep -m 1 '^BYE sip:' "$WORK/ending.msg"); $(sip_unregistrations "$WORK/ending.msg" | head -n 1)"
# A third run: the service grants two queues of one name, and two whose
# names differ only in characters code page 1252 lacks. Each is listed
# apart, and the entry picked calls its own queue.
kill "$SERVICE_PID" 2>/dev/null || true
wait "$SERVICE_PID" 2>/dev/null || true
cat >"$WORK/queues.json" <<'QUEUES'
[{"nome": "Filas", "info": [
  {"nome": "ATENDIMENTO", "info": {"user": "primeira01"}},
  {"nome": "ATENDIMENTO", "info": {"user": "segunda02"}},
  {"nome": "Suporte \ud83d\ude00", "info": {"user": "sorriso1"}},
  {"nome": "Suporte \ud83d\ude03", "info": {"user": "sorriso2"}}]}]
QUEUES
rm -f "$WORK/port"
python3 "$ROOT/demo/service.py" --host 127.0.0.1 --port "$SERVICE_PORT" --port-file "$WORK/port" \
  --sip-domain $SIP_ADDR --logout-log "$WORK/logout.log" --queues "$WORK/queues.json" \
  >"$WORK/service-repeated.log" 2>&1 &
SERVICE_PID=$!
PIDS="$PIDS $SERVICE_PID"
wait_until 100 '[ -s "$WORK/port" ]' || fail "the service with repeated names did not start"
# The queue first called takes digits: its answer has no telephone-event,
# so each digit typed goes to it as an INFO.
sed -e 's/\[event_format\]//' -e 's/\[event_rtpmap\]//' -e "s/\[audio_ip\]/$SIP_ADDR/" \
  -e 's/\[audio_port\]/16049/' -e 's/\[answer_ms\]/300/' "$SCENARIOS/queue_takes_digits.xml" \
  >"$WORK/queue_digits.xml"
sip_peer digits "$WORK/queue_digits.xml"
start_program
wait_probe 'window class="Dravik Tirn" text="Dravik Tirn 1\.1" .* active=1' ||
  fail "the main window did not appear a third time"
# The login fields hold the 19 characters the service's record keeps: of 25
# typed, 19 are there once Tab (after them) has taken the focus away.
click_edit 1
xdotool type --delay 30 1234567890123456789012345
xdotool key Tab
wait_probe 'class="Edit" text="1234567890123456789" .* focus=0' ||
  fail "the code field does not hold 19 characters"
xdotool type --delay 30 abcdefghijklmnopqrstuvwxy
xdotool key Tab
wait_probe 'class="Edit" text="abcdefghijklmnopqrs" .* focus=0' ||
  fail "the password field does not hold 19 characters"
for field in 2 1; do
  click_edit $field
  xdotool key End
  xdotool key --delay 20 --repeat 25 BackSpace
done
log_in 1001 demo123
status_is 'Pronto para ligar' || fail "the account did not register on the third run"
# A call from the keyboard alone: the queue list has the focus, Tab goes
# round the call screen's controls, Enter on the list is "Ligar", Enter
# confirms the prompt.
focused() { wait_probe "class=\"$1\" text=\"$2\" rect=[^ ]* style=[^ ]* focus=1"; }
focused Edit ATENDIMENTO || fail "the queue list has not the focus after the login"
for c in Button:Ligar 'Button:Ajuda áreas Consultoria' Edit:ATENDIMENTO; do
  xdotool key Tab
  focused "${c%%:*}" "${c#*:}" || fail "Tab did not go on to \"${c#*:}\""
done
xdotool key Return
wait_box '' 'Ligar para fila de ATENDIMENTO?' || fail "Enter on the queue list did not ask to call"
xdotool key Return
status_is 'Em ligação com ATENDIMENTO' || fail "Enter did not confirm the call"
# Digits typed in the call, on the main keyboard and the keypad, go to the
# queue, one INFO each, and the status line shows them.
xdotool key --delay 50 1 numbersign KP_2 KP_Multiply
status_is 'Teclas 1#2\* - Em ligação com ATENDIMENTO' || fail "the digits typed are not shown"
wait_until 50 '[ "$(sip_received "$WORK/digits.msg" "INFO ")" -ge 4 ]' ||
  fail "the queue received $(sip_received "$WORK/digits.msg" "INFO ") INFOs for 4 digits"
signals=$(sed -n 's/^Signal= *\([0-9#*]\).*/\1/p' "$WORK/digits.msg" | tr -d '\n')
[ "$signals" = '1#2*' ] || fail "the queue received the digits \"$signals\", not 1#2*"
has 'class="Edit" text="ATENDIMENTO" ' || fail "the digits reached the queue list"
click_control 'Dravik Tirn 1\.1' Desligar
wait_box '' 'Deseja Desligar ?' || fail "no hang-up prompt"
click_control '' 'Sim'
wait_until 100 'grep -q "^BYE sip:" "$WORK/digits.msg"' || fail "the queue taking digits received no BYE"
sip_peer repeated "$SCENARIOS/demo_peer.xml" -aa -key user $SIP_USER -key pass $SIP_PASSWORD \
  -key expires 3600
has 'class="ComboBox" text="ATENDIMENTO" .* items=4 sel=0' || fail "the four queues are not listed"
for q in '1:ATENDIMENTO 2' '2:Suporte?' '3:Suporte? 2'; do
  has "item ${q%%:*} \"${q#*:}\"" || fail "queue ${q%%:*} is not \"${q#*:}\""
done
# call_entry INDEX NAME USER: the entry picked with the keyboard (Down in the
# list's edit part, from the first), called, its user invited, hung up, and
# the first entry picked again (Up as many times).
call_entry() {
  click_control 'Dravik Tirn 1\.1' ATENDIMENTO
  i=0
  while [ $i -lt "$1" ]; do
    xdotool key Down
    i=$((i + 1))
  done
  wait_probe "class=\"ComboBox\" text=\"$2\" .* sel=$1" || fail "entry $1 was not picked"
  click_control 'Dravik Tirn 1\.1' Ligar
  wait_box '' "Ligar para fila de $2?" || fail "no call prompt naming $2"
  click_control '' 'Sim'
  status_is "Em ligação com $2" || fail "the call to $2 was not answered"
  grep -q "^INVITE sip:$3@" "$WORK/repeated.msg" || fail "$2 did not call $3"
  click_control 'Dravik Tirn 1\.1' Desligar
  wait_box '' 'Deseja Desligar ?' || fail "no hang-up prompt"
  click_control '' 'Sim'
  wait_probe_gone 'class="Button" text="Desligar"' || fail "Desligar stayed after the hang-up"
  click_control 'Dravik Tirn 1\.1' "$2"
  i=0
  while [ $i -lt "$1" ]; do
    xdotool key Up
    i=$((i + 1))
  done
  wait_probe 'class="ComboBox" text="ATENDIMENTO" .* sel=0' || fail "the first entry was not picked again"
}
call_entry 1 'ATENDIMENTO 2' segunda02
call_entry 3 'Suporte? 2' sorriso2
shot repeated-names

# The queue hands the call on to a second queue (a REFER to the user of the
# list's second entry, at another address): the program calls it, tells the
# first queue with a NOTIFY, and the status line names the second queue;
# "Desligar" then ends the call with it.
(cd "$WORK" && exec $OWNED sipp -sf "$SCENARIOS/queue_awaits_bye.xml" -i 127.0.0.57 -mi 127.0.0.57 \
  -p 5060 -m 1 -nostdin -trace_msg -message_file "$WORK/second.msg" >"$WORK/second.log" 2>&1) &
SECOND=$!
PIDS="$PIDS $SECOND"
wait_until 100 'udp_sip_taken 127.0.0.57' || fail "the second queue did not start"
sed -e 's/\[referto\]/<sip:segunda02@127.0.0.57>/' "$SCENARIOS/queue_transfers.xml" >"$WORK/transfers.xml"
sip_peer transfers "$WORK/transfers.xml" -m 1
click_control 'Dravik Tirn 1\.1' Ligar
wait_box '' 'Ligar para fila de ATENDIMENTO?' || fail "no call prompt"
click_control '' 'Sim'
status_is 'Em ligação com ATENDIMENTO 2' || fail "the transfer to the second queue was not followed"
grep -q '^INVITE sip:segunda02@127.0.0.57' "$WORK/second.msg" || fail "the second queue got no INVITE"
wait_until 100 'ended $SIP_PEER' || fail "the first queue's call did not end after the transfer"
peer_status=0
wait "$SIP_PEER" || peer_status=$?
SIP_PEER=""
[ $peer_status -eq 0 ] || fail "the first queue's call was not ended with a BYE"
grep -q '^NOTIFY ' "$WORK/transfers.msg" || fail "the first queue was told nothing of the transfer"
has 'class="Button" text="Desligar"' || fail "no Desligar after the transfer"
click_control 'Dravik Tirn 1\.1' Desligar
wait_box '' 'Deseja Desligar ?' || fail "no hang-up prompt"
click_control '' 'Sim'
wait_until 100 'ended $SECOND' || fail "the second queue's call was not hung up"
exited_ok "$SECOND" || fail "the second queue got no BYE: $(tail -n 3 "$WORK/second.log")"
say "transfer followed: $(grep -m 1 '^Refer-To:' "$WORK/transfers.msg"); $(grep -m 1 '^BYE sip:' "$WORK/second.msg")"

# A queue that redirects every call to a new address of its own: the
# program follows five redirections, then gives up and says why.
sed -e 's/\[target\]/fila[call_number]/' -e 's/\[delay\]/0/' "$SCENARIOS/queue_redirects.xml" \
  >"$WORK/redirects.xml"
sip_peer redirects "$WORK/redirects.xml"
click_control 'Dravik Tirn 1\.1' Ligar
wait_box '' 'Ligar para fila de ATENDIMENTO?' || fail "no call prompt"
click_control '' 'Sim'
status_is 'Ligação não completada (redirecionamento em laço)' ||
  fail "no end of the redirections told: $(sip_received "$WORK/redirects.msg" "INVITE ") INVITEs"
wait_probe_gone 'class="Button" text="Desligar"' || fail "Desligar stayed after the redirections"
invites=$(sip_received "$WORK/redirects.msg" "INVITE ")
[ "$invites" -le 6 ] || fail "$invites INVITEs for a queue redirecting in a loop"
say "redirections: $invites INVITEs"
close_program "$PROGRAM_PID"

stop_sip_peer

# A fourth run: the service takes the login and holds its answer back, and
# the session ends meanwhile. The program ends within the few seconds
# Windows gives (5 s), and, as the service has the login, tells it that the
# login ended.
kill "$SERVICE_PID"
wait "$SERVICE_PID" 2>/dev/null || true
rm -f "$WORK/port"
python3 "$ROOT/demo/service.py" --host 127.0.0.1 --port "$SERVICE_PORT" --port-file "$WORK/port" \
  --sip-domain 127.0.0.49 --logout-log "$WORK/logout.log" --slow-login >"$WORK/slow-service.log" 2>&1 &
PIDS="$PIDS $!"
wait_until 100 '[ -s "$WORK/port" ]' || fail "the slow demo service did not start"
start_program
wait_probe 'window class="Dravik Tirn" text="Dravik Tirn 1\.1" .* active=1' ||
  fail "the main window did not appear for the fourth run"
notices=$(grep -cx "codigo=1001" "$WORK/logout.log" || true)
log_in 1001 demo123
wait_until 100 'grep -q "login .1001." "$WORK/slow-service.log"' || fail "the slow service received no login"
started=$(date +%s%N)
wine wineboot --end-session >"$WORK/end-session.log" 2>&1 || true
wait_until 50 'ended "$PROGRAM_PID"' || fail "the program did not end within 5 s of the end of the session"
ended_ms=$((($(date +%s%N) - started) / 1000000))
wait_until 20 '[ "$(grep -cx "codigo=1001" "$WORK/logout.log")" -eq $((notices + 1)) ]' ||
  fail "the service received no logout notice for the login under way"
say "session ended during the login: the program ended after $ended_ms ms, with the logout notice"
# The peers' message traces are kept beside the screenshots; the lines that
# show the call's signalling are printed.
mkdir -p "$SHOTS/sip"
cp "$WORK"/*.msg "$SHOTS/sip/"
grep -m 1 '^Authorization:' "$WORK/registrar.msg"
grep -m 1 '^INVITE sip:' "$WORK/queue.msg"
grep '^m=' "$WORK/invite.txt"
grep -m 1 '^BYE sip:' "$WORK/queue.msg"
say "passed; screenshots in $SHOTS, SIP traces in $SHOTS/sip"
