#!/bin/sh
# A private PulseAudio server in the foreground for tests and benchmarks: its
# one card a null sink ("silence"), a microphone of its own made of that
# sink's monitor (the sound cards found leave monitors out, as a customer's
# machine has a real one), and a socket at DIR/native that any local client
# may use. Its state lives in DIR.
#
# null-sound.sh DIR
set -eu
mkdir -p "$1"
HOME=$1 XDG_RUNTIME_DIR=$1 exec pulseaudio -n --daemonize=no --exit-idle-time=-1 \
  --use-pid-file=no --disable-shm=yes -L "module-null-sink sink_name=silence" \
  -L "module-remap-source source_name=microphone master=silence.monitor" \
  -L "module-native-protocol-unix auth-anonymous=1 socket=$1/native"
