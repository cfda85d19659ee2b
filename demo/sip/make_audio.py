#!/usr/bin/env python3
"""Writes the queues' waiting music: 8 kHz G.711 A-law, raw, about 12 s,
for sipp's rtp_stream (payload type 8). Usage: make_audio.py OUTPUT"""
import math
import sys


def alaw(sample):
    """One 16-bit linear sample to A-law (G.711)."""
    sign = 0x80 if sample >= 0 else 0x00
    if sample < 0:
        sample = -sample - 1
    sample = min(sample, 32767) >> 3
    if sample < 32:
        value = sample >> 1
    else:
        exponent = 1
        while sample >= 64 and exponent < 7:
            sample >>= 1
            exponent += 1
        value = (exponent << 4) | ((sample >> 1) & 0x0F)
    return (value | sign) ^ 0x55


def melody():
    # A slow arpeggio over C - Am - F - G, soft sine voices with a gentle fade.
    chords = [(261.63, 329.63, 392.00), (220.00, 261.63, 329.63),
              (174.61, 220.00, 261.63), (196.00, 246.94, 293.66)]
    rate, note = 8000, 0.5
    for chord in chords:
        for rep in range(2):
            for f in chord + (chord[1] * 2,):
                n = int(rate * note)
                for i in range(n):
                    t = i / rate
                    env = min(1.0, t / 0.03) * math.exp(-2.2 * t)
                    bass = 0.35 * math.sin(2 * math.pi * chord[0] / 2 * (t + rep * note))
                    yield int(9000 * (env * math.sin(2 * math.pi * f * t) + 0.4 * bass))


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as out:
        out.write(bytes(alaw(s) for s in melody()))
