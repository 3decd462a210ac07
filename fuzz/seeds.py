#!/usr/bin/env python3
"""Writes the hand-made seed programs of the record-interface fuzzer into
fuzz/corpus/. The encoding mirrors the decoder in btrcall_fuzzer.cpp; the
fuzzer grows the corpus from these and scripts/fuzz --merge keeps it small."""
import os
import struct
import sys

OPS = [0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 19,
       20, 21, 22, 23, 24, 25, 26, 27, 28, 33, 34, 35, 36, 37, 38, 39, 16]
BIASES = [0, 0, 0, 50, 100, 200, 300, 400]
NAMES = {"a": 0, "b": 1, "hostile": 2}


def call(op, block=0, data=None, size=None, dlen=None, key=None, keylen=None, keynum=0,
         lenptr=True):
    base, bias = (op % 50, op - op % 50) if op % 50 in OPS and op < 450 else (op, 0)
    if bias >= 100:
        base, bias = op % 100, op - op % 100
    out = bytearray([0, OPS.index(base), BIASES.index(bias)])
    out.append(block)                       # 0..3 blocks, 4 garbage, 5 null
    if block == 4:
        out += bytes(128)
    if data is None:
        out.append(0)
        out += struct.pack("<H", dlen or 0)
    else:
        if size == 40:
            out.append(1)
        elif size == 24:
            out.append(4)
        else:
            out.append(6)
            out += struct.pack("<H", len(data))
        out += bytes(data).ljust(size or len(data), b"\0")
        if dlen is None:
            out.append(1)
        else:
            out.append(0)
            out += struct.pack("<H", dlen)
    out.append(0 if not lenptr else 1)
    if keylen is None:
        out.append(1)
    else:
        out += bytes([0, keylen])
    kl = 255 if keylen is None else keylen
    if key is None:
        out.append(0)
    elif isinstance(key, str):
        out += bytes([1, 0, NAMES[key], 1])
    else:
        out += bytes([1, 1]) + bytes(key).ljust(kl, b"\0")
    if -4 <= keynum <= 4:
        out += bytes([1, keynum + 4])
    else:
        out += bytes([0, keynum & 0xFF])
    return bytes(out)


def rec_a(i, name, tail=b"  "):
    return struct.pack("<i", i) + name.encode().ljust(16, b"\0") + b"abcdef" + tail


def rec_b(i, tag):
    t = tag.encode()
    return struct.pack("<i", i) + bytes([len(t)]) + t.ljust(9, b"\0")


def mangle(kind, to, arg=0):
    # kind: 0 copy block arg over block to, 1 zero it, 2 flip bits of byte arg
    extra = [arg] if kind == 0 else [] if kind == 1 else [arg, 0x55]
    return bytes([224, to, kind] + extra)


def damage(name, kind, extra=b""):
    # kind: 0 overwrite, 1 truncate, 2 garbage, 3 foreign database, 4 remove
    return bytes([240, NAMES[name], 1, kind]) + extra


def seeds():
    s = {}
    ins = b"".join(call(2, 0, rec_a(i, "name%d" % (i % 3)), 40) for i in range(1, 8))
    walk = b"".join(call(op, 0, b"", 40, keynum=k) for k in (0, 1, 2)
                    for op in (12, 6, 6, 13, 7, 7))
    s["walk"] = ins + walk
    s["update-delete"] = (ins + call(5, 0, b"", 40, key=struct.pack("<i", 3)) +
                          call(3, 0, rec_a(3, "changed"), 40) +
                          call(4, 0, b"", 40) + call(6, 0, b"", 40) + call(7, 0, b"", 40) +
                          call(4, 0, b"", 40) + call(3, 0, rec_a(9, "x"), 40))
    s["transactions"] = (call(19, 2) + ins + call(2, 1, rec_b(0, "t"), 24) + call(20, 2) +
                         call(19, 2) + call(2, 1, rec_b(0, "u"), 24) + call(21, 2) +
                         call(20, 2) + call(19, 2) + call(19, 2) + call(1, 0) + call(28, 2))
    s["autoincrement"] = b"".join(call(2, 1, rec_b(0, "t%d" % i), 24) for i in range(6)) + \
        b"".join(call(op, 1, b"", 24, keynum=1) for op in (12, 6, 6, 9, 8, 11, 10))
    s["position"] = ins + call(12, 0, b"", 40) + call(22, 0, b"", 4) + \
        call(23, 0, struct.pack("<I", 2) + bytes(36), 40, keynum=1) + \
        call(23, 0, struct.pack("<I", 999) + bytes(36), 40) + call(33, 0, b"", 40) + \
        call(24, 0, b"", 40) + call(34, 0, b"", 40) + call(35, 0, b"", 40)
    s["stat-version"] = call(15, 0, bytes(600), 600) + call(15, 1, bytes(10), 10) + \
        call(26, 2, bytes(5), 5) + call(26, 2, bytes(15), 15) + call(15, 0, bytes(600), 600, keynum=-1)
    s["get-key-and-locks"] = ins + call(55, 0, b"", 40, key=struct.pack("<i", 2)) + \
        call(56, 0, b"", 40) + call(105, 0, b"", 40, key=struct.pack("<i", 4)) + \
        call(212, 0, b"", 40) + call(27, 0, b"", 40, keynum=-1) + call(312, 0, b"", 40)
    spec = struct.pack("<HHBBIHBBH", 30, 512, 1, 0, 0, 0, 0, 0, 0) + \
        struct.pack("<HHHIBBHBB", 1, 8, 0x100 | 0x40 | 0x400, 0, 0, 0, 0, 0, 0)
    s["create-open"] = call(14, 2, spec, len(spec), key="hostile", keynum=-1) + \
        call(0, 2, key="hostile") + call(2, 2, b"ABCDEFGH".ljust(30, b"\0"), len(spec)) + \
        call(14, 3, spec, len(spec), key="a", keynum=-1) + call(0, 3, key="a", keynum=-4) + \
        call(0, 3, key="a", keynum=-2) + call(2, 3, rec_a(50, "ro"), 40)
    s["hostile-files"] = damage("hostile", 2, bytes([30]) + b"SQLite format 3\0" * 15) + \
        call(0, 2, key="hostile") + damage("hostile", 3, b"\1") + call(0, 2, key="hostile") + \
        damage("hostile", 3, b"\0") + call(0, 2, key="hostile") + \
        damage("a", 1, struct.pack("<I", 3000)) + call(0, 0, key="a") + call(12, 0, b"", 40) + \
        damage("b", 0, bytes([20]) + b"\xff" * 21 + struct.pack("<I", 100)) + \
        call(0, 1, key="b") + call(12, 1, b"", 24)
    s["stale-blocks"] = ins + mangle(0, 2, 0) + call(12, 2, b"", 40) + call(1, 0) + \
        call(12, 2, b"", 40) + mangle(2, 0, 5) + call(12, 0, b"", 40) + mangle(1, 1) + \
        call(12, 1, b"", 24) + call(12, 4, b"", 40) + call(12, 5, b"", 40)
    s["bad-arguments"] = call(2, 0, rec_a(1, "short"), 40, dlen=10) + \
        call(12, 0, b"", 40, dlen=3) + call(2, 0, None, dlen=40) + call(12, 0, lenptr=False) + \
        call(5, 0, b"", 40, key=b"\1", keylen=1) + call(12, 0, b"", 40, keynum=77) + \
        call(12, 0, b"", 40, keynum=-100) + call(0, 3, key=b"", keylen=0) + \
        call(0, 3, key=b"no-such-file") + call(1, 3) + call(12, 3, b"", 40)
    s["stop-reset"] = ins + call(25, 2) + call(12, 0, b"", 40) + call(0, 0, key="a") + \
        call(19, 2) + call(2, 0, rec_a(60, "z"), 40) + call(28, 2) + call(12, 0, b"", 40)
    return s


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus")
    os.makedirs(out, exist_ok=True)
    for name, data in seeds().items():
        with open(os.path.join(out, "seed-" + name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
