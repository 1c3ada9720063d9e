#!/usr/bin/env python3
"""Seed candidates for the gateway and upgrade targets: each session of the
corpus with one fault of the scripted gateway at one command.

    fuzz/makeseeds.py OUT   writes OUT/gateway/* and OUT/upgrade/*

Only those that add coverage are kept in fuzz/corpus/, e.g.
    build-fuzz/bin/fuzz_gateway -merge=1 fuzz/corpus/gateway OUT/gateway
"""
import os
import sys

ROOT = os.path.dirname(os.path.abspath(__file__))

# One entry of the script per fault (see TScriptGateway::Scripted): the case
# byte and its arguments.
FAULTS = {
    "anything": [1, 3, ord("a"), ord("b"), ord("c")],
    "other-text": [2, 5] + list(b"x3.1x"),
    "damaged-block": [3, 0x03, 0x10, 0x00, 0x55],
    "refused": [4, 1],
    "wrong-ack": [5, 3, 7],
    "cut": [6, 0x05, 0x00],
    "lengthened": [7, 4] + list(b"junk"),
    "line-dies": [8, 0x03, 0x00],
    "foreign-record": [9, 10] + list(b"KX2 3.1;x;"),
    "old-version": [10, 1],
    "other-hardware": [11, ord("D")],
    "late": [12, 12],
    "flood": [13, 2, 0x41],
    "drip": [14, 9],
}


def gateway_script_start(seed):
    # header, operations, gateway byte, the answers (a count and that many)
    return 3 + 1 + seed[3] if len(seed) > 3 else len(seed)


def upgrade_script_start(seed):
    # header, gateway byte, files byte, each file's description, the answers
    pos = 3
    for _ in range((seed[2] & 3) % 3):
        f = seed[pos] if pos < len(seed) else 0
        pos += 1 + ((f >> 3) % 4) * 3
    return pos + 1 + (seed[pos] if pos < len(seed) else 0)


def main(out):
    for target, start, positions in (
        ("gateway", gateway_script_start, range(0, 12)),
        ("upgrade", upgrade_script_start, list(range(0, 8)) + [10, 30, 60, 63]),
    ):
        folder = os.path.join(out, target)
        os.makedirs(folder, exist_ok=True)
        base_dir = os.path.join(ROOT, "corpus", target)
        for base in sorted(os.listdir(base_dir)):
            seed = open(os.path.join(base_dir, base), "rb").read()
            at = start(seed)
            for name, entry in FAULTS.items():
                for p in positions:
                    s = bytearray(seed[:at]) + bytearray(p) + bytearray(entry) + bytearray(seed[at + p + 1:])
                    open(os.path.join(folder, f"{base}-{name}-{p}"), "wb").write(bytes(s))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
