#!/bin/sh
# An INVITE flood against the program's SIP side, registered and idle: sipp
# calls its contact address ROUNDS times CALLS calls at RATE per second, with
# REST seconds of rest after each round and FINAL_REST more at the end.
# Prints the resident memory when idle, after each round and after each rest,
# and how long each refusal (486) took, and how many INVITEs sipp had to send
# again for want of an answer.
# Usage: bench/sip/run_flood_bench.sh BUILD_DIR [ROUNDS] [CALLS] [RATE] [REST] [FINAL_REST]
set -eu
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
. "$ROOT/scripts/lib.sh"
build=$(cd "${1:?build directory}" && pwd)
rounds=${2:-3} calls=${3:-2000} rate=${4:-100} rest=${5:-35} final_rest=${6:-60}
registrar=127.0.4.11 caller=127.0.4.12
use_work_dir

(cd "$WORK" && exec $OWNED sipp -sf "$ROOT/tests/sip/scenarios/demo_peer.xml" -i $registrar \
  -mi $registrar -p 5060 -aa -nostdin -key user bench -key pass benchpw -key expires 3600 \
  >/dev/null 2>&1) &
PIDS="$PIDS $!"
mkdir "$WORK/home"
HOME="$WORK/home" $OWNED "$build/bench/sip/sip_bench_flood" $registrar bench benchpw \
  "$WORK/port" >"$WORK/program.log" 2>&1 &
program=$!
PIDS="$PIDS $program"
tries=0
until [ -s "$WORK/port" ]; do
  tries=$((tries + 1))
  if [ $tries -gt 300 ] || ! running $program; then
    echo "the program did not register with $registrar" >&2
    exit 1
  fi
  sleep 0.1
done
port=$(cat "$WORK/port")
rss() { awk '/^VmRSS:/ { printf "%.1f", $2 / 1024 }' "/proc/$program/status"; }

idle=$(rss)
echo "idle, registered: $idle MB"
round=1
while [ $round -le "$rounds" ]; do
  dir="$WORK/round$round"
  mkdir "$dir"
  (cd "$dir" && sipp 127.0.0.1:"$port" -sf "$ROOT/tests/sip/scenarios/incoming_caller.xml" \
    -s flood -i $caller -p 5060 -r "$rate" -m "$calls" -nostdin -timeout 300s \
    -trace_rtt -rtt_freq 1 -trace_stat -fd 1 >sipp.out 2>&1) || true
  after=$(rss)
  sleep "$rest"
  rested=$(rss)
  python3 - "$dir" "$round" "$calls" "$rate" "$after" "$rest" "$rested" <<'PY'
import csv, glob, statistics, sys
d, n, calls, rate, after, rest, rested = sys.argv[1:]
delays = []
for path in glob.glob(d + "/*_rtt.csv"):
    for row in csv.reader(open(path), delimiter=";"):
        try:
            delays.append(float(row[1]))
        except (ValueError, IndexError):
            pass
stats = list(csv.DictReader(open(glob.glob(d + "/*_.csv")[0]), delimiter=";"))[-1]
delays.sort()
pick = lambda q: delays[min(len(delays) - 1, int(q * len(delays)))] if delays else float("nan")
print(f"round {n}: {calls} INVITEs at {rate}/s: {stats['SuccessfulCall(C)']} refused, "
      f"{stats['FailedCall(C)']} failed, {stats['Retransmissions(C)']} INVITEs sent again")
print(f"  refusal delay (ms): median {pick(0.5):.1f}, 99% {pick(0.99):.1f}, max {pick(1.0):.1f}")
print(f"  resident memory: {after} MB after the round, {rested} MB after {rest} s of rest")
PY
  round=$((round + 1))
done
sleep "$final_rest"
final=$(rss)
echo "after $final_rest s more rest: $final MB ($(echo "$final $idle" | awk '{ printf "%+.1f", $1 - $2 }') MB from idle)"
