#!/usr/bin/env python3
"""Counts the RTP packets of a call with a peer on the loopback interface
(or another one), each way, as the kernel carries them (needs root: a packet
socket).

    count_rtp.py PEER_ADDR OUT_FILE [INTERFACE]

OUT_FILE is rewritten twice a second with "to_peer=N from_peer=M"; the
counter runs until it is stopped. RTP: UDP off port 5060 whose payload starts
as RTP version 2 does and whose payload type is not RTCP's."""
import os
import socket
import struct
import sys
import time

ETH_P_ALL = 0x0003
PACKET_OUTGOING = 4


def main():
    peer = socket.inet_aton(sys.argv[1])
    out = sys.argv[2]
    sock = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(ETH_P_ALL))
    interface = sys.argv[3] if len(sys.argv) > 3 else "lo"
    sock.bind((interface, 0))
    sock.settimeout(0.5)
    counts = {"to_peer": 0, "from_peer": 0}
    last = 0.0
    while True:
        try:
            frame, addr = sock.recvfrom(2048)
        except socket.timeout:
            frame, addr = None, None
        except OSError:  # the interface went down: counting goes on when it is back
            frame, addr = None, None
            time.sleep(0.1)
        # On loopback every packet is seen leaving and arriving: once only.
        seen_twice = interface == "lo" and addr and addr[2] == PACKET_OUTGOING
        if frame and not seen_twice and len(frame) > 14 + 20 + 8 + 12:
            ip = frame[14:]
            if ip[0] >> 4 == 4 and ip[9] == 17:
                header = (ip[0] & 0x0F) * 4
                sport, dport = struct.unpack("!HH", ip[header:header + 4])
                payload = ip[header + 8:]
                rtp = (len(payload) >= 12 and payload[0] >> 6 == 2 and not 200 <= payload[1] <= 204
                       and 5060 not in (sport, dport))
                if rtp and ip[16:20] == peer:
                    counts["to_peer"] += 1
                elif rtp and ip[12:16] == peer:
                    counts["from_peer"] += 1
        now = time.monotonic()
        if now - last >= 0.5:
            last = now
            with open(out + ".new", "w") as f:
                f.write(f"to_peer={counts['to_peer']} from_peer={counts['from_peer']}\n")
            os.replace(out + ".new", out)


if __name__ == "__main__":
    main()
