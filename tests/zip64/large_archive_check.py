#!/usr/bin/env python3
"""Repairs damaged archives of more than 4 GiB and checks the result with
unzip, 7-Zip and Python's zipfile.

The archives are sparse files: gigabytes of zeros cost no disk space and no
time to write, yet the repaired archive holds them all and needs zip64
records for sizes and offsets. Usage: large_archive_check.py TESSARY_CLI
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

GIB = 1 << 30


def crc_zeros(n):
    crc = 0
    chunk = bytes(16 << 20)
    while n > 0:
        k = min(n, len(chunk))
        crc = zlib.crc32(memoryview(chunk)[:k], crc)
        n -= k
    return crc


def local_header(name, flags=0, crc=0, csize=0, usize=0, zip64=None):
    extra = b""
    if zip64 is not None:
        extra = struct.pack("<HHQQ", 1, 16, zip64[0], zip64[1])
        csize = usize = 0xFFFFFFFF
    return struct.pack("<IHHHHHIIIHH", 0x04034B50, 45 if zip64 else 20, flags, 0, 0x6000,
                       0x5A21, crc, csize, usize, len(name), len(extra)) + name + extra


def stored(name, data):
    c = zlib.crc32(data)
    return local_header(name, crc=c, csize=len(data), usize=len(data)) + data


def build_damaged(path, big_size, streamed):
    """small entry, a big entry of zeros (zip64), a small entry past 4 GiB; no central directory."""
    with open(path, "wb") as f:
        f.write(stored(b"first.txt", b"before the big one\n"))
        crc = crc_zeros(big_size)
        if streamed:
            f.write(local_header(b"big.bin", flags=8, zip64=(0, 0)))
        else:
            f.write(local_header(b"big.bin", crc=crc, zip64=(big_size, big_size)))
        f.seek(big_size, os.SEEK_CUR)  # a hole: zeros
        if streamed:
            f.write(struct.pack("<IIQQ", 0x08074B50, crc, big_size, big_size))
        f.write(stored(b"after.txt", b"past four gigabytes\n"))
        f.truncate()


def run(cmd, **kw):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kw)


def check_readers(repaired, expected):
    failures = []
    with zipfile.ZipFile(repaired) as z:
        names = [i.filename for i in z.infolist()]
        if names != expected:
            failures.append(f"zipfile lists {names}")
        bad = z.testzip()
        if bad:
            failures.append(f"zipfile: bad CRC in {bad}")
    if shutil.which("unzip"):
        r = run(["unzip", "-tq", repaired])
        if r.returncode != 0:
            failures.append("unzip -t: " + r.stdout.strip()[-300:])
    else:
        print("SKIP unzip: not installed")
    if shutil.which("7z"):
        r = run(["7z", "t", repaired])
        if r.returncode != 0 or "Everything is Ok" not in r.stdout:
            failures.append("7z t: " + r.stdout.strip()[-300:])
    else:
        print("SKIP 7z: not installed")
    return failures


def main():
    cli = sys.argv[1]
    failures = []
    with tempfile.TemporaryDirectory(dir=os.environ.get("TESSARY_BIG_TMP")) as tmp:
        for streamed in (False, True):
            damaged = os.path.join(tmp, "damaged.zip")
            repaired = os.path.join(tmp, "repaired.zip")
            build_damaged(damaged, 4 * GIB + 65536, streamed)
            r = run([cli, "--quiet", "--force", damaged, "-o", repaired])
            if r.returncode != 0:
                failures.append(f"tessary-cli exit {r.returncode}: {r.stdout}")
                continue
            kind = "descriptor" if streamed else "zip64 extra"
            errs = check_readers(repaired, ["first.txt", "big.bin", "after.txt"])
            failures += [f"[{kind}] {e}" for e in errs]
            print(f"[{kind}] repaired {os.path.getsize(repaired)} bytes; readers: "
                  f"{'ok' if not errs else errs}")
            os.remove(repaired)
            os.remove(damaged)
    if failures:
        print("\n".join(failures))
        return 1
    print("1 passed, 0 failed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
