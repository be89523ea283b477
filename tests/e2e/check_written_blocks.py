#!/usr/bin/env python3
"""Checks, from a simulator's log, that a write of ModName=NAME LocalPort=PORT Parity=EVEN changed
exactly those bytes: the name in the base block, bytes 5, 12 and 13 of the port block. With
--parity-unchanged the write left the parity as it was (only bytes 12 and 13 of the port block).
usage: check_written_blocks.py SIM_LOG NAME PORT [--parity-unchanged] [--heart-unchanged]"""
import re, sys

log = open(sys.argv[1]).read()
name, port = sys.argv[2].encode(), int(sys.argv[3])

def block(kind):
    m = re.search(r"wrote %s: ([0-9A-F ]+) was: ([0-9A-F ]+)" % kind, log)
    assert m, kind
    return bytes.fromhex(m.group(1)), bytes.fromhex(m.group(2))

new, old = block("base block")
changed = [i for i in range(67) if new[i] != old[i]]
assert changed and all(21 <= i < 37 for i in changed), changed
assert new[21:21 + len(name)] == name and new[21 + len(name):37] == bytes(16 - len(name))
new, old = block("port block")
changed = [i for i in range(63) if new[i] != old[i]]
if "--parity-unchanged" in sys.argv:
    assert changed == [12, 13], changed
else:
    assert changed == [5, 12, 13], changed
    assert new[5] == 3
assert new[12:14] == port.to_bytes(2, "little")
if "--heart-unchanged" in sys.argv:
    new, old = block("heartbeat/register block")
    assert new == old, "heartbeat block changed"
