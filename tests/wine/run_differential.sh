#!/bin/sh
# The differential check: the scripted session (session.sh) driven on the
# Linux build under Xvfb, its window layer answering the same probe format
# (winapi/probe.cpp), then compared field by field with what the Wine run of
# the Windows executable reported at the same points. Differences listed in
# allowed_differences.txt pass, with their reasons printed; any other fails.
#
# run_differential.sh PROGRAM WINE-SNAPSHOT-DIR SCREENSHOT-DIR
# (PROGRAM: the test build of the program, dravik-tirn-e2e; the Wine
# snapshots come from run_wine_e2e.sh)
set -eu
abspath() { (cd "$(dirname "$1")" && echo "$PWD/$(basename "$1")"); }
PROGRAM=$(abspath "$1")
WINE_SNAPS=$(cd "$2" && pwd)
mkdir -p "$3"
SHOTS=$(cd "$3" && pwd)
SNAPS=$SHOTS/probe
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
. "$ROOT/scripts/lib.sh"
. "$ROOT/tests/wine/wine_lib.sh"
use_work_dir

fail() {
  echo "differential: FAILED: $*" >&2
  show_session_state
  exit 1
}
say() { echo "differential: $*"; }
rm -f "$SHOTS"/*.png
shot() {
  import -window root "$SHOTS/layer-$1.png"
  say "screenshot $SHOTS/layer-$1.png"
}

# The layer's probe: a signal, and its answer in a file.
LAYER_PROBE=$WORK/layer-probe.txt
probe() { layer_probe "$PROGRAM_PID" "$LAYER_PROBE" "$WORK/probe.txt"; }

start_program() {
  (cd "$WORK/run" && HOME="$WORK/run" DRAVIK_TIRN_TEST_SERVICE=127.0.0.1:18080 \
    DRAVIK_WINAPI_PROBE="$LAYER_PROBE" exec "$PROGRAM" >"$WORK/program.log" 2>&1) &
  PROGRAM_PID=$!
  PIDS="$PIDS $PROGRAM_PID"
  # The program answers signals once its (empty) first answer is there.
  wait_until 100 '[ -f "$LAYER_PROBE" ]' || fail "the program did not set up its probe"
}

start_xvfb "$WORK" "$WORK/xvfb.log" || fail "Xvfb did not start"
. "$ROOT/tests/wine/session.sh"
say "the session passed on the Linux build"
python3 "$ROOT/tests/wine/compare_probes.py" "$WINE_SNAPS" "$SNAPS" \
  "$ROOT/tests/wine/allowed_differences.txt"
