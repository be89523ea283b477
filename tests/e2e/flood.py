#!/usr/bin/env python3
"""Hostile network: waits for the tool's search broadcast on port 1500, then floods the sender with
random datagrams of every length from ports 1500, 1901 and others. Bounded in count and time.
usage: flood.py BIND_IP COUNT SECONDS LOGFILE"""
import os, random, socket, sys, time

bind_ip, count, seconds, log = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]), sys.argv[4]
listen = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
listen.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listen.bind(("0.0.0.0", 1500))
senders = []
for port in (1500, 1901, 3000, 0):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind((bind_ip, port))
    senders.append(s)
rng = random.Random(7)
lengths = {}
with open(log, "w") as out:
    print("flood: ready", file=out, flush=True)
    while True:
        data, tool = listen.recvfrom(2048)
        if data == b"\xff\x01\x01\x02":
            break
    print("flood: tool at %s:%d" % tool, file=out, flush=True)
    deadline = time.time() + seconds
    sent = 0
    while sent < count and time.time() < deadline:
        n = sent % 400 if sent < 400 else rng.choice([0, 1, 2, 3, 4, 5, 36, 40, 50, 85, 87, 100, 130, 193, 256, 302, 1400, rng.randrange(0, 1472)])
        payload = rng.randbytes(n)
        # Never a valid search reply or acknowledgement: the real modules alone must make rows.
        if n == 36 and payload[:3] == b"\xff\x24\x01":
            payload = b"\x00" + payload[1:]
        s = senders[sent % len(senders)]
        try:
            s.sendto(payload, tool)
        except OSError:
            time.sleep(0.001)
            continue
        lengths[n] = lengths.get(n, 0) + 1
        sent += 1
        if sent % 200 == 0:
            time.sleep(0.002)
    print("flood: sent %d datagrams, %d lengths" % (sent, len(lengths)), file=out, flush=True)
