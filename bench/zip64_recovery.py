#!/usr/bin/env python3
"""Recovery of entries written with zip64 fields by Python's zipfile
(force_zip64=True), to a file and to a stream, under several kinds of damage.
Usage: zip64_recovery.py TESSARY_CLI SCRATCH"""
import io
import os
import random
import subprocess
import sys
import zipfile


class Unseekable(io.RawIOBase):
    def __init__(self):
        self.buf = bytearray()

    def writable(self):
        return True

    def write(self, b):
        self.buf += b
        return len(b)


def build(streamed, seed):
    rnd = random.Random(seed)
    files = {}
    for i in range(40):
        size = rnd.choice([0, 10, 1000, 50_000, 300_000])
        data = bytes(rnd.getrandbits(8) for _ in range(size)) if i % 3 == 0 else \
            (b"zip64 line %d\n" % i) * (size // 14 + 1)
        files[f"dir{i % 4}/file{i}.bin"] = data
    sink = Unseekable() if streamed else io.BytesIO()
    with zipfile.ZipFile(sink, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in files.items():
            with z.open(name, "w", force_zip64=True) as f:
                f.write(data)
    raw = bytes(sink.buf) if streamed else sink.getvalue()
    return raw, files


def damage(raw, kind, rnd):
    cd = raw.rfind(b"PK\x01\x02")
    first_cd = raw.find(b"PK\x01\x02")
    if kind == "cd-cut":
        return raw[:first_cd]
    if kind == "truncated":
        return raw[: rnd.randrange(len(raw) // 3, first_cd)]
    if kind == "chunk-deleted":
        at = rnd.randrange(0, first_cd - 5000)
        return raw[:at] + raw[at + 3000:first_cd]
    if kind == "flipped":
        b = bytearray(raw[:first_cd])
        for _ in range(5):
            b[rnd.randrange(len(b))] ^= 0xFF
        return bytes(b)
    return raw


def intact_entries(path, files):
    try:
        z = zipfile.ZipFile(path)
    except Exception:
        return 0
    good = set()
    for info in z.infolist():
        if info.filename in files and info.filename not in good:
            try:
                if z.read(info) == files[info.filename]:
                    good.add(info.filename)
            except Exception:
                pass
    return len(good)


def survived(raw_original, damaged, files):
    """Entries whose whole local record is still in the damaged file."""
    count = 0
    with zipfile.ZipFile(io.BytesIO(raw_original)) as z:
        infos = sorted(z.infolist(), key=lambda i: i.header_offset)
        ends = [i.header_offset for i in infos[1:]] + [raw_original.find(b"PK\x01\x02")]
        for info, end in zip(infos, ends):
            if raw_original[info.header_offset:end] in damaged:
                count += 1
    return count


def main():
    cli, scratch = sys.argv[1], sys.argv[2]
    rnd = random.Random(7)
    print("Zip64 entries from Python's zipfile (force_zip64=True)")
    print(f"{'writer':10} {'damage':14} {'files':>5} {'entries':>8} {'survived':>9} {'recovered':>10}")
    totals = [0, 0, 0]
    for streamed in (False, True):
        for kind in ("cd-cut", "truncated", "chunk-deleted", "flipped"):
            row = [0, 0, 0, 0]
            for seed in range(5):
                raw, files = build(streamed, seed)
                damaged = damage(raw, kind, rnd)
                path = os.path.join(scratch, "z.zip")
                out = os.path.join(scratch, "z-repaired.zip")
                open(path, "wb").write(damaged)
                subprocess.run([cli, "-q", "-f", path, "-o", out])
                row[0] += 1
                row[1] += len(files)
                row[2] += survived(raw, damaged, files)
                row[3] += intact_entries(out, files) if os.path.exists(out) else 0
                for p in (path, out):
                    if os.path.exists(p):
                        os.remove(p)
            totals = [t + r for t, r in zip(totals, row[1:])]
            writer = "stream" if streamed else "file"
            print(f"{writer:10} {kind:14} {row[0]:5} {row[1]:8} {row[2]:9} {row[3]:10}")
    print(f"{'all':25} {totals[0]:8} {totals[1]:9} {totals[2]:10}")


if __name__ == "__main__":
    main()
