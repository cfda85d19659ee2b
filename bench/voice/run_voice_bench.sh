#!/bin/sh
# What the caller hears, for the program, the untuned liblinphone floor and
# baresip: each calls a queue (sipp answering with -rtp_echo, so that it hears
# itself) through a relay that impairs the line (clean; jitter 20 +/- 10 ms
# with 3 % loss; 10 % loss in bursts; a clean line to a silent queue, for
# the send path alone; and a clean line to a queue that speaks with a voice
# of its own, heard on a headset (talk) or on a loudspeaker that reaches the
# microphone (speaker), for what the echo canceller does to the customer's
# voice), with PCMU and with Opus, its
# microphone fed a reference speech (espeak-ng, between two chirps) and its
# loudspeaker recorded beside that feed: round trip, similarity, dropouts,
# the send path's similarity (aligned to 1/8 sample) and clipping, every
# buffer the library's log names with its largest fill, each run's load, and
# each client's codec mode and bit rate as its RTP shows them.
# A private PulseAudio has one two-channel null sink: one channel is the
# loudspeaker, the other the microphone's feed (and the microphone), so that
# both are recorded sample-aligned; in the speaker condition the client's
# loudspeaker is moved to a sink of its own (loud), looped into the
# microphone's channel for the time of a call. It runs in a network
# namespace of its own (unshare; its loopback addresses 127.0.0.48-50 are
# fixed), entered once the missing packages are installed.
# Usage: bench/voice/run_voice_bench.sh BUILD_DIR [RUNS] [CLIENTS] [CONDITIONS] [CODECS]
# (build first: cmake --build BUILD_DIR --target sip_bench_program sip_bench_floor;
#  CLIENTS program,noec,floor,baresip by default: 'noec' is the program
#  without its echo canceller, baresip runs with its own PulseAudio module;
#  'baresip-alsa' adds baresip through ALSA's PulseAudio plugin, 'before'
#  another build's sip_bench_program (VOICE_BENCH_BEFORE); CONDITIONS
#  quiet,clean,jitter,burst,talk,speaker by default; CODECS PCMU,opus)
set -eu
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(cd "${1:?build directory}" && pwd)
RUNS=${2:-3}
CLIENTS=${3:-program,noec,floor,baresip}
CONDITIONS=${4:-quiet,clean,jitter,burst,talk,speaker}
CODECS=${5:-PCMU,opus}
. "$ROOT/scripts/lib.sh"
fail() { echo "voice bench: $*" >&2; exit 1; }

# Debian's Python, where python3-numpy installs numpy.
PYTHON=/usr/bin/python3
need=""
command -v espeak-ng >/dev/null 2>&1 || need="$need espeak-ng"
command -v sox >/dev/null 2>&1 || need="$need sox"
command -v baresip >/dev/null 2>&1 || need="$need baresip-core"
# baresip's PulseAudio module comes in Debian's package of its X11 parts.
[ -f /usr/lib/baresip/modules/pulse.so ] || need="$need baresip-x11"
$PYTHON -c 'import numpy' 2>/dev/null || need="$need python3-numpy"
if [ -n "$need" ]; then
  # shellcheck disable=SC2086 # one word per package
  apt_install $need >/dev/null || fail "could not install$need"
fi
if [ -z "${VOICE_BENCH_OWN_NETWORK:-}" ]; then
  own_user=""
  [ "$(id -u)" -eq 0 ] || own_user=--map-root-user
  VOICE_BENCH_OWN_NETWORK=1 exec unshare --net $own_user "$0" "$@"
fi
ip link set lo up || fail "the loopback interface of the bench's own network did not come up"

use_work_dir
# The sink's first channel is the loudspeaker, its second one (aux0) the
# microphone's feed; a client's mono stream goes to the first one alone when
# the server does not spread it over every channel of the sink. The sink is
# the first one the clients find, so that the libraries' first card is it.
mkdir -p "$WORK/pulse/.config/pulse"
echo "remixing-use-all-sink-channels = no" >"$WORK/pulse/.config/pulse/daemon.conf"
HOME="$WORK/pulse" XDG_RUNTIME_DIR="$WORK/pulse" $OWNED pulseaudio -n --daemonize=no \
  --exit-idle-time=-1 --use-pid-file=no --disable-shm=yes \
  -L "module-null-sink sink_name=bench channels=2 channel_map=mono,aux0 rate=48000 format=s16le" \
  -L "module-remap-sink sink_name=micfeed master=bench channels=1 channel_map=mono master_channel_map=aux0 remix=no" \
  -L "module-remap-source source_name=mic master=bench.monitor channels=1 channel_map=mono master_channel_map=aux0 remix=no" \
  -L "module-null-sink sink_name=loud channels=1 channel_map=mono rate=48000 format=s16le" \
  -L "module-native-protocol-unix auth-anonymous=1 socket=$WORK/pulse/native" >"$WORK/pulse/log" 2>&1 &
PIDS="$PIDS $!"
PULSE_SERVER=unix:$WORK/pulse/native
export PULSE_SERVER
wait_until 100 'pactl info >/dev/null 2>&1' || fail "no PulseAudio: $(tail -n 3 "$WORK/pulse/log")"
pactl set-default-sink bench
pactl set-default-source mic

status=0
$PYTHON "$ROOT/bench/voice/voice_bench.py" --build "$BUILD" --work "$WORK" --runs "$RUNS" \
  --clients "$CLIENTS" --conditions "$CONDITIONS" --codecs "$CODECS" \
  ${VOICE_BENCH_BEFORE:+--before "$VOICE_BENCH_BEFORE"} || status=$?
# VOICE_BENCH_KEEP=DIR keeps the recordings, captures and logs there.
[ -n "${VOICE_BENCH_KEEP:-}" ] && cp -r "$WORK/." "$VOICE_BENCH_KEEP/"
exit $status
