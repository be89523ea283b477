#!/usr/bin/env python3
"""Forged search replies: waits for the tool's search broadcast on port 1500, then answers it from
port 1500 with replies that all claim one address, each with a MAC of its own (02 00 00 ...).
  --count N --seconds S   N replies spread over S seconds (a flood of distinct MACs on one IP)
  --name HEX              one reply per --name, its 14 name bytes given in hex (repeatable)
  --searches K            answer the first K searches (default 1), then end
Prints "ready", the tool's address and "sent N" to LOGFILE. Bounded in count and time.
usage: forged_replies.py --ip CLAIMED_IP [--count N --seconds S] [--name HEX]... LOGFILE"""
import argparse, socket, struct, time

p = argparse.ArgumentParser()
p.add_argument("--ip", required=True)
p.add_argument("--count", type=int, default=0)
p.add_argument("--seconds", type=float, default=0.0)
p.add_argument("--name", action="append", default=[])
p.add_argument("--searches", type=int, default=1)
p.add_argument("log")
a = p.parse_args()
assert a.count <= 100000


def reply(index, name):
    b = bytearray(36)
    b[0:3] = b"\xff\x24\x01"
    b[5:9] = socket.inet_aton(a.ip)
    b[9:15] = b"\x02\x00" + struct.pack(">I", index)
    b[15:17] = struct.pack("<H", 4017)
    b[19:19 + len(name[:14])] = name[:14]
    return bytes(b)


s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 4 << 20)
s.bind(("0.0.0.0", 1500))
with open(a.log, "w") as out:
    print("ready", file=out, flush=True)
    replies = [reply(i + 1, bytes.fromhex(n)) for i, n in enumerate(a.name)]
    replies += [reply(0x10000 + i, b"flood") for i in range(a.count)]
    for _ in range(a.searches):
        while True:
            data, tool = s.recvfrom(2048)
            if data == b"\xff\x01\x01\x02":
                break
        print("tool at %s:%d" % tool, file=out, flush=True)
        start = time.monotonic()
        sent = 0
        burst = 50
        for i in range(0, len(replies), burst):
            for r in replies[i:i + burst]:
                try:
                    s.sendto(r, tool)
                    sent += 1
                except OSError:
                    time.sleep(0.001)
            # Spread over the time asked for, never longer than that and a second.
            due = start + a.seconds * min(i + burst, len(replies)) / max(len(replies), 1)
            now = time.monotonic()
            if due > now:
                time.sleep(due - now)
            if now - start > a.seconds + 1:
                break
        print("sent %d in %.2f s" % (sent, time.monotonic() - start), file=out, flush=True)
