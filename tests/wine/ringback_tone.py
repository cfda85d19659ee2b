"""Checks a recording of the sound card (raw 16-bit mono at 8 kHz) for the
ringing tone the program plays while a queue rings: 425 Hz for 1 s, at a
level a customer hears. Prints what it found; exits 1 when no such tone.

ringback_tone.py RECORDING
"""
import cmath
import math
import struct
import sys

RATE = 8000
FRAME = RATE // 20


def level(x):
    """dBFS, a full-scale sine being 0."""
    return 10 * math.log10(sum(v * v for v in x) / max(len(x), 1) + 1e-20) + 3.01


def share(x, hz):
    """The part of x's power at hz (1: a pure tone)."""
    step = cmath.exp(-2j * math.pi * hz / RATE)
    w, total = 1, 0
    for v in x:
        total += v * w
        w *= step
    return 2 * abs(total) ** 2 / len(x) / (sum(v * v for v in x) + 1e-20)


def main():
    data = open(sys.argv[1], "rb").read()
    x = [v / 32768 for v in struct.unpack("<%dh" % (len(data) // 2), data[: len(data) // 2 * 2])]
    # The tones: runs of 50 ms frames of 425 Hz, holes under 0.3 s included.
    tones = []
    for at in range(0, len(x) - FRAME + 1, FRAME):
        frame = x[at : at + FRAME]
        if level(frame) < -40 or share(frame, 425) < 0.5:
            continue
        if not tones or at - tones[-1][-1] > RATE * 3 // 10:
            tones.append([])
        tones[-1].append(at)
    if not tones:
        print("no ringing tone in %.1f s of sound (%.1f dBFS)" % (len(x) / RATE, level(x)))
        return 1
    longest = max(tones, key=len)
    sound = [v for at in longest[1:-1] for v in x[at : at + FRAME]]
    hz = max((share(sound, 415 + i / 5), 415 + i / 5) for i in range(101))[1] if sound else 0
    seconds = len(longest) * FRAME / RATE
    print("ringing tone: %.1f dBFS at %.1f Hz for %.2f s" % (level(sound), hz, seconds))
    ok = 0.85 <= seconds <= 1.15 and abs(hz - 425) <= 2 and -20 < level(sound) < -6
    return 0 if ok else 1


sys.exit(main())
