#!/bin/sh
# The program next to the untuned liblinphone floor (on the same SIP stack)
# and next to baresip, in one run, and with a second build folder an earlier
# build of the program as well, all registering to one sipp registrar
# (127.0.0.47): memory and where it goes, idle CPU, threads, wake-ups, start
# to registered, command to answered. Installs baresip (Debian) when missing.
# Usage: bench/compare/run_compare_bench.sh BUILD_DIR [RUNS] [IDLE_SECONDS] [BEFORE_BUILD_DIR]
# (build first: cmake --build BUILD_DIR --target dravik-tirn dravik-tirn-e2e
#  app_bench map-timer sip_bench_program sip_bench_floor; BEFORE_BUILD_DIR the
#  same targets but the floor, which is always BUILD_DIR's)
set -eu
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(cd "${1:?build directory}" && pwd)
RUNS=${2:-5}
IDLE=${3:-20}
BEFORE=""
[ $# -ge 4 ] && BEFORE=$(cd "$4" && pwd)
ADDR=127.0.0.47
. "$ROOT/scripts/lib.sh"
fail() { echo "bench: $*" >&2; exit 1; }

if ! command -v baresip >/dev/null 2>&1; then
  apt_install baresip-core >/dev/null || fail "baresip could not be installed"
fi

use_work_dir
start_xvfb "$WORK" /dev/null || fail "no Xvfb"
# A sound server, as on a customer's desktop: without one the sound cards are
# looked for through ALSA, whose PulseAudio hook loads the system's client.
start_null_sound "$WORK" || fail "no PulseAudio"
# The demo service grants its account (cliente1001) on the peer's address;
# the peer challenges every REGISTER for that account and answers every
# INVITE at once with audio, so that call timings are the callers' own.
python3 "$ROOT/demo/service.py" --host 127.0.0.1 --port 0 --port-file "$WORK/port" \
  --sip-domain "$ADDR" --logout-log "$WORK/logout.log" >"$WORK/service.log" 2>&1 &
PIDS="$PIDS $!"
(cd "$WORK" && exec sipp -sf "$ROOT/tests/sip/scenarios/demo_peer.xml" -i "$ADDR" -mi "$ADDR" \
  -p 5060 -aa -nostdin -key user cliente1001 -key pass sip-demo-1001 -key expires 3600 \
  -trace_msg -message_file "$WORK/sip.msg" >"$WORK/sip.log" 2>&1) &
PIDS="$PIDS $!"
n=0
until [ -s "$WORK/port" ] && [ -e "$WORK/sip.msg" ]; do
  n=$((n + 1)); [ $n -gt 100 ] && fail "the demo service or SIP peer did not start"; sleep 0.1
done
SERVICE=127.0.0.1:$(cat "$WORK/port")

python3 "$ROOT/bench/compare/compare.py" --build "$BUILD" --work "$WORK" --service "$SERVICE" \
  --addr "$ADDR" --peer-log "$WORK/sip.msg" --runs "$RUNS" --idle "$IDLE" ${BEFORE:+--before "$BEFORE"}
