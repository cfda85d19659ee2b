#!/bin/sh
# Builds the program and runs it against the demo consulting service
# (http://127.0.0.1:18080, the host the program is built for) and the demo
# SIP peer (registrar and queues on 127.0.0.50:5060).
# With a display the window opens for you (customer code 1001, password
# demo123). Without one the program runs under Xvfb, a short tour is driven
# with xdotool (login, call, hang-up, close), screenshots land in out/ and
# so does what the customer heard in the call (ringing, then the queue's
# music), with its level. When no sound server runs, a private one is
# started whose sound card is a null sink, so that the program has a
# microphone and a loudspeaker.
set -eu
cd "$(dirname "$0")/.."
ROOT=$PWD
./scripts/install-deps.sh
. "$ROOT/scripts/lib.sh"
apt_install pulseaudio
# The program's SIP stack, built from Debian's sources on the first run (a
# line per library) and kept in the machine's cache for the runs after it.
STACK=$(sip_stack_prefix linux)
echo "demo: the SIP stack, in $STACK: about 6 minutes on 2 cores the first time, a second after"
./scripts/build-sip-stack.sh linux "$STACK"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target dravik-tirn x11-close

OUT=$ROOT/out
RUN=$OUT/demo-run # the program's working directory (its key.txt)
mkdir -p "$RUN"
rm -f "$OUT/demo-logout.log"
trap stop_tracked EXIT INT TERM

# has_sound_card: ALSA sees a card of its own (the machine's sound hardware).
has_sound_card() { grep -q '^ *[0-9]' /proc/asound/cards 2>/dev/null; }
MONITOR=""
if pactl info >/dev/null 2>&1; then
  echo "demo: the program plays through the running sound server"
  MONITOR=@DEFAULT_MONITOR@
elif [ -n "${DISPLAY:-}" ] && has_sound_card; then
  echo "demo: the program plays through the sound card"
else
  rm -rf "$OUT/pulse"
  start_null_sound "$OUT" ||
    { echo "demo: the private sound server did not start; see $OUT/pulse/log" >&2; exit 1; }
  echo "demo: no sound server ran; started a private one (a null sink) in $OUT/pulse"
  MONITOR=silence.monitor
fi

if ! start_demo_peers "$OUT" demo- 127.0.0.50 18080; then
  echo "demo: the demo service or SIP peer did not start; see $OUT/demo-service.log and $OUT/demo-sip.log" >&2
  exit 1
fi
head -n 1 "$OUT/demo-service.log"

if [ -n "${DISPLAY:-}" ]; then
  echo "demo: log in with customer code 1001 and password demo123"
  (cd "$RUN" && "$ROOT/build/app/dravik-tirn" >"$OUT/demo-program.log" 2>&1) || true
  [ -f "$OUT/demo-logout.log" ] && echo "demo: logout notices received: $(cat "$OUT/demo-logout.log")"
  exit 0
fi

echo "demo: no display; running the program under Xvfb with a scripted tour"
start_xvfb "$OUT" "$OUT/demo-xvfb.log" || { echo "demo: Xvfb did not start" >&2; exit 1; }
rm -f "$OUT/.xvfb-display"

# What the customer hears, from before the program starts.
SOUND=$OUT/demo-call.raw
record_sound "$SOUND" "$MONITOR" || { echo "demo: the sound card could not be recorded" >&2; exit 1; }

(cd "$RUN" && exec "$ROOT/build/app/dravik-tirn" >"$OUT/demo-program.log" 2>&1) &
PROGRAM=$!
PIDS="$PIDS $PROGRAM"
# The call screen's shot is taken once the registration has reached the
# program ("Pronto para ligar"); the call lasts long enough to hear music.
demo/tour.sh --x11-close "$ROOT/build/tests/e2e/x11-close" --shots "$OUT" \
  --code 1001 --password demo123 --queue-index 1 --queue-count 5 --sip-trace "$OUT/demo-sip.msg" \
  --program-log "$OUT/demo-program.log" --hold 5
stop_recording
status=0
wait "$PROGRAM" || status=$?
echo "demo: program exited with code $status"
echo "demo: logout notices received: $(cat "$OUT/demo-logout.log" 2>/dev/null || echo none)"
ls "$OUT"/*.png | sed 's/^/demo: screenshot /'
heard=0
words=$(python3 demo/heard.py "$SOUND" "$OUT/demo-call.wav") || heard=1
echo "demo: heard in the call: $words"
rm -f "$SOUND"
[ $status -eq 0 ] && [ $heard -eq 0 ]
