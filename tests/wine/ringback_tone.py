"""Checks a recording of the sound card (raw 16-bit mono at 8 kHz) made while
a queue rang for 4 s without audio of its own and then answered without
sending audio: the ringing tone, 425 Hz for 1 s at a level a customer hears,
sounds once while it rings, and nothing sounds after the answer, which is
recorded past the time of the next tone. Prints what it found; exits 1 when
the recording is not that.

ringback_tone.py RECORDING ANSWERED (the sample the answer was seen at)
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


def tones(x):
    """The starts of the 50 ms frames of each tone at 425 Hz; a hole of less
    than 0.3 s (a loaded machine's sound server leaves some) is no end."""
    found = []
    for at in range(0, len(x) - FRAME + 1, FRAME):
        frame = x[at : at + FRAME]
        if level(frame) < -40 or share(frame, 425) < 0.5:
            continue
        if not found or at - found[-1][-1] > RATE * 3 // 10:
            found.append([])
        found[-1].append(at)
    return found


def main():
    data = open(sys.argv[1], "rb").read()
    answered = int(sys.argv[2])
    x = [v / 32768 for v in struct.unpack("<%dh" % (len(data) // 2), data[: len(data) // 2 * 2])]
    found = tones(x)
    after = level(x[answered:])
    if not found:
        print("no ringing tone in %.1f s of sound (%.1f dBFS)" % (len(x) / RATE, level(x[:answered])))
        return 1
    # The steady part of the tone: its ramps (the first and last frames) left out.
    first = found[0]
    sound = [v for at in first[1:-1] for v in x[at : at + FRAME]]
    hz = max((share(sound, 415 + i / 5), 415 + i / 5) for i in range(101))[1] if sound else 0
    seconds = len(first) * FRAME / RATE
    print(
        "ringing tone: %.1f dBFS at %.1f Hz for %.2f s, %d tone(s); after the answer %.1f dBFS "
        "over %.1f s, %.1f s after the tone began"
        % (level(sound), hz, seconds, len(found), after, (len(x) - answered) / RATE, (len(x) - first[0]) / RATE)
    )
    faults = [
        words
        for words, fault in [
            ("it began after the answer", first[0] >= answered),
            ("it does not last 1 s", not 0.85 <= seconds <= 1.15),
            ("it is not at 425 Hz", abs(hz - 425) > 2),
            ("its level is not between -20 and -6 dBFS", not -20 < level(sound) < -6),
            ("it sounded again", len(found) > 1),
            ("sound after the answer", after >= -50),
            # Past where the next tone would sound (5 s after the first) had
            # the answer not stopped it.
            ("the recording ends before the next tone's time", len(x) - first[0] < RATE * 13 // 2),
        ]
        if fault
    ]
    if faults:
        print("not the ringing tone: " + ", ".join(faults))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
