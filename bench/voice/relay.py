"""The line between a client and the echoing queue, in user space (no netem
needed): RTP and RTCP from the client, received on ADDR:PORT and PORT+1
(the addresses the queue's SDP answer names), go on to the echo at
ECHO_ADDR:ECHO_PORT(+1) and its echo back to the client, each way impaired
alike:

  clean   nothing but the forwarding
  quiet   a clean line to a silent queue: nothing comes back (the echo is
          dropped), for the send path alone
  jitter  each packet delayed by a normal 20 +/- 10 ms (so some overtake
          one another), 3 % of them lost
  burst   10 % lost in bursts: a two-state Markov chain (good: nothing lost;
          bad: everything lost; mean burst 3 packets)
  talk, speaker
          a clean line to a queue that speaks with a voice of its own: each
          packet coming back carries the next of FAR's payloads (4-byte
          big-endian length, then the payload, in the call's codec; looped)
          instead of the echo

Every RTP packet the client sends is written, before any impairment, to
CAPTURE (4-byte big-endian length, then the packet): the client's send path.
A file READY is written once the client's first RTP packet has come.
Runs until killed.
Usage: relay.py ADDR PORT ECHO_ADDR ECHO_PORT CONDITION CAPTURE READY SEED [FAR]"""
import heapq
import random
import selectors
import socket
import struct
import sys
import time

addr, port, echo_addr, echo_port, condition, capture, ready, seed = sys.argv[1:9]
port, echo_port = int(port), int(echo_port)
rng = random.Random(int(seed))
far = []
if len(sys.argv) > 9:
    raw = open(sys.argv[9], "rb").read()
    i = 0
    while i + 4 <= len(raw):
        (n,) = struct.unpack(">I", raw[i : i + 4])
        far.append(raw[i + 4 : i + 4 + n])
        i += 4 + n

BURST_MEAN = 3.0
TO_BAD = (1 / BURST_MEAN) * 0.10 / 0.90  # stationary loss 10 %
TO_GOOD = 1 / BURST_MEAN


class Line:
    """One direction's impairment."""

    def __init__(self):
        self.bad = False

    def delay(self):
        """Seconds to hold the packet, or None to lose it."""
        if condition == "jitter":
            if rng.random() < 0.03:
                return None
            return max(0.0, rng.gauss(0.020, 0.010))
        if condition == "burst":
            self.bad = rng.random() < (1 - TO_GOOD if self.bad else TO_BAD)
            return None if self.bad else 0.0
        return 0.0


def bound(host, p):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind((host, p))
    s.setblocking(False)
    return s


# Client side (RTP, RTCP) and echo side (one socket each, on a port the
# system picks).
client_side = [bound(addr, port), bound(addr, port + 1)]
echo_side = [bound(addr, 0), bound(addr, 0)]
lines = {"up": Line(), "down": Line()}
client_addr = [None, None]
far_next = 0
pending = []  # (due, seq, socket, data, destination)
seq = 0
out = open(capture, "wb")
started = False

sel = selectors.DefaultSelector()
for i in range(2):
    sel.register(client_side[i], selectors.EVENT_READ, ("up", i))
    sel.register(echo_side[i], selectors.EVENT_READ, ("down", i))

while True:
    timeout = max(0.0, pending[0][0] - time.monotonic()) if pending else 1.0
    for key, _ in sel.select(timeout):
        way, i = key.data
        try:
            data, source = key.fileobj.recvfrom(65536)
        except OSError:
            continue
        now = time.monotonic()
        if way == "up":
            client_addr[i] = source
            if i == 0:
                out.write(struct.pack(">I", len(data)) + data)
                out.flush()
                if not started:
                    started = True
                    open(ready, "w").write("rtp\n")
            sock, dest = echo_side[i], (echo_addr, echo_port + i)
        else:
            if client_addr[i] is None:
                continue
            sock, dest = client_side[i], client_addr[i]
            if condition == "quiet" and i == 0:
                continue
            if far and i == 0 and len(data) >= 12:
                # The echo's header (the client's own sequence and clock),
                # the far end's voice: no padding, no extension.
                head = 12 + 4 * (data[0] & 15)
                data = bytes([data[0] & 0xC0 | data[0] & 15]) + data[1:head] + far[far_next]
                far_next = (far_next + 1) % len(far)
        hold = lines[way].delay() if i == 0 else 0.0
        if hold is None:
            continue
        seq += 1
        heapq.heappush(pending, (now + hold, seq, sock, data, dest))
    now = time.monotonic()
    while pending and pending[0][0] <= now:
        _, _, sock, data, dest = heapq.heappop(pending)
        try:
            sock.sendto(data, dest)
        except OSError:
            pass
