#!/usr/bin/env python3
"""Text-mode transfer damage: how many entries come back intact after every
LF of an archive became CR LF, or every CR LF became LF.

  text_mode.py --cli PATH [--zip-ff] [--7z] [--work DIR] [--archives N]

Builds archives from files this machine holds (plain text, text with CR LF
line ends, executables, already compressed files), deflated, stored and
mixed, plus real jars as found; damages each in both directions; repairs
each with tessary-cli (and, if asked, zip -FF; 7-Zip reads the damaged file
itself) and counts the entries Python's zipfile reads back with the original
name and bytes. Prints a table per direction and tool, and tessary-cli's
time per damaged megabyte.
"""
import argparse
import glob
import io
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from zeroed_middle import add_tool_args, find_archives, run_tool, tools_of  # noqa: E402

SOURCES = {
    "text": ["/usr/share/common-licenses/*", "/usr/share/doc/*/copyright"],
    "binary": ["/usr/bin/[a-f]*"],
    "compressed": ["/usr/share/doc/*/changelog*.gz"],
}


def pick(rng, kind, count):
    files = [p for pattern in SOURCES[kind] for p in glob.glob(pattern)
             if os.path.isfile(p) and 0 < os.path.getsize(p) < 4 << 20]
    return [open(p, "rb").read() for p in rng.sample(sorted(files), min(count, len(files)))]


def built_archives(rng, count):
    """(label, archive bytes, {name: content}) with mixed methods and kinds."""
    out = []
    for k in range(count):
        contents = {}
        for kind in ("text", "binary", "compressed"):
            for i, data in enumerate(pick(rng, kind, 6)):
                contents[f"{kind}/{k}-{i}"] = data
        for i, data in enumerate(pick(rng, "text", 4)):
            contents[f"dos/{k}-{i}.txt"] = data.replace(b"\n", b"\r\n")
        method = [zipfile.ZIP_DEFLATED, zipfile.ZIP_STORED, None][k % 3]
        sink = io.BytesIO()
        with zipfile.ZipFile(sink, "w") as z:
            for name, data in contents.items():
                m = method if method is not None else rng.choice(
                    [zipfile.ZIP_DEFLATED, zipfile.ZIP_STORED])
                z.writestr(name, data, compress_type=m)
        label = {zipfile.ZIP_DEFLATED: "deflated", zipfile.ZIP_STORED: "stored"}.get(method, "mixed")
        out.append((label, sink.getvalue(), contents))
    return out


DAMAGES = {
    "LF -> CR LF": lambda b: b.replace(b"\n", b"\r\n"),
    "CR LF -> LF": lambda b: b.replace(b"\r\n", b"\n"),
}


def main():
    ap = argparse.ArgumentParser()
    add_tool_args(ap)
    ap.add_argument("--archives", type=int, default=12)
    ap.add_argument("--jars", type=int, default=20)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--work")
    args = ap.parse_args()
    rng = random.Random(args.seed)
    work = args.work or tempfile.mkdtemp(prefix="text-mode-")
    os.makedirs(work, exist_ok=True)
    tools = tools_of(args)
    archives = built_archives(rng, args.archives)
    archives += [("jar", data, contents)
                 for _, data, contents in find_archives(["/usr/share/java/*.jar"])[:args.jars]]
    table, seconds, megabytes = {}, 0.0, 0.0
    try:
        for label, data, contents in archives:
            files = sum(not n.endswith("/") for n in contents)
            for damage, transfer in DAMAGES.items():
                damaged_bytes = transfer(data)
                if damaged_bytes == data:
                    continue  # no line end to change
                damaged = os.path.join(work, "damaged.zip")
                with open(damaged, "wb") as f:
                    f.write(damaged_bytes)
                for tool in tools:
                    counts = table.setdefault((damage, label, tool), dict(
                        archives=0, entries=0, intact=0, laundered=0, reported=0, foreign=0))
                    counts["archives"] += 1
                    counts["entries"] += files
                    out = os.path.join(work, "out.zip")

                    def repair():
                        nonlocal seconds, megabytes
                        start = time.perf_counter()
                        subprocess.run([args.cli, "-q", "-f", "-o", out, damaged],
                                       capture_output=True)
                        seconds += time.perf_counter() - start
                        megabytes += len(damaged_bytes) / (1 << 20)

                    run_tool(tool, damaged, out, contents, counts, work, repair)
    finally:
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)
    print("| damage | archives | tool | tried | entries | intact | wrong content | reported |")
    print("|---|---|---|---|---|---|---|---|")
    for (damage, label, tool), c in sorted(table.items()):
        print(f"| {damage} | {label} | {tool} | {c['archives']} | {c['entries']} | {c['intact']} "
              f"| {c['laundered']} | {c['reported']} |")
    if megabytes:
        print(f"tessary-cli: {megabytes:.1f} MB damaged in {seconds:.2f} s, "
              f"{1000 * seconds / megabytes:.0f} ms per MB (process start included)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
