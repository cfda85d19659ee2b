#!/bin/sh
# The Windows executable under Wine next to the Linux build, in one run
# under Xvfb against the demo service (127.0.0.1:18080, the host both are
# built for) and the demo SIP peer: start to login window on screen (Wine's
# server kept warm between runs); then, logged in once each: login to
# registered, and registered and idle on the call screen for IDLE seconds,
# the program process's CPU time and resident memory.
#
# bench/windows/run_windows_bench.sh LINUX_BUILD_DIR WINDOWS_BUILD_DIR [RUNS]
# (build first: cmake --build LINUX_BUILD_DIR --target dravik-tirn map-timer;
#  scripts/build-windows.sh WINDOWS_BUILD_DIR)
# Uses the fixed port 18080: run it under the peers' lock when others test.
set -eu
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
LINUX=$(cd "${1:?Linux build directory}" && pwd)
WINDOWS=$(cd "${2:?Windows build directory}" && pwd)
RUNS=${3:-5}
SIP_ADDR=127.0.0.47
EXE=$WINDOWS/app/dravik-tirn.exe
PROBE=$WINDOWS/tests/wine/win32-probe.exe
IMAGE=dravik-tirn.exe
MAP_TIMER=$LINUX/bench/app/map-timer
. "$ROOT/scripts/lib.sh"
. "$ROOT/tests/wine/wine_lib.sh"
use_work_dir
trap 'stop_wine; stop_tracked; rm -rf "$WORK"' EXIT INT TERM
fail() { echo "bench: $*" >&2; exit 1; }
for f in "$EXE" "$PROBE" "$MAP_TIMER" "$LINUX/app/dravik-tirn"; do
  [ -x "$f" ] || fail "$f is missing: build first"
done

start_xvfb "$WORK" /dev/null || fail "no Xvfb"
start_demo_peers "$WORK" "" "$SIP_ADDR" 18080 || fail "no demo service on port 18080"
fresh_wine_prefix "$WINDOWS/wine-prefix-bench" || fail "no Wine prefix"
# A warm server: it stays up between the runs, and one run loads Wine's DLLs
# into the page cache before anything is measured.
wineserver -w
wineserver -p
mkdir -p "$WORK/warm" && (cd "$WORK/warm" && "$MAP_TIMER" "Dravik Tirn 1.1" wine "$EXE" >/dev/null 2>&1) ||
  fail "the Windows executable's window did not appear"

# Runs alternate so that both see the same machine load.
i=0
while [ "$i" -lt "$RUNS" ]; do
  mkdir -p "$WORK/w$i" "$WORK/l$i/home"
  (cd "$WORK/w$i" && "$MAP_TIMER" "Dravik Tirn 1.1" wine "$EXE" >>"$WORK/wine.txt" 2>/dev/null) ||
    fail "the Windows executable's window did not appear"
  (cd "$WORK/l$i" && HOME="$WORK/l$i/home" "$MAP_TIMER" "Dravik Tirn 1.1" "$LINUX/app/dravik-tirn" \
    >>"$WORK/linux.txt" 2>/dev/null) || fail "the Linux build's window did not appear"
  i=$((i + 1))
done

rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
# CPU time of a process so far, in clock ticks.
cpu_ticks() { sed 's/.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }
IDLE=${IDLE:-20}
# registered_idle PID LOG: waits for the registration in LOG (the program's
# output; LOGIN_MS is when Enter was pressed), then measures IDLE seconds.
# Sets REG_MS, CPU_PCT and RSS.
registered_idle() {
  idle_log=$2
  wait_until 300 'grep -aq "LinphoneRegistrationOk para" "$idle_log"' || fail "$2: no registration"
  REG_MS=$(($(now_ms) - LOGIN_MS))
  sleep 1
  t0=$(cpu_ticks "$1")
  sleep "$IDLE"
  t1=$(cpu_ticks "$1")
  CPU_PCT=$(LC_ALL=C awk -v d=$((t1 - t0)) -v s="$IDLE" -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.2f", 100 * d / hz / s }')
  RSS=$(rss_kb "$1")
}

# Resident memory on the call screen, logged in: the Windows executable
# (its own process, and Wine's server and helper processes beside it).
mkdir -p "$WORK/wmem"
(cd "$WORK/wmem" && exec wine "$EXE" >"$WORK/wmem/out.log" 2>&1) &
WPID=$!
PIDS="$PIDS $WPID"
wait_probe 'class="Edit"' || fail "no login screen under Wine"
click_edit 1
xdotool type 1001
xdotool key Tab
xdotool type demo123
LOGIN_MS=$(now_ms)
xdotool key Return
wait_probe 'class="Button" text="Ligar"' || fail "no call screen under Wine"
registered_idle "$WPID" "$WORK/wmem/out.log"
WINE_REG=$REG_MS WINE_CPU=$CPU_PCT WINE_RSS=$RSS
WINE_OTHERS=0
for pid in $(pgrep -f "^[A-Z]:\\\\windows\\\\system32\\\\" 2>/dev/null; pgrep -x wineserver 2>/dev/null); do
  [ "$(tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -c "^WINEPREFIX=$WINEPREFIX\$")" -eq 1 ] ||
    [ "$(readlink "/proc/$pid/cwd" 2>/dev/null)" = "$WINEPREFIX" ] || continue
  WINE_OTHERS=$((WINE_OTHERS + $(rss_kb "$pid")))
done

# Wine's window has the same title: it goes first.
wineserver -k
wait "$WPID" 2>/dev/null || true

# The Linux build, the same way (its SIP account registers with the peer).
mkdir -p "$WORK/lmem/home"
(cd "$WORK/lmem" && HOME="$WORK/lmem/home" exec "$LINUX/app/dravik-tirn" >"$WORK/lmem/out.log" 2>&1) &
LPID=$!
PIDS="$PIDS $LPID"
MAIN=$(main_window)
[ -n "$MAIN" ] || fail "no login screen on Linux"
xdotool key --window "$MAIN" Tab 2>/dev/null
xdotool type --window "$MAIN" 1001 2>/dev/null
xdotool key --window "$MAIN" Tab 2>/dev/null
xdotool type --window "$MAIN" demo123 2>/dev/null
LOGIN_MS=$(now_ms)
xdotool key --window "$MAIN" Return 2>/dev/null
registered_idle "$LPID" "$WORK/lmem/out.log"
LINUX_REG=$REG_MS LINUX_CPU=$CPU_PCT LINUX_RSS=$RSS

python3 - "$WORK" "$RUNS" "$WINE_RSS" "$WINE_OTHERS" "$LINUX_RSS" "$WINE_REG" "$LINUX_REG" \
  "$WINE_CPU" "$LINUX_CPU" "$IDLE" <<'PY'
import statistics, sys
work, runs = sys.argv[1], sys.argv[2]
wine_rss, wine_others, linux_rss, wine_reg, linux_reg = map(int, sys.argv[3:8])
wine_cpu, linux_cpu, idle = map(float, sys.argv[8:11])
def times(name):
    return [float(l) for l in open(f"{work}/{name}") if l.strip()]
w, l = times("wine.txt"), times("linux.txt")
print(f"{runs} runs each, under Xvfb; Windows executable under Wine 8 (warm server), lean static")
print("SIP stack; Linux build with Debian's liblinphone; both registered with the demo SIP peer")
print(f"{'figure':40} {'Windows (Wine)':>15} {'Linux':>10}")
print(f"{'start to login window, median (ms)':40} {statistics.median(w):15.1f} {statistics.median(l):10.1f}")
print(f"{'  min / max (ms)':40} {min(w):7.1f} /{max(w):6.1f} {min(l):4.1f} /{max(l):4.1f}")
print(f"{'login to registered (ms)':40} {wine_reg:15d} {linux_reg:10d}")
print(f"{f'idle CPU, registered, {idle:.0f} s (%)':40} {wine_cpu:15.2f} {linux_cpu:10.2f}")
print(f"{'resident memory, registered, idle (MB)':40} {wine_rss / 1024:15.1f} {linux_rss / 1024:10.1f}")
print(f"{'  + Wine server and helpers (MB)':40} {wine_others / 1024:15.1f} {'-':>10}")
PY
