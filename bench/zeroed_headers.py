#!/usr/bin/env python3
"""Zeroed local headers: the local header (its 30 fixed bytes and its name,
not its extra field or data) of every third entry overwritten with zeros,
the central directory left intact. Each damaged archive is repaired by
tessary-cli and every entry of the result read back with Python's zipfile.

  zeroed_headers.py --cli PATH [--zip-ff] [--7z] [--work DIR] [ARCHIVE ...]

The archives are the jars this machine holds (or those named) and a few
built here from one tree of files: by zipfile, stored, deflated and streamed
(every entry behind a data descriptor), and by Info-ZIP zip, stored,
deflated and written to a pipe (descriptors, and local extra fields that
differ from the central ones). Counts per kind, files only (folders have no
data to compare):
  files      files in the original archives;
  zeroed     of them, those whose local header was zeroed;
  intact     files that read back with the original's name and bytes;
  laundered  files that read back without an error but with other bytes;
  reported   files whose damage a reader reports;
  foreign    entries that read back but are none of the original's;
  rebuilt    entries the repair made from a central header (its reasons say
             so; tessary only).
With --zip-ff and --7z the same damaged files go through `zip -FF` and
`7z x` as well, counted the same way.
"""
import argparse
import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

from zeroed_middle import (Unseekable, add_tool_args, cli_entries, find_archives, run_tool,
                           tools_of)

JARS = ["/usr/share/java/*.jar"]


def zero_headers(data, every=3):
    """The archive with the local headers of entries 0, 3, 6, ... zeroed;
    and how many files lost theirs."""
    out = bytearray(data)
    zeroed = 0
    with zipfile.ZipFile(io.BytesIO(data)) as z:
        infos = sorted(z.infolist(), key=lambda i: i.header_offset)
    for k, info in enumerate(infos):
        if k % every:
            continue
        at = info.header_offset
        name_length = struct.unpack_from("<H", data, at + 26)[0]
        out[at:at + 30 + name_length] = bytes(30 + name_length)
        zeroed += not info.filename.endswith("/")
    return bytes(out), zeroed


def tree_files():
    """Files of all sizes, text and not, a few empty, in folders."""
    files = {}
    for i in range(30):
        folder = ("src/", "docs/", "data/bin/")[i % 3]
        if i % 7 == 0:
            body = b""
        elif i % 2:
            body = (f"line {i} of some text that compresses well\n" * (i * 40)).encode()
        else:
            body = os.urandom(500 * i + 17)
        files[f"{folder}file{i:02d}.{'txt' if i % 2 else 'bin'}"] = body
    return files


def built_archives(work):
    """(kind, bytes, contents) for archives made here."""
    files = tree_files()
    made = []
    for kind, method in (("zipfile stored", zipfile.ZIP_STORED),
                         ("zipfile deflated", zipfile.ZIP_DEFLATED)):
        buf = io.BytesIO()
        with zipfile.ZipFile(buf, "w", method) as z:
            for name, body in files.items():
                z.writestr(name, body)
        made.append((kind, buf.getvalue()))
    sink = Unseekable()
    with zipfile.ZipFile(sink, "w", zipfile.ZIP_DEFLATED) as z:
        for name, body in files.items():
            z.writestr(name, body)
    made.append(("zipfile streamed", bytes(sink.data)))
    if shutil.which("zip"):
        tree = os.path.join(work, "tree")
        shutil.rmtree(tree, ignore_errors=True)
        for name, body in files.items():
            os.makedirs(os.path.dirname(os.path.join(tree, name)), exist_ok=True)
            with open(os.path.join(tree, name), "wb") as f:
                f.write(body)
        for kind, flags in (("zip -0", ["-0"]), ("zip -9", ["-9"])):
            out = os.path.join(work, "built.zip")
            if os.path.exists(out):
                os.remove(out)
            subprocess.run(["zip", "-q", "-r", *flags, out, "."], cwd=tree, check=True)
            made.append((kind, open(out, "rb").read()))
        piped = subprocess.run("zip -q -r - . | cat", shell=True, cwd=tree, check=True,
                               capture_output=True).stdout
        made.append(("zip piped", piped))
    result = []
    for kind, data in made:
        with zipfile.ZipFile(io.BytesIO(data)) as z:
            contents = {i.filename: z.read(i) for i in z.infolist()}
        result.append((kind, data, contents))
    return result


def run_cli(cli, damaged, out, counts):
    for e in cli_entries(cli, damaged, out):
        counts["rebuilt"] += any("rebuilt from central header" in reason
                                 for reason in e.get("reasons", []))


def main():
    ap = argparse.ArgumentParser()
    add_tool_args(ap)
    ap.add_argument("--work")
    ap.add_argument("archives", nargs="*")
    args = ap.parse_args()
    work = args.work or tempfile.mkdtemp(prefix="zeroed-headers-")
    os.makedirs(work, exist_ok=True)
    tools = tools_of(args)
    keys = ["archives", "files", "zeroed", "intact", "laundered", "reported", "foreign", "rebuilt"]
    table = {}
    try:
        archives = [("jar", data, contents)
                    for _, data, contents in find_archives(args.archives or JARS)]
        archives += built_archives(work)
        for kind, original, contents in archives:
            damaged_bytes, zeroed = zero_headers(original)
            damaged = os.path.join(work, "damaged.zip")
            with open(damaged, "wb") as f:
                f.write(damaged_bytes)
            files = sum(not n.endswith("/") for n in contents)
            for tool in tools:
                counts = table.setdefault((kind, tool), dict.fromkeys(keys, 0))
                counts["archives"] += 1
                counts["files"] += files
                counts["zeroed"] += zeroed
                out = os.path.join(work, "out.zip")
                run_tool(tool, damaged, out, contents, counts, work,
                         lambda: run_cli(args.cli, damaged, out, counts))
    finally:
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)
    print("| archives | tool | " + " | ".join(keys) + " |")
    print("|---" * (len(keys) + 2) + "|")
    for (kind, tool), c in table.items():
        print(f"| {kind} | {tool} | " + " | ".join(str(c[k]) for k in keys) + " |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
