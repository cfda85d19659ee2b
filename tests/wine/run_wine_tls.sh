#!/bin/sh
# The Windows executable built for the https service (SERVICE_HOST
# https://localhost:18443) and SIP over TLS, under Wine. A throw-away CA goes
# into the prefix's root store, as an administrator would put a company's
# CA there; the demo service serves https with a certificate of that CA, and
# the registrar (sipp over TCP) sits behind a TLS front (stunnel). The
# account registers through the front; then the front shows a certificate of
# a CA Wine does not know: the registrar gets nothing and the status line
# says the registration failed. The registrar's message trace is kept in
# TRACE-DIR.
#
# run_wine_tls.sh PROGRAM.exe PROBE.exe WINE-PREFIX-DIR TRACE-DIR [SERVICE-CA-FILE]
# With SERVICE-CA-FILE (the program's SERVICE_CA_FILE) the CA is written
# there too, and a service of an unknown CA must be refused.
set -eu
abspath() { (cd "$(dirname "$1")" && echo "$PWD/$(basename "$1")"); }
PROGRAM=$(abspath "$1")
PROBE=$(abspath "$2")
PREFIX=$3
mkdir -p "$4"
TRACES=$(cd "$4" && pwd)
IMAGE=$(basename "$PROGRAM")
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
. "$ROOT/scripts/lib.sh"
. "$ROOT/tests/wine/wine_lib.sh"
use_work_dir
trap 'stop_wine; stop_tracked; rm -rf "$WORK"' EXIT INT TERM
SERVICE_PORT=18443
REGISTRAR=127.0.0.52
SIP_USER=cliente1001
SIP_PASSWORD=sip-demo-1001

fail() {
  echo "wine-tls: FAILED: $*" >&2
  show_session_state
  show_logs 30 stunnel.log
  exit 1
}
T0=$(date +%s)
say() { echo "wine-tls: [$(($(date +%s) - T0)) s] $*"; }

start_xvfb "$WORK" "$WORK/xvfb.log" || fail "Xvfb did not start"
# A sound card (a null sink), so that registered reads "Pronto para ligar".
start_null_sound "$WORK" || fail "no PulseAudio server with a null sink"
fresh_wine_prefix "$PREFIX" || fail "the Wine prefix could not be made"
new_ca "$WORK" company-ca
new_ca "$WORK" unknown-ca
issue_cert "$WORK" company-ca service localhost 127.0.0.1
issue_cert "$WORK" company-ca registrar $REGISTRAR
issue_cert "$WORK" unknown-ca impostor $REGISTRAR
issue_cert "$WORK" unknown-ca impostor-service localhost 127.0.0.1
if [ -n "${5:-}" ]; then
  cp "$WORK/company-ca.pem" "$5"
fi
trust_root_ca "$WORK/company-ca.pem" || fail "the CA could not be put into Wine's root store"
say "prefix ready, company CA in its root store"

# service CERT: the demo service over https showing CERT, in place of the
# previous one.
SERVICE=""
service() {
  if [ -n "$SERVICE" ]; then
    kill "$SERVICE" 2>/dev/null || true
    wait "$SERVICE" 2>/dev/null || true
  fi
  rm -f "$WORK/port"
  $OWNED python3 "$ROOT/demo/service.py" --host 127.0.0.1 --port $SERVICE_PORT --port-file "$WORK/port" \
    --sip-domain $REGISTRAR --logout-log "$WORK/logout.log" --cert "$WORK/$1.pem" \
    --key "$WORK/$1.key" >>"$WORK/service.log" 2>&1 &
  SERVICE=$!
  PIDS="$PIDS $SERVICE"
  wait_until 100 '[ -s "$WORK/port" ]' || fail "the demo service did not start"
}
service service
(cd "$WORK" && exec $OWNED sipp -sf "$ROOT/tests/sip/scenarios/demo_peer.xml" -t t1 -i $REGISTRAR \
  -p 5060 -nostdin -key user $SIP_USER -key pass $SIP_PASSWORD -key expires 3600 -trace_msg \
  -message_file "$WORK/registrar.msg" >"$WORK/registrar.log" 2>&1) &
PIDS="$PIDS $!"

# tls_front CERT: stunnel on REGISTRAR:5061 showing CERT, in front of the
# registrar, in place of the previous one.
FRONT=""
tls_front() {
  if [ -n "$FRONT" ]; then
    kill "$FRONT" 2>/dev/null || true
    wait "$FRONT" 2>/dev/null || true
  fi
  wait_until 50 '[ -z "$(ss -Hltn src $REGISTRAR:5061)" ]' || fail "$REGISTRAR:5061 stayed taken"
  printf 'foreground = yes\npid =\ndebug = info\noutput = %s\n[sip]\naccept = %s:5061\nconnect = %s:5060\ncert = %s\nkey = %s\n' \
    "$WORK/stunnel.log" $REGISTRAR $REGISTRAR "$WORK/$1.pem" "$WORK/$1.key" >"$WORK/stunnel.conf"
  $OWNED stunnel "$WORK/stunnel.conf" >"$WORK/stunnel.out" 2>&1 &
  FRONT=$!
  PIDS="$PIDS $FRONT"
  wait_until 100 '[ -n "$(ss -Hltn src $REGISTRAR:5061)" ] && [ -n "$(ss -Hltn src $REGISTRAR:5060)" ]' ||
    fail "the TLS front or the registrar did not start"
}
tls_front registrar

mkdir -p "$WORK/run"
start_program() {
  (cd "$WORK/run" && exec wine "$PROGRAM" >"$WORK/program.log" 2>&1) &
  PROGRAM_PID=$!
  PIDS="$PIDS $PROGRAM_PID"
  wait_probe 'window class="Dravik Tirn" text="Dravik Tirn 1\.1" .* active=1' ||
    fail "the main window did not appear"
}

# Logged in over https, registered over TLS: the registrar saw a TLS
# client's REGISTER answer the digest challenge.
start_program
log_in 1001 demo123
wait_probe 'class="Button" text="Ligar"' || fail "no call screen after the https login"
PROBE_TRIES=180
wait_probe 'class="Static" text="Pronto para ligar"' || fail "the account did not register over TLS"
grep -q '^Via: SIP/2.0/TLS ' "$WORK/registrar.msg" || fail "the REGISTER did not come over TLS"
grep -q '^Authorization: *Digest .*username="'$SIP_USER'"' "$WORK/registrar.msg" ||
  fail "no REGISTER answered the digest challenge"
say "registered over TLS: $(grep -m 1 '^Via: SIP/2.0/TLS' "$WORK/registrar.msg")"
close_program "$PROGRAM_PID"
grep -qx "codigo=1001" "$WORK/logout.log" || fail "the service received no logout notice over https"
cp "$WORK/registrar.msg" "$TRACES/registrar-tls.msg"

# A registrar whose certificate comes from a CA Wine does not know: the
# handshake is refused, no request reaches the registrar, and the call
# screen says the registration failed.
: >"$WORK/registrar.msg"
: >"$WORK/stunnel.log"
tls_front impostor
start_program
log_in 1001 demo123
wait_probe 'class="Button" text="Ligar"' || fail "no call screen after the https login"
wait_probe 'class="Static" text="Falha no registro: sem conexão segura"' ||
  fail "the status line does not say that no secure connection was made"
grep -q 'REGISTER' "$WORK/registrar.msg" && fail "a request reached the registrar of an unknown CA"
grep -q 'unknown ca' "$WORK/stunnel.log" || fail "the program did not refuse the impostor's certificate"
say "unknown CA refused: $(grep -m 1 'unknown ca' "$WORK/stunnel.log")"
close_program "$PROGRAM_PID"
cp "$WORK/stunnel.log" "$TRACES/stunnel-unknown-ca.log"
cp "$WORK/program.log" "$TRACES/program-unknown-ca.log"

# A service of an unknown CA, when the program is built with its CA file:
# the login fails with the box, and nothing reaches the service.
if [ -n "${5:-}" ]; then
  service impostor-service
  start_program
  log_in 1001 demo123
  wait_box 'Atenção' 'Não foi possível falar com o serviço' ||
    fail "no failure box for a service of an unknown CA"
  [ "$(grep -c "login '1001'" "$WORK/service.log")" -eq 2 ] ||
    fail "a login reached the service of an unknown CA"
  say "service of an unknown CA refused"
fi
say "passed; traces in $TRACES"
