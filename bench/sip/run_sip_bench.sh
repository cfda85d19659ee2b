#!/bin/sh
# Prints the program's SIP figures next to those of a bare liblinphone loop
# (the floor), both against one sipp registrar and queue on loopback.
# Usage: bench/sip/run_sip_bench.sh BUILD_DIR [RUNS] [IDLE_SECONDS] [ADDRESS]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?build directory}" && pwd)
runs=${2:-5}
idle=${3:-3}
addr=${4:-127.0.4.1}
work=$(mktemp -d)
sipp_pid=
cleanup() {
  if [ -n "$sipp_pid" ]; then kill "$sipp_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

(cd "$work" && exec sipp -sf "$here/../../tests/sip/scenarios/demo_peer.xml" -i "$addr" -mi "$addr" \
  -p 5060 -aa -nostdin -key user bench -key pass benchpw -key expires 3600 >/dev/null 2>&1) &
sipp_pid=$!
sleep 1

# Each run is its own process with a fresh HOME: runs alternate between the
# two so that both see the same machine load.
i=0
while [ "$i" -lt "$runs" ]; do
  mkdir -p "$work/p$i" "$work/f$i/data"
  HOME="$work/p$i" "$build/bench/sip/sip_bench_program" "$addr" bench benchpw "$idle" \
    2>>"$work/program.txt" >/dev/null
  HOME="$work/f$i" "$build/bench/sip/sip_bench_floor" "$addr" bench benchpw "$idle" \
    "$work/f$i/data/" 2>>"$work/floor.txt" >/dev/null
  i=$((i + 1))
done

python3 - "$work/program.txt" "$work/floor.txt" "$runs" <<'PY'
import statistics, sys
def load(path):
    rows = [list(map(float, l.split())) for l in open(path) if l.strip()]
    return [statistics.median(col) for col in zip(*rows)], len(rows)
prog, n1 = load(sys.argv[1])
floor, n2 = load(sys.argv[2])
names = ["core creation + account set-up (ms)", "registration, set-up to registered (ms)",
         "call set-up, invite to connected (ms)", "idle CPU, registered core (% of a core)",
         "resident memory (MB)"]
print(f"medians of {n1} program runs and {n2} floor runs (of {sys.argv[3]})")
print(f"{'figure':42} {'program':>10} {'floor':>10} {'program/floor':>14}")
for name, p, f in zip(names, prog, floor):
    ratio = p / f if f else float('nan')
    print(f"{name:42} {p:10.2f} {f:10.2f} {ratio:13.2f}x")
PY
