#!/usr/bin/env python3
"""bind_probe.py [--hold] HELPER ARG...: runs the binding helper as a program would, with a socket
pair's end on descriptor 3, and prints what it got:

    answer: TEXT
    ADDRESS:PORT DEVICE     one line per socket handed over (DEVICE "-" when tied to none)
    status: N               the helper's exit status

With --hold it then prints "holding" and keeps the sockets until it is stopped."""
import os
import signal
import socket
import subprocess
import sys

SO_BINDTODEVICE = 25  # Linux


def describe(fd):
    s = socket.socket(fileno=fd)
    if s.family != socket.AF_INET or s.type != socket.SOCK_DGRAM:
        return s, f"not a UDP socket: family {s.family}, type {s.type}"
    host, port = s.getsockname()
    device = s.getsockopt(socket.SOL_SOCKET, SO_BINDTODEVICE, 16).rstrip(b"\0").decode() or "-"
    return s, f"{host}:{port} {device}"


def main():
    args = sys.argv[1:]
    hold = bool(args) and args[0] == "--hold"
    if hold:
        args = args[1:]
    if not args:
        sys.exit(__doc__)
    ours, theirs = socket.socketpair(socket.AF_UNIX, socket.SOCK_SEQPACKET)

    def on_three():
        os.dup2(theirs.fileno(), 3)
        os.set_inheritable(3, True)

    proc = subprocess.Popen(args, pass_fds=(3,), preexec_fn=on_three, stdin=subprocess.DEVNULL)
    theirs.close()
    ours.settimeout(10)
    kept = []
    try:
        text, fds, _, _ = socket.recv_fds(ours, 160, 8)
        print("answer:", text.decode("ascii", "replace"))
        for fd in fds:
            s, line = describe(fd)
            kept.append(s)
            print(line)
    except (OSError, socket.timeout) as e:
        print("answer: none (%s)" % e)
    print("status:", proc.wait())
    sys.stdout.flush()
    if hold:
        print("holding", flush=True)
        signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
        while True:
            signal.pause()


if __name__ == "__main__":
    main()
