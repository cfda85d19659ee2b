# The scripted session, the same on every platform (sourced by the Wine
# end-to-end test and by the Linux side of the differential check, after
# they have defined start_program and probe and set WORK, SHOTS and SNAPS).
# It drives the program with xdotool as a person would, against the demo
# service on 127.0.0.1:18080, and checks what the probe reports; at the six
# points the two platforms are compared at, the probe's answer is kept in
# SNAPS under the point's name.
SERVICE_PORT=18080

snapshot() {
  cp "$WORK/probe.txt" "$SNAPS/$1.txt"
  shot "$1"
}

mkdir -p "$SNAPS"
rm -f "$SNAPS"/*.txt
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

wait_probe 'window class="Dravik Tirn" text="Dravik Tirn 1\.1"' || fail "the main window did not appear"
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
PIDS="$PIDS $!"
wait_until 100 '[ -s "$WORK/port" ]' || fail "the demo service did not start"
retype_password errada
wait_box 'Atenção' 'Usuário *ou senha não conferem\.' || fail "no refusal box"
snapshot refused
click_control 'Atenção' OK
wait_gone 'Atenção' || fail "the refusal box stayed open"

# Accepted: the call screen with the demo's five queues, accents intact (the
# program drops the first space of each name, as it always has).
retype_password demo123
wait_probe 'class="Button" text="Ligar"' || fail "the call screen did not appear"
has 'class="ComboBox" text="ATENDIMENTO" .* items=5 sel=0' || fail "the queue list is not the demo's, ATENDIMENTO selected"
for q in 0:ATENDIMENTO 1:GestãoTributária 2:ConsultoriaJurídica 3:RecursosHumanos 4:Contábil; do
  has "item ${q%%:*} \"${q#*:}\"" || fail "queue ${q%%:*} is not \"${q#*:}\""
done
has 'class="Button" text="Ajuda áreas Consultoria"' || fail "no help button"
has '^  control .*class="Edit"' && fail "login controls left on the call screen"
snapshot call-screen

# "Ligar": the prompt names the queue; "Não" leaves everything as it was.
click_control 'Dravik Tirn 1\.1' Ligar
wait_box '' 'Ligar para fila de ATENDIMENTO?' || fail "no call prompt"
has 'class="Button" text="&*Sim"' || fail 'the call prompt has no "Sim"'
snapshot call-prompt
click_control '' 'Não'
wait_gone '' || fail "the call prompt stayed open"

# Close the window with Alt+F4: "Sair ?", OK; the logout notice, exit 0.
close_program "$PROGRAM_PID" "snapshot close-prompt"
grep -qx "codigo=1001" "$WORK/logout.log" 2>/dev/null || fail "the service received no logout notice"
