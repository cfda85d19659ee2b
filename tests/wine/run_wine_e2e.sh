#!/bin/sh
# The Windows executable end to end under Wine, driven with xdotool as a
# person would, against the demo service on 127.0.0.1:18080 (the host the
# executable is built for): the empty-fields box, the failure box while the
# service is down, the refusal, the call screen with the demo's queues, the
# call prompt, and the close prompt, after which the service must have the
# logout notice and the program must end with code 0. What the program shows
# is read with the window probe, never from the screenshots.
#
# run_wine_e2e.sh PROGRAM.exe PROBE.exe SCREENSHOT-DIR WINE-PREFIX-DIR
set -eu
abspath() { (cd "$(dirname "$1")" && echo "$PWD/$(basename "$1")"); }
PROGRAM=$(abspath "$1")
PROBE=$(abspath "$2")
mkdir -p "$3"
SHOTS=$(cd "$3" && pwd)
PREFIX=$4
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
SERVICE_PORT=18080
. "$ROOT/scripts/lib.sh"
. "$ROOT/tests/wine/wine_lib.sh"
use_work_dir
trap 'stop_wine; stop_tracked; rm -rf "$WORK"' EXIT INT TERM

fail() {
  echo "wine-e2e: FAILED: $*" >&2
  if [ -f "$WORK/probe.txt" ]; then
    echo "--- what the probe saw last"
    cat "$WORK/probe.txt"
  fi >&2
  for f in service.log program.log; do
    [ -f "$WORK/$f" ] && { echo "--- $f (last lines)"; tail -n 30 "$WORK/$f"; }
  done >&2
  exit 1
}
say() { echo "wine-e2e: $*"; }
rm -f "$SHOTS"/*.png
shot() {
  import -window root "$SHOTS/$1.png"
  say "screenshot $SHOTS/$1.png"
}

start_xvfb "$WORK" "$WORK/xvfb.log" || fail "Xvfb did not start"
started=$(date +%s)
fresh_wine_prefix "$PREFIX" || fail "the Wine prefix could not be made"
say "fresh Wine prefix in $(($(date +%s) - started)) s"

# The program in a working folder of its own (its key.txt); the service is
# not running yet.
mkdir "$WORK/run"
(cd "$WORK/run" && exec wine "$PROGRAM" >"$WORK/program.log" 2>&1) &
PROGRAM_PID=$!
PIDS="$PIDS $PROGRAM_PID"
IMAGE=$(basename "$PROGRAM")

wait_probe 'window class="Dravik Tirn" text="Dravik Tirn 1\.1"' || fail "the main window did not appear"
has 'control id=[0-9]* class="Edit" text=""' || fail "no empty code field"
has 'class="Button" text="Logar"' || fail "no Logar button"
has 'class="Static" text="Código:"' || fail "the code label is not \"Código:\""
shot wine-login-screen

# Enter with both fields empty.
click_control 'Dravik Tirn 1\.1' Logar
wait_box 'Atenção' 'Preencha todos os Campos\.' || fail "no empty-fields box"
shot wine-empty-fields
click_control 'Atenção' OK
wait_gone 'Atenção' || fail "the empty-fields box stayed open"

# Code and password with the service down: the failure box.
click_edit 1
xdotool type --delay 30 1001
xdotool key Tab
xdotool type --delay 30 demo123
xdotool key Return
wait_box 'Atenção' 'Não foi possível falar com o serviço' || fail "no failure box with the service down"
shot wine-service-down
click_control 'Atenção' OK
wait_gone 'Atenção' || fail "the failure box stayed open"
has 'class="Button" text="Logar"' || fail "the login screen did not stay after the failure"

# The service up; a wrong password is refused with the service's text.
python3 "$ROOT/demo/service.py" --host 127.0.0.1 --port "$SERVICE_PORT" --port-file "$WORK/port" \
  --logout-log "$WORK/logout.log" >"$WORK/service.log" 2>&1 &
PIDS="$PIDS $!"
wait_until 100 '[ -s "$WORK/port" ]' || fail "the demo service did not start"
retype_password errada
wait_box 'Atenção' 'Usuário *ou senha não conferem\.' || fail "no refusal box"
shot wine-refused
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
shot wine-call-screen

# "Ligar": the prompt names the queue; "Não" leaves everything as it was.
click_control 'Dravik Tirn 1\.1' Ligar
wait_box '' 'Ligar para fila de ATENDIMENTO?' || fail "no call prompt"
has 'class="Button" text="&Sim"' || fail 'the call prompt has no "Sim"'
shot wine-call-prompt
click_control '' '&Não'
wait_gone '' || fail "the call prompt stayed open"

# Close the window with Alt+F4: "Sair ?", OK; the logout notice, exit 0.
click_control 'Dravik Tirn 1\.1' Ligar --move-only
xdotool key alt+F4
wait_box 'Dravik Tirn' 'Sair ?' || fail "no close prompt"
shot wine-close-prompt
click_control 'Dravik Tirn' OK
status=0
wait "$PROGRAM_PID" || status=$?
[ "$status" -eq 0 ] || fail "the program exited with code $status"
grep -qx "codigo=1001" "$WORK/logout.log" 2>/dev/null || fail "the service received no logout notice"
say "passed; screenshots in $SHOTS"
