#!/bin/sh
# The whole program's figures next to the bare liblinphone floor, in one run,
# under Xvfb against the demo service and the demo SIP peer (127.0.0.45).
# Usage: bench/app/run_app_bench.sh BUILD_DIR [RUNS] [IDLE_SECONDS]
# (build first: cmake --build BUILD_DIR --target dravik-tirn dravik-tirn-e2e
#  app_bench map-timer sip_bench_floor)
set -eu
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(cd "${1:?build directory}" && pwd)
RUNS=${2:-5}
IDLE=${3:-20}
ADDR=127.0.0.45
. "$ROOT/scripts/lib.sh"
use_work_dir
fail() { echo "bench: $*" >&2; exit 1; }

start_xvfb "$WORK" /dev/null || fail "no Xvfb"

start_demo_peers "$WORK" "" "$ADDR" 0 || fail "no demo service"
sleep 0.5

# Runs alternate between the program and the floor so that both see the same
# machine load; each has a fresh HOME (the SIP core's data folder).
i=0
while [ "$i" -lt "$RUNS" ]; do
  mkdir -p "$WORK/run$i/home" "$WORK/floor$i/data"
  # Start to login window on screen: the shipped executable, process start included.
  (cd "$WORK/run$i" && HOME="$WORK/run$i/home" "$BUILD/bench/app/map-timer" "Dravik Tirn 1.1" \
    "$BUILD/app/dravik-tirn" >>"$WORK/window.txt" 2>/dev/null) || fail "the window did not appear"
  # Enter to call screen, Enter to registered, "Sim" to connected: in-process.
  (cd "$WORK/run$i" && HOME="$WORK/run$i/home" "$BUILD/bench/app/app_bench" "$SERVICE" \
    2>>"$WORK/program.txt" >/dev/null) || fail "the program run failed"
  HOME="$WORK/floor$i" "$BUILD/bench/sip/sip_bench_floor" "$ADDR" bench benchpw "$IDLE" \
    "$WORK/floor$i/data/" 2>>"$WORK/floor.txt" >/dev/null || fail "the floor run failed"
  i=$((i + 1))
done

# Idle CPU and memory of the running program, logged in and registered, on
# the call screen (measured from outside, as any process monitor would).
mkdir -p "$WORK/idle/home"
(cd "$WORK/idle" && HOME="$WORK/idle/home" DRAVIK_TIRN_TEST_SERVICE=$SERVICE \
  exec "$BUILD/tests/e2e/dravik-tirn-e2e" >"$WORK/idle/out.log" 2>&1) &
PROGRAM=$!
PIDS="$PIDS $PROGRAM"
MAIN=$(main_window)
xdotool key --window "$MAIN" Tab 2>/dev/null
xdotool type --window "$MAIN" 1001 2>/dev/null
xdotool key --window "$MAIN" Tab 2>/dev/null
xdotool type --window "$MAIN" demo123 2>/dev/null
xdotool key --window "$MAIN" Return 2>/dev/null
n=0
until grep -q "LinphoneRegistrationOk para" "$WORK/idle/out.log"; do
  n=$((n + 1)); [ $n -gt 200 ] && fail "the program did not register"; sleep 0.1
done
sleep 1
ticks() { awk '{ print $14 + $15 }' "/proc/$PROGRAM/stat"; }
t0=$(ticks)
sleep "$IDLE"
t1=$(ticks)
HZ=$(getconf CLK_TCK)
RSS=$(awk '/^VmRSS:/ { print $2 }' "/proc/$PROGRAM/status")
echo "$t0 $t1 $HZ $IDLE $RSS" >"$WORK/idle.txt"

python3 - "$WORK" "$RUNS" <<'PY'
import statistics, sys
work, runs = sys.argv[1], sys.argv[2]
def rows(name):
    return [list(map(float, l.split())) for l in open(f"{work}/{name}") if l.strip()]
def med(rs, i):
    return statistics.median(r[i] for r in rs)
window = [r[0] for r in rows("window.txt")]
prog, floor = rows("program.txt"), rows("floor.txt")
t0, t1, hz, idle, rss_kb = rows("idle.txt")[0]
idle_pct = 100 * (t1 - t0) / hz / idle
# floor columns: set-up ms, set-up to registered ms, invite to connected ms, idle %, RSS MB
lines = [
    ("start to login window on screen (ms)", statistics.median(window), None, "goal < 150"),
    ("  same, in-process (main to window shown)", med(prog, 0), None, ""),
    ("Enter to call screen (ms)", med(prog, 1), med(floor, 0), "floor: core + account set-up"),
    ("Enter to registered (ms)", med(prog, 2), med(floor, 1), "floor: set-up to registered"),
    ("\"Sim\" to call connected (ms)", med(prog, 3), med(floor, 2), "floor: invite to connected"),
    ("idle CPU, registered (% of a core)", idle_pct, med(floor, 3), "goal within 10 % of floor"),
    ("resident memory (MB)", rss_kb / 1024, med(floor, 4), "goal within 10 % of floor"),
]
print(f"medians of {runs} runs each (idle: {idle:g} s); program under Xvfb with the demo service and SIP peer")
print(f"{'figure':44} {'program':>9} {'floor':>9} {'ratio':>7}  note")
for name, p, f, note in lines:
    fs = f"{f:9.2f}" if f is not None else f"{'-':>9}"
    rs = f"{p / f:6.2f}x" if f else f"{'':>7}"
    print(f"{name:44} {p:9.2f} {fs} {rs}  {note}")
PY
