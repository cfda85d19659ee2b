# The scripted session, the same on every platform (sourced by the Wine
# end-to-end test and by the Linux side of the differential check, after
# they have defined start_program and probe and set WORK, SHOTS and SNAPS).
# It drives the program with xdotool as a person would, against the demo
# service on 127.0.0.1:18080 and sipp peers on 127.0.0.49 (the SIP domain the
# service grants), and checks what the probe reports; at the points the two
# platforms are compared at, the probe's answer is kept in SNAPS under the
# point's name. The SIP side: registration through a digest challenge, a call
# answered with audio (RTP counted each way on the loopback interface) and
# hung up by the program, a busy queue, a queue that hangs up, and a stranger's
# call declined with 486.
SERVICE_PORT=18080
SIP_ADDR=127.0.0.49
SCENARIOS=$ROOT/tests/sip/scenarios
# The account the demo service grants.
SIP_USER=cliente1001
SIP_PASSWORD=sip-demo-1001

# sip_peer NAME SCENARIO SIPP-ARGS...: a sipp peer on SIP_ADDR:5060 in place
# of the previous one; its messages in WORK/NAME.msg.
SIP_PEER=""
sip_peer() {
  name=$1 scenario=$2
  shift 2
  stop_sip_peer
  # shellcheck disable=SC2086
  (cd "$WORK" && exec $OWNED sipp -sf "$scenario" -i $SIP_ADDR -mi $SIP_ADDR -p 5060 -nostdin \
    -trace_msg -message_file "$WORK/$name.msg" "$@" >"$WORK/$name.log" 2>&1) &
  SIP_PEER=$!
  PIDS="$PIDS $SIP_PEER"
  wait_until 100 'udp_sip_taken $SIP_ADDR' || fail "the SIP peer \"$name\" did not start"
}
stop_sip_peer() {
  [ -n "$SIP_PEER" ] || return 0
  kill "$SIP_PEER" 2>/dev/null || true
  wait "$SIP_PEER" 2>/dev/null || true
  SIP_PEER=""
  wait_until 50 '! udp_sip_taken $SIP_ADDR' || fail "$SIP_ADDR:5060 stayed taken"
}
# status_is TEXT: until the status line shows TEXT (a regular expression);
# a queue may ring for seconds first.
status_is() {
  tries=$PROBE_TRIES
  PROBE_TRIES=$((tries * 3))
  wait_probe "class=\"Static\" text=\"$1\"" || { PROBE_TRIES=$tries; return 1; }
  PROBE_TRIES=$tries
}

snapshot() {
  cp "$WORK/probe.txt" "$SNAPS/$1.txt"
  shot "$1"
}

mkdir -p "$SNAPS"
rm -f "$SNAPS"/*.txt
# The calls' audio through the sound-card path: a null sink as the card.
start_null_sound "$WORK" || fail "no PulseAudio server with a null sink: $(tail -n 3 "$WORK/pulse/log")"
# The first login needs the service down: nothing else may serve the port.
python3 -c "
import socket
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)  # as the service does
s.bind(('127.0.0.1', $SERVICE_PORT))" 2>/dev/null ||
  fail "port $SERVICE_PORT is in use (run the test under the peers' lock)"

# The program in a working folder of its own (its key.txt); the service is
# not running yet.
mkdir -p "$WORK/run"
start_program

# Shown, then active: an X server without a window manager hands a new
# window the focus a moment after it is mapped, later under load.
wait_probe 'window class="Dravik Tirn" text="Dravik Tirn 1\.1"' || fail "the main window did not appear"
wait_probe 'window class="Dravik Tirn" text="Dravik Tirn 1\.1" .* active=1' ||
  fail "the main window never became the active window"
has 'control id=[0-9]* class="Edit" text=""' || fail "no empty code field"
has 'class="Button" text="Logar"' || fail "no Logar button"
has 'class="Static" text="Código:"' || fail "the code label is not \"Código:\""
snapshot login-screen

# Enter with both fields empty.
click_control 'Dravik Tirn 1\.1' Logar
wait_box 'Atenção' 'Preencha todos os Campos\.' || fail "no empty-fields box"
snapshot empty-fields
click_control 'Atenção' OK
wait_gone 'Atenção' || fail "the empty-fields box stayed open"

# Code and password with the service down: the failure box.
log_in 1001 demo123
wait_box 'Atenção' 'Não foi possível falar com o serviço' || fail "no failure box with the service down"
shot service-down
click_control 'Atenção' OK
wait_gone 'Atenção' || fail "the failure box stayed open"
has 'class="Button" text="Logar"' || fail "the login screen did not stay after the failure"

# The service up; a wrong password is refused with the service's text.
python3 "$ROOT/demo/service.py" --host 127.0.0.1 --port "$SERVICE_PORT" --port-file "$WORK/port" \
  --sip-domain 127.0.0.49 --logout-log "$WORK/logout.log" >"$WORK/service.log" 2>&1 &
SERVICE_PID=$!
PIDS="$PIDS $SERVICE_PID"
wait_until 100 '[ -s "$WORK/port" ]' || fail "the demo service did not start"
retype_password errada
wait_box 'Atenção' 'Usuário *ou senha não conferem\.' || fail "no refusal box"
snapshot refused
click_control 'Atenção' OK
wait_gone 'Atenção' || fail "the refusal box stayed open"

# The registrar challenges the account's first REGISTER and accepts the
# second, with the service's credentials.
sip_peer registrar "$SCENARIOS/demo_peer.xml" -aa -key user $SIP_USER -key pass $SIP_PASSWORD \
  -key expires 3600

# Accepted: the call screen with the demo's six queues, accents intact (the
# program drops the first space of each name, as it always has), and the
# dash and quotes of the last one shown as code page 1252 has them.
retype_password demo123
wait_probe 'class="Button" text="Ligar"' || fail "the call screen did not appear"
has 'class="ComboBox" text="ATENDIMENTO" .* items=6 sel=0' || fail "the queue list is not the demo's, ATENDIMENTO selected"
for q in 0:ATENDIMENTO 1:GestãoTributária 2:ConsultoriaJurídica 3:RecursosHumanos 4:Contábil; do
  has "item ${q%%:*} \"${q#*:}\"" || fail "queue ${q%%:*} is not \"${q#*:}\""
done
has 'item 5 "Fiscal– Simples “Nacional”"' || fail "queue 5 is not \"Fiscal– Simples “Nacional”\""
has 'class="Button" text="Ajuda áreas Consultoria"' || fail "no help button"
has '^  control .*class="Edit"' && fail "login controls left on the call screen"
status_is 'Pronto para ligar' || fail "the account did not register"
grep -q '^Authorization: *Digest .*username="'$SIP_USER'"' "$WORK/registrar.msg" ||
  fail "no REGISTER answered the digest challenge"
snapshot call-screen

# "Ligar": the prompt names the queue; "Não" leaves everything as it was.
click_control 'Dravik Tirn 1\.1' Ligar
wait_box '' 'Ligar para fila de ATENDIMENTO?' || fail "no call prompt"
has 'class="Button" text="&*Sim"' || fail 'the call prompt has no "Sim"'
snapshot call-prompt
click_control '' 'Não'
wait_gone '' || fail "the call prompt stayed open"

# Text typed into the list picks nothing by itself, but "Ligar" calls the
# queue of exactly that name; other text asks for a pick from the list.
# retype_queue TEXT: the list's text emptied key by key, TEXT typed.
retype_queue() {
  click_control 'Dravik Tirn 1\.1' "$1"
  xdotool key End BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace \
    BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace
  xdotool type --delay 30 "$2"
}
retype_queue ATENDIMENTO RecursosHumanos
click_control 'Dravik Tirn 1\.1' Ligar
wait_box '' 'Ligar para fila de RecursosHumanos?' || fail "typed text did not call the queue of that name"
click_control '' 'Não'
wait_gone '' || fail "the call prompt stayed open"
retype_queue RecursosHumanos Recursos
click_control 'Dravik Tirn 1\.1' Ligar
wait_box 'Atenção' 'Não há fila chamada .*Escolha uma fila da lista\.' ||
  fail "text that names no queue did not ask for a pick"
shot pick-a-queue
click_control 'Atenção' OK
wait_gone 'Atenção' || fail "the pick box stayed open"
retype_queue Recursos ATENDIMENTO

# A queue that rings, then is busy: "Fila ocupada", and "Desligar" goes.
sip_peer busy "$ROOT/tests/e2e/queue_rings_busy.xml"
click_control 'Dravik Tirn 1\.1' Ligar
wait_box '' 'Ligar para fila de ATENDIMENTO?' || fail "no call prompt"
click_control '' 'Sim'
status_is 'Chamando ATENDIMENTO\.\.\.' || fail "the call did not ring"
status_is 'Fila ocupada' || fail "no busy status for a busy queue"
wait_probe_gone 'class="Button" text="Desligar"' || fail "Desligar stayed after the busy queue"
shot busy

# A queue that answers and hangs up by itself.
# Its sipp ends after this one call, with success once its BYE was answered.
sip_peer hangs-up "$SCENARIOS/queue_hangs_up.xml" -m 1
click_control 'Dravik Tirn 1\.1' Ligar
wait_box '' 'Ligar para fila de ATENDIMENTO?' || fail "no call prompt"
click_control '' 'Sim'
wait_until 300 'ended $SIP_PEER' || fail "the queue's call did not end"
peer_status=0
wait "$SIP_PEER" || peer_status=$?
SIP_PEER=""
[ $peer_status -eq 0 ] || fail "the queue's call did not go through to its BYE's answer"
status_is 'Ligação encerrada' || fail "the queue's hang-up did not end the call"
wait_probe_gone 'class="Button" text="Desligar"' || fail "Desligar stayed after the queue hung up"
shot queue-hung-up

# A queue that answers with audio until the caller hangs up: audio flows
# both ways (the RTP packets on the loopback interface, counted from the
# call's start); "Desligar" and "Sim" hang up, and the queue receives the BYE.
sip_peer queue "$SCENARIOS/demo_peer.xml" -aa -key user $SIP_USER -key pass $SIP_PASSWORD \
  -key expires 3600
python3 "$ROOT/tests/wine/count_rtp.py" $SIP_ADDR "$WORK/rtp.txt" 2>"$WORK/rtp.log" &
PIDS="$PIDS $!"
wait_until 50 '[ -s "$WORK/rtp.txt" ]' || fail "the RTP counter did not start: $(cat "$WORK/rtp.log")"
click_control 'Dravik Tirn 1\.1' Ligar
wait_box '' 'Ligar para fila de ATENDIMENTO?' || fail "no call prompt"
click_control '' 'Sim'
status_is 'Em ligação com ATENDIMENTO' || fail "the call was not answered"
has 'class="Button" text="Desligar"' || fail "no Desligar during the call"
snapshot in-call
# Both counts at 50 packets or more (a second of 20 ms packets each way).
rtp_both_ways() { awk -F '[= ]' '{ exit !($2 >= 50 && $4 >= 50) }' "$WORK/rtp.txt"; }
wait_until 150 rtp_both_ways || fail "no audio both ways: $(cat "$WORK/rtp.txt")"
say "RTP packets during the call: $(cat "$WORK/rtp.txt")"
sed -n '/^INVITE sip:/,/^-----/p' "$WORK/queue.msg" >"$WORK/invite.txt"
grep -q '^m=audio ' "$WORK/invite.txt" || fail "the INVITE offers no audio"
grep -q '^m=' "$WORK/invite.txt" && [ "$(grep -c '^m=' "$WORK/invite.txt")" -eq 1 ] ||
  fail "the INVITE offers more than audio: $(grep '^m=' "$WORK/invite.txt")"
click_control 'Dravik Tirn 1\.1' Desligar
wait_box '' 'Deseja Desligar ?' || fail "no hang-up prompt"
click_control '' 'Sim'
status_is 'Ligação encerrada' || fail "the call did not end"
wait_until 100 'grep -q "^BYE sip:" "$WORK/queue.msg"' || fail "the queue received no BYE"

# A stranger calls the account's contact (from its registration): declined
# with 486 at once; the call screen stays as it was.
stop_sip_peer
contact=$(sed -n 's/^Contact: *<sip:[^@]*@\([0-9.]*\):\([0-9]*\).*/\1:\2/p' "$WORK/registrar.msg" | head -n 1)
[ -n "$contact" ] || fail "no contact address in the registration"
(cd "$WORK" && $OWNED sipp "$contact" -sf "$SCENARIOS/incoming_caller.xml" -i $SIP_ADDR -p 5060 -m 1 \
  -s $SIP_USER -nostdin -timeout 20s -timeout_error -trace_msg -message_file "$WORK/stranger.msg" \
  >"$WORK/stranger.log" 2>&1) || fail "the stranger's call was not declined with 486 at once"
grep -q '^SIP/2.0 486' "$WORK/stranger.msg" || fail "the stranger's call was not declined with 486"
probe
has 'class="Static" text="Ligação encerrada"' || fail "the stranger's call changed the status line"
has 'class="Button" text="Desligar"' && fail "the stranger's call shows Desligar"

# Close the window with Alt+F4: "Sair ?", OK; the logout notice, exit 0.
close_program "$PROGRAM_PID" "snapshot close-prompt"
grep -qx "codigo=1001" "$WORK/logout.log" 2>/dev/null || fail "the service received no logout notice"
stop_sip_peer
