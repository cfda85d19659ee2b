#!/bin/sh
# An INVITE flood against the program's SIP side, registered and idle: sipp
# calls its contact address ROUNDS times CALLS calls at RATE per second, with
# REST seconds of rest after each round and FINAL_REST more at the end.
# Prints the resident memory when idle, after each round and after each rest,
# and how long each refusal (486) took, how many INVITEs sipp had to send
# again for want of an answer, and the program's processor time and fresh
# pages (minor faults) per INVITE over the round (figures that the machine's
# load changes less than the delays); with a Windows build, the same for its
# executable under Wine (one after the other, so that neither loads the
# machine for the other), then both side by side.
# Usage: bench/sip/run_flood_bench.sh BUILD_DIR [WINDOWS_BUILD_DIR|-] [ROUNDS] [CALLS] [RATE] [REST] [FINAL_REST]
set -eu
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
. "$ROOT/scripts/lib.sh"
. "$ROOT/tests/wine/wine_lib.sh"
build=$(cd "${1:?build directory}" && pwd)
windows=""
if [ "${2:--}" != - ]; then
  windows=$(cd "$2" && pwd)
fi
shift
[ $# -gt 0 ] && shift
rounds=${1:-3} calls=${2:-2000} rate=${3:-100} rest=${4:-35} final_rest=${5:-60}
registrar=127.0.4.11 caller=127.0.4.12
use_work_dir
trap 'stop_wine; stop_tracked; rm -rf "$WORK"' EXIT INT TERM

(cd "$WORK" && exec $OWNED sipp -sf "$ROOT/tests/sip/scenarios/demo_peer.xml" -i $registrar \
  -mi $registrar -p 5060 -aa -nostdin -key user bench -key pass benchpw -key expires 3600 \
  >/dev/null 2>&1) &
PIDS="$PIDS $!"

# flood NAME PORT-FILE COMMAND...: COMMAND registers and writes its SIP port
# to PORT-FILE; it is flooded and measured, its figures printed and kept in
# WORK/NAME.txt ("key value" lines), and it is stopped.
flood() {
  name=$1 portfile=$2
  shift 2
  "$@" >"$WORK/$name.log" 2>&1 &
  program=$!
  PIDS="$PIDS $program"
  tries=0
  until [ -s "$portfile" ]; do
    tries=$((tries + 1))
    if [ $tries -gt 600 ] || ! running $program; then
      echo "$name: the program did not register with $registrar" >&2
      exit 1
    fi
    sleep 0.1
  done
  port=$(tr -d '\r\n' <"$portfile")
  idle=$(rss $program)
  echo "$name: idle, registered: $idle MB"
  echo "idle $idle" >"$WORK/$name.txt"
  round=1
  while [ $round -le "$rounds" ]; do
    dir="$WORK/$name-round$round"
    mkdir "$dir"
    before=$(usage $program)
    (cd "$dir" && sipp 127.0.0.1:"$port" -sf "$ROOT/tests/sip/scenarios/incoming_caller.xml" \
      -s flood -i $caller -p 5060 -r "$rate" -m "$calls" -nostdin -timeout 300s \
      -trace_rtt -rtt_freq 1 -trace_stat -fd 1 >sipp.out 2>&1) || true
    after=$(rss $program)
    used=$(usage $program)
    sleep "$rest"
    rested=$(rss $program)
    python3 - "$dir" "$round" "$calls" "$rate" "$after" "$rest" "$rested" "$name" "$before" "$used" \
      >>"$WORK/$name.txt" <<'PY'
import csv, glob, os, statistics, sys
d, n, calls, rate, after, rest, rested, name, before, used = sys.argv[1:]
# processor ticks (user + system) and minor faults, before and after the round
ticks0, faults0 = map(int, before.split()); ticks1, faults1 = map(int, used.split())
cpu = (ticks1 - ticks0) * 1000 / int(os.sysconf("SC_CLK_TCK")) / int(calls)
pages = (faults1 - faults0) / int(calls)
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
say = lambda text: print(text, file=sys.stderr)
say(f"{name}: round {n}: {calls} INVITEs at {rate}/s: {stats['SuccessfulCall(C)']} refused, "
    f"{stats['FailedCall(C)']} failed, {stats['Retransmissions(C)']} INVITEs sent again")
say(f"  refusal delay (ms): median {pick(0.5):.1f}, 99% {pick(0.99):.1f}, max {pick(1.0):.1f}")
say(f"  resident memory: {after} MB after the round, {rested} MB after {rest} s of rest")
say(f"  per INVITE: {cpu:.2f} ms of processor time, {pages:.1f} fresh pages")
print(f"round{n}-refused {stats['SuccessfulCall(C)']}/{calls}")
print(f"round{n}-resent {stats['Retransmissions(C)']}")
print(f"round{n}-486-median {pick(0.5):.1f}")
print(f"round{n}-486-p99 {pick(0.99):.1f}")
print(f"round{n}-486-max {pick(1.0):.1f}")
print(f"round{n}-rss-after {after}")
print(f"round{n}-rss-rested {rested}")
print(f"round{n}-cpu-ms-per-call {cpu:.2f}")
print(f"round{n}-pages-per-call {pages:.1f}")
PY
    round=$((round + 1))
  done 2>&1
  sleep "$final_rest"
  final=$(rss $program)
  from_idle=$(echo "$final $idle" | LC_ALL=C awk '{ printf "%+.1f", $1 - $2 }')
  echo "$name: after $final_rest s more rest: $final MB ($from_idle MB from idle)"
  printf 'final %s\nfrom-idle %s\n' "$final" "$from_idle" >>"$WORK/$name.txt"
  kill $program 2>/dev/null || true
  wait $program 2>/dev/null || true
}
# In the C locale: Wine's prefix runs in Portuguese, with decimal commas.
rss() { LC_ALL=C awk '/^VmRSS:/ { printf "%.1f", $2 / 1024 }' "/proc/$1/status"; }
# usage PID: the process's processor ticks (user + system) and minor faults.
usage() { awk '{ print $14 + $15, $10 }' "/proc/$1/stat"; }

mkdir "$WORK/home"
flood linux "$WORK/linux-port" env HOME="$WORK/home" $OWNED "$build/bench/sip/sip_bench_flood" \
  $registrar bench benchpw "$WORK/linux-port"
columns=linux
if [ -n "$windows" ]; then
  # The executable's own process (wine execs into it) is the one measured.
  start_xvfb "$WORK" "$WORK/xvfb.log"
  fresh_wine_prefix "$windows/wine-prefix-flood"
  flood windows "$WORK/windows-port" wine "$windows/bench/sip/sip_bench_flood.exe" $registrar \
    bench benchpw "$(winepath -w "$WORK/windows-port")"
  columns="linux windows"
fi

# Side by side: one row per figure, one column per build.
echo
# shellcheck disable=SC2086
python3 - "$WORK" $columns <<'PY'
import sys
work, names = sys.argv[1], sys.argv[2:]
figures = {}
for name in names:
    for line in open(f"{work}/{name}.txt"):
        key, value = line.split()
        figures.setdefault(key, {})[name] = value
titles = {"linux": "Linux", "windows": "Windows (Wine)"}
print(f"{'figure (MB, ms)':<24}" + "".join(f"{titles[n]:>16}" for n in names))
for key, values in figures.items():
    print(f"{key:<24}" + "".join(f"{values.get(n, '-'):>16}" for n in names))
PY
