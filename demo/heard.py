#!/usr/bin/env python3
"""What the customer heard in the demo's call, from a recording of the sound
card (raw 16-bit mono at 8 kHz): the ringing tone while the queue rang, then
the queue's waiting music. Writes the recording as a WAV file beside it and
prints the level of each part; exits 1 when either is missing.

heard.py RECORDING WAV"""
import os
import struct
import sys
import wave

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "wine"))
from ringback_tone import FRAME, RATE, level, tones  # noqa: E402

# Quieter than this is the silence between the parts, not music.
QUIET = -45


def main():
    data = open(sys.argv[1], "rb").read()
    data = data[: len(data) // 2 * 2]
    with wave.open(sys.argv[2], "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(data)
    x = [v / 32768 for v in struct.unpack("<%dh" % (len(data) // 2), data)]
    found = tones(x)
    ring = [v for tone in found for at in tone for v in x[at : at + FRAME]]
    after = found[-1][-1] + FRAME if found else 0
    music = [
        v
        for at in range(after, len(x) - FRAME + 1, FRAME)
        if level(x[at : at + FRAME]) > QUIET
        for v in x[at : at + FRAME]
    ]
    parts = []
    if ring:
        parts.append("ringing tone %.1f dBFS for %.1f s" % (level(ring), len(ring) / RATE))
    else:
        parts.append("no ringing tone")
    if music:
        parts.append("the queue's music %.1f dBFS for %.1f s" % (level(music), len(music) / RATE))
    else:
        parts.append("no music from the queue")
    print("%s (%.1f s recorded in %s)" % ("; ".join(parts), len(x) / RATE, sys.argv[2]))
    return 0 if ring and music else 1


if __name__ == "__main__":
    sys.exit(main())
