#!/usr/bin/env python3
"""Zeroed middles: 4 KiB of zeros written over the middle of real archives
(the jars and wheels this machine holds), each repaired by tessary-cli, and
every entry of the repaired archive read back with Python's zipfile.

  zeroed_middle.py --cli PATH [--zip-ff] [--7z] [--places N] [--work DIR] [ARCHIVE ...]

Each archive is tried as it is and repacked by a streaming writer (every
entry behind a signed data descriptor, as jar tools and writers on a pipe
make them), so that the zeros hit descriptors as well as data. Counts, per
kind of archive:
  intact     entries that read back with the original's name and bytes;
  laundered  entries that read back without an error but with other bytes:
             damage a reader cannot see, the fault this bench is for;
  reported   entries whose damage a reader reports (CRC or data error);
  foreign    entries that read back but are none of the original's (debris
             of a destroyed header, such as an empty entry without a name);
  central    entries whose CRC and sizes came from a surviving central
             directory header (the repair's "reasons" say so);
  average    entries graded "Average".
With --places N the zeros go, one place at a time, to N places spread over
each archive instead of its middle alone. With --zip-ff and --7z the same damaged files go through `zip -FF` and
`7z x` as well, counted the same way.
"""
import argparse
import glob
import hashlib
import io
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

ZEROS = 4096
DEFAULT_GLOBS = [
    "/usr/share/java/*.jar",
    "/usr/lib/jvm/**/*.jar",
    "/usr/share/maven-repo/**/*.jar",
    "/root/.pyenv/versions/*/lib/python*/**/*.whl",
    "/usr/lib/python3*/**/*.whl",
]


class Unseekable(io.RawIOBase):
    """A sink zipfile cannot seek back in: every entry gets a descriptor."""

    def __init__(self):
        self.data = bytearray()

    def writable(self):
        return True

    def write(self, b):
        self.data += b
        return len(b)


def find_archives(paths):
    found = {}
    for pattern in paths or DEFAULT_GLOBS:
        for p in sorted(glob.glob(pattern, recursive=True)):
            try:
                data = open(os.path.realpath(p), "rb").read()
                with zipfile.ZipFile(io.BytesIO(data)) as z:
                    contents = {i.filename: z.read(i) for i in z.infolist()}
            except Exception:
                continue
            found.setdefault(hashlib.sha1(data).hexdigest(), (p, data, contents))
    return list(found.values())


def streamed(contents):
    sink = Unseekable()
    with zipfile.ZipFile(sink, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in contents.items():
            z.writestr(name, data)
    return bytes(sink.data)


def zero_at(data, fraction):
    at = max(0, int(len(data) * fraction) - ZEROS // 2)
    return data[:at] + bytes(min(ZEROS, len(data) - at)) + data[at + ZEROS:]


def zero_middle(data):
    return zero_at(data, 0.5)


def read_back(path, contents, counts):
    """Counts the repaired archive's entries: intact, laundered or reported."""
    try:
        z = zipfile.ZipFile(path)
    except Exception:
        return []
    laundered = []
    with z:
        for info in z.infolist():
            if info.filename.endswith("/"):
                continue
            try:
                data = z.read(info)
            except Exception:
                counts["reported"] += 1
                continue
            if info.filename not in contents:
                counts["foreign"] += 1
            elif contents[info.filename] == data:
                counts["intact"] += 1
            else:
                counts["laundered"] += 1
                laundered.append(info.filename)
    return laundered


def cli_entries(cli, damaged, out):
    """Repairs `damaged` into `out` with tessary-cli; its JSON entries."""
    r = subprocess.run([cli, "-q", "-f", "--json", "-o", out, damaged],
                       capture_output=True, text=True)
    try:
        return json.loads(r.stdout).get("entries", [])
    except ValueError:
        return []


def run_cli(cli, damaged, out, counts):
    for e in cli_entries(cli, damaged, out):
        counts["average"] += e.get("status_word") == "Average"
        counts["central"] += any("central" in reason for reason in e.get("reasons", []))


def run_tool(tool, damaged, out, contents, counts, work, repair):
    """One tool on `damaged`: `repair()` runs tessary-cli into `out`; zip -FF
    repairs into `out`; 7-Zip extracts the damaged file itself. Returns the
    names read back with wrong content."""
    if os.path.exists(out):
        os.remove(out)
    if tool == "7z":
        return read_7z(damaged, contents, counts, work)
    if tool == "tessary":
        repair()
    else:
        subprocess.run(["zip", "-FF", damaged, "--out", out], input="y\n",
                       capture_output=True, text=True)
    return read_back(out, contents, counts)


def add_tool_args(ap):
    """The program under test and the peers to run beside it."""
    ap.add_argument("--cli", required=True)
    ap.add_argument("--zip-ff", action="store_true")
    ap.add_argument("--7z", dest="sevenzip", action="store_true")


def tools_of(args):
    return ["tessary"] + (["zip -FF"] if args.zip_ff else []) + (["7z"] if args.sevenzip else [])


def main():
    ap = argparse.ArgumentParser()
    add_tool_args(ap)
    ap.add_argument("--places", type=int, default=1)
    ap.add_argument("--work")
    ap.add_argument("archives", nargs="*")
    args = ap.parse_args()
    work = args.work or tempfile.mkdtemp(prefix="zeroed-middle-")
    os.makedirs(work, exist_ok=True)
    tools = tools_of(args)
    keys = ["archives", "entries", "intact", "laundered", "reported", "foreign", "central",
            "average"]
    table = {(kind, tool): dict.fromkeys(keys, 0)
             for kind in ("as found", "streamed") for tool in tools}
    examples = []
    try:
        for path, data, contents in find_archives(args.archives):
            places = [(k + 1) / (args.places + 1) for k in range(args.places)]
            for kind, original, at in [(kind, original, at)
                                       for kind, original in (("as found", data),
                                                              ("streamed", streamed(contents)))
                                       for at in places]:
                damaged = os.path.join(work, "damaged.zip")
                with open(damaged, "wb") as f:
                    f.write(zero_at(original, at))
                files = sum(not n.endswith("/") for n in contents)
                for tool in tools:
                    counts = table[(kind, tool)]
                    counts["archives"] += 1
                    counts["entries"] += files
                    out = os.path.join(work, "out.zip")
                    bad = run_tool(tool, damaged, out, contents, counts, work,
                                   lambda: run_cli(args.cli, damaged, out, counts))
                    examples += [(tool, kind, os.path.basename(path), n) for n in bad]
    finally:
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)
    print("| archives | tool | tried | entries | intact | laundered | reported | foreign | central "
          "| Average |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    for (kind, tool), c in table.items():
        print(f"| {kind} | {tool} | " + " | ".join(str(c[k]) for k in keys) + " |")
    for tool, kind, archive, name in examples:
        print(f"laundered by {tool} ({kind}): {archive}: {name}")
    return 0


def read_7z(damaged, contents, counts, work):
    """7-Zip extracts the damaged file itself; an entry it names in an error
    counts as reported."""
    folder = os.path.join(work, "7z")
    shutil.rmtree(folder, ignore_errors=True)
    r = subprocess.run(["7z", "x", "-y", "-o" + folder, damaged], capture_output=True, text=True)
    errors = r.stdout + r.stderr
    laundered = []
    for name, data in contents.items():
        if name.endswith("/"):
            continue
        p = os.path.join(folder, name)
        if not os.path.isfile(p):
            continue
        if re.search(r"ERROR: [A-Za-z ]+ : " + re.escape(name) + "$", errors, re.M):
            counts["reported"] += 1
        elif open(p, "rb").read() == data:
            counts["intact"] += 1
        else:
            counts["laundered"] += 1
            laundered.append(name)
    return laundered


if __name__ == "__main__":
    sys.exit(main())
