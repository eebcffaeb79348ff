#!/usr/bin/env python3
"""Writes the benchmark's damaged archives: ZIP entries with no central
directory behind them, as a download cut off before its end leaves them.

  make_archive.py mixed OUT [--mib 1024] [--seed 1]
      Entries of mixed sizes until the file holds about MIB mebibytes: most
      small, some up to 1 MiB, some of several MiB; half compressible text
      (deflated), half random bytes (mostly stored); a quarter with a data
      descriptor behind the data, some of those without its signature.
  make_archive.py tiny OUT --entries N
      N tiny stored entries, to measure the memory the engine needs per entry.

Prints one line of JSON describing what was written.
"""
import argparse
import json
import random
import struct
import sys
import zlib

LOCAL = 0x04034B50
DESCRIPTOR = 0x08074B50
MIB = 1 << 20
DOS_TIME, DOS_DATE = 0x6000, 0x5A21  # 12:00:00, 2025-01-01


class Writer:
    def __init__(self, f):
        self.f = f
        self.offset = 0
        self.entries = 0
        self.descriptors = 0
        self.large = 0
        self.stored_bytes = 0

    def entry(self, name, data, deflate, descriptor=None):
        """descriptor: None, "signed" or "unsigned"."""
        raw = name.encode()
        crc = zlib.crc32(data)
        if deflate:
            c = zlib.compressobj(1, zlib.DEFLATED, -15)
            body = c.compress(data) + c.flush()
            method = 8
        else:
            body = data
            method = 0
            self.stored_bytes += len(body)
        flags = 0x0008 if descriptor else 0
        fields = (0, 0, 0) if descriptor else (crc, len(body), len(data))
        self.f.write(struct.pack("<IHHHHHIIIHH", LOCAL, 20, flags, method, DOS_TIME, DOS_DATE,
                                 *fields, len(raw), 0))
        self.f.write(raw)
        self.f.write(body)
        size = 30 + len(raw) + len(body)
        if descriptor == "signed":
            self.f.write(struct.pack("<IIII", DESCRIPTOR, crc, len(body), len(data)))
            size += 16
        elif descriptor == "unsigned":
            self.f.write(struct.pack("<III", crc, len(body), len(data)))
            size += 12
        self.offset += size
        self.entries += 1
        self.descriptors += 1 if descriptor else 0
        self.large += 1 if len(body) > MIB else 0


def text_pool(rng, size):
    """Word salad: compresses about 2.5:1 at deflate level 1, like ordinary text."""
    syllables = ["ka", "lo", "mer", "ti", "san", "dra", "pe", "vol", "un", "ix", "or", "te", "qua"]
    words = ["".join(rng.choices(syllables, k=rng.randint(1, 4))) for _ in range(3000)]
    out = []
    length = 0
    while length < size:
        line = " ".join(rng.choices(words, k=rng.randint(4, 16))) + "\n"
        out.append(line)
        length += len(line)
    return "".join(out).encode()[:size]


def entry_size(rng):
    r = rng.random()
    if r < 0.80:
        return rng.randint(100, 32 * 1024)
    if r < 0.95:
        return rng.randint(64 * 1024, MIB)
    return rng.randint(MIB + 1, 6 * MIB)


def mixed(path, mib, seed):
    rng = random.Random(seed)
    pool_size = 32 * MIB
    text = text_pool(rng, pool_size)
    noise = rng.randbytes(pool_size)
    target = mib * MIB
    with open(path, "wb") as f:
        w = Writer(f)
        while w.offset < target:
            size = min(entry_size(rng), target - w.offset)
            compressible = rng.random() < 0.5
            pool = text if compressible else noise
            # Text is deflated at about 2.5:1, so take more of it to keep the
            # share of each kind in the file about equal.
            raw_size = size * 5 // 2 if compressible else size
            raw_size = min(max(raw_size, 1), pool_size)
            start = rng.randrange(0, pool_size - raw_size + 1)
            data = pool[start:start + raw_size]
            deflate = compressible or rng.random() < 0.1
            r = rng.random()
            descriptor = None if r < 0.75 else ("signed" if r < 0.95 else "unsigned")
            name = "set%02d/part%03d/item%06d.%s" % (w.entries % 7, w.entries % 113, w.entries,
                                                    "txt" if compressible else "bin")
            w.entry(name, data, deflate, descriptor)
    return w


def tiny(path, count):
    with open(path, "wb") as f:
        w = Writer(f)
        for i in range(count):
            w.entry("t/%07d" % i, b"%d" % i, False)
    return w


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("kind", choices=["mixed", "tiny"])
    ap.add_argument("out")
    ap.add_argument("--mib", type=int, default=1024)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--entries", type=int, default=1000)
    a = ap.parse_args()
    w = mixed(a.out, a.mib, a.seed) if a.kind == "mixed" else tiny(a.out, a.entries)
    print(json.dumps({"bytes": w.offset, "entries": w.entries, "descriptors": w.descriptors,
                      "over_1mib": w.large, "stored_bytes": w.stored_bytes}))
    return 0


if __name__ == "__main__":
    sys.exit(main())
