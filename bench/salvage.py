#!/usr/bin/env python3
"""What tessary-cli --salvage brings back of a large deflated entry cut off at
10 %, 50 % and 90 % of its compressed data: the salvaged entry is extracted
with unzip, 7z and Python's zipfile, each must equal the original's prefix of
the same length. Prints, per cut, the compressed bytes present, the bytes
salvaged and their share of the original.

  salvage.py --cli PATH [--mib N]
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile
import zipfile

NAME = "large.log"


def make_content(mib):
    rng = random.Random(5)
    words = ["alpha", "beta", "gamma", "delta", "omega", "kappa", "sigma", "theta", "1234", "x"]
    lines = []
    size = 0
    while size < mib << 20:
        line = " ".join(rng.choices(words, k=rng.randint(4, 14))) + " %d\n" % rng.getrandbits(30)
        lines.append(line)
        size += len(line)
    return "".join(lines).encode()[:mib << 20]


def extracted(tool, path, work):
    if tool == "zipfile":
        with zipfile.ZipFile(path) as z:
            return z.read(NAME)
    cmd = {"unzip": ["unzip", "-p", path, NAME], "7z": ["7z", "e", "-so", path, NAME]}[tool]
    run = subprocess.run(cmd, capture_output=True, cwd=work)
    if run.returncode != 0:
        raise RuntimeError("%s failed: %s" % (tool, run.stderr.decode(errors="replace")[-200:]))
    return run.stdout


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", required=True)
    ap.add_argument("--mib", type=int, default=32)
    a = ap.parse_args()
    work = tempfile.mkdtemp(prefix="tessary-salvage.")
    failures = 0
    try:
        original = make_content(a.mib)
        archive = os.path.join(work, "whole.zip")
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("first.txt", b"a small entry in front\n" * 40)
            z.writestr(NAME, original)
        with zipfile.ZipFile(archive) as z:
            info = z.getinfo(NAME)
        whole = open(archive, "rb").read()
        name_len, extra_len = int.from_bytes(whole[info.header_offset + 26:][:2], "little"), \
            int.from_bytes(whole[info.header_offset + 28:][:2], "little")
        data_start = info.header_offset + 30 + name_len + extra_len
        print("%s: %d bytes, deflated to %d" % (NAME, len(original), info.compress_size))
        print("%-6s %14s %14s %9s  %s" % ("cut", "compressed in", "salvaged", "of file",
                                           "unzip, 7z, zipfile"))
        for share in (0.1, 0.5, 0.9):
            present = int(info.compress_size * share)
            damaged = os.path.join(work, "cut.zip")
            repaired = os.path.join(work, "repaired.zip")
            with open(damaged, "wb") as f:
                f.write(whole[:data_start + present])
            subprocess.run([a.cli, "--quiet", "--force", "--salvage", damaged, "-o", repaired],
                           check=False)
            verdicts = []
            size = None
            for tool in ("unzip", "7z", "zipfile"):
                try:
                    data = extracted(tool, repaired, work)
                    good = len(data) > 0 and original[:len(data)] == data
                    size = len(data) if size is None else size
                    verdicts.append("prefix" if good and len(data) == size else "WRONG")
                except Exception as e:  # noqa: BLE001  any failure is a verdict
                    verdicts.append("FAILED (%s)" % str(e)[:60])
            failures += sum(v != "prefix" for v in verdicts)
            print("%5d%% %14d %14d %8.1f%%  %s" % (share * 100, present, size or 0,
                                                  100.0 * (size or 0) / len(original),
                                                  ", ".join(verdicts)))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
