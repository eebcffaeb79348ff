#!/usr/bin/env python3
"""Measures tessary-cli against cat, cp and zip -FF on one damaged archive.

  bench.py CLI SCRATCH [--mib 1024] [--runs 3] [--tiny-entries 1000000]

Writes the archives into SCRATCH (which the caller removes), warms the page
cache, then times each command from the cache, writing outputs into SCRATCH,
on the same disk as the input. Each command runs --runs times (zip -FF once:
it is slow) and the best time counts; peak memory is the largest maximum
resident set size that /usr/bin/time reports over the runs.
"""
import argparse
import json
import os
import subprocess
import sys
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
KIB = 1024
MIB = 1 << 20


class Result:
    def __init__(self, label, seconds, rss_kib, status):
        self.label, self.seconds, self.rss_kib, self.status = label, seconds, rss_kib, status


def make(kind, path, *args):
    out = subprocess.run([sys.executable, os.path.join(HERE, "make_archive.py"), kind, path, *args],
                         check=True, capture_output=True, text=True).stdout
    return json.loads(out)


def measure(label, cmd, runs, scratch, outputs=(), feed_yes=False):
    """Best wall time and largest max RSS of `runs` runs of `cmd`, run in `scratch`."""
    rss_file = os.path.join(scratch, ".rss")
    best, rss, status = float("inf"), 0, 0
    for _ in range(runs):
        for o in outputs:
            if os.path.exists(o):
                os.remove(o)
        os.sync()  # nothing from an earlier run is left to write back
        yes = subprocess.Popen(["yes"], stdout=subprocess.PIPE) if feed_yes else None
        start = time.perf_counter()
        p = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", rss_file] + cmd,
                           stdin=yes.stdout if yes else subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, cwd=scratch)
        elapsed = time.perf_counter() - start
        if yes:
            yes.kill()
            yes.wait()
        status = status or p.returncode
        best = min(best, elapsed)
        with open(rss_file) as f:
            lines = [l for l in f.read().split() if l.isdigit()]
        rss = max(rss, int(lines[-1]) if lines else 0)
    return Result(label, best, rss, status)


def fmt_int(n):
    return "{:,}".format(n)


def verdict(ok):
    return "met" if ok else "MISSED"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("cli")
    ap.add_argument("scratch")
    ap.add_argument("--mib", type=int, default=1024)
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--tiny-entries", type=int, default=1_000_000)
    ap.add_argument("--stages", help="tessary-stages-bench, to time the wizard's Saving stage")
    a = ap.parse_args()
    s = a.scratch
    damaged = os.path.join(s, "damaged.zip")
    repaired = os.path.join(s, "repaired.zip")
    copied = os.path.join(s, "copy.zip")
    zipped = os.path.join(s, "zipff.zip")

    t0 = time.perf_counter()
    info = make("mixed", damaged, "--mib", str(a.mib))
    size = info["bytes"]
    entries = info["entries"]
    print("Damaged archive: %s bytes (%.1f MiB), %s entries, central directory cut off" %
          (fmt_int(size), size / MIB, fmt_int(entries)))
    print("  %s over 1 MiB, %s with a data descriptor, %.0f%% of the bytes stored (random), "
          "the rest deflated; generated in %.0f s" %
          (fmt_int(info["over_1mib"]), fmt_int(info["descriptors"]),
           100.0 * info["stored_bytes"] / size, time.perf_counter() - t0))
    print("  machine: %d cores, %s; files in %s" % (os.cpu_count(), os.uname().release, s))

    for _ in range(2):  # warm the page cache
        subprocess.run(["cat", damaged], stdout=subprocess.DEVNULL, check=True)

    runs = a.runs
    cat = measure("cat FILE >/dev/null", ["cat", damaged], runs, s)
    cp = measure("cp FILE COPY", ["cp", damaged, copied], runs, s, outputs=[copied])
    scan = measure("tessary-cli --list FILE", [a.cli, "--list", "--quiet", damaged], runs, s)
    repair = measure("tessary-cli FILE -o OUT", [a.cli, "--quiet", "--force", damaged, "-o", repaired], runs,
                     s, outputs=[repaired])
    zipff = measure("yes | zip -FF FILE --out OUT", ["zip", "-FF", damaged, "--out", zipped], 1, s,
                    outputs=[zipped], feed_yes=True)
    results = [cat, cp, scan, repair, zipff]
    saving = one_pass = None
    if a.stages:
        # The engine's two ways in-process: the wizard's Saving stage (the
        # rebuild after the scan) and the single pass the command line takes.
        out = subprocess.run([a.stages, damaged, os.path.join(s, "stages.zip"), str(runs)], check=True,
                             capture_output=True, text=True).stdout.split("\n")
        saving = min(float(l.split()[4]) for l in out if l.startswith("two-stage"))
        one_pass = min(float(l.split()[1]) for l in out if l.startswith("one-pass"))

    # The repaired archive must hold every entry, readable through its new central directory.
    with zipfile.ZipFile(repaired) as z:
        listed = len(z.infolist())
    repaired_size = os.path.getsize(repaired)
    for o in (repaired, copied, zipped):
        if os.path.exists(o):
            os.remove(o)

    print()
    print("From the page cache, best of %d runs (zip -FF: 1 run); outputs on the same disk" % runs)
    print("%-30s %9s %10s %14s %5s" % ("command", "seconds", "MB/s", "max RSS KiB", "exit"))
    for r in results:
        print("%-30s %9.3f %10.0f %14s %5d" %
              (r.label, r.seconds, size / 1e6 / r.seconds, fmt_int(r.rss_kib), r.status))
    if saving is not None:
        print("%-30s %9.3f %10.0f" % ("engine: Saving stage (wizard)", saving, size / 1e6 / saving))
        print("%-30s %9.3f %10.0f" % ("engine: one pass (CLI)", one_pass, size / 1e6 / one_pass))
    print("repaired archive: %s bytes, %s entries in its central directory (%s expected)" %
          (fmt_int(repaired_size), fmt_int(listed), fmt_int(entries)))

    limit_kib = 8 * KIB + 200 * entries / KIB
    peak = max(scan.rss_kib, repair.rss_kib)
    print()
    print("Ratios against the targets")
    print("  scan / cat       %5.2fx   target <= 2.5x   %s" %
          (scan.seconds / cat.seconds, verdict(scan.seconds <= 2.5 * cat.seconds)))
    print("  scan throughput  %5.2f GB/s target >= 5 GB/s %s" %
          (size / 1e9 / scan.seconds, verdict(size / scan.seconds >= 5e9)))
    print("  repair / cp      %5.2fx   target <= 1.2x   %s" %
          (repair.seconds / cp.seconds, verdict(repair.seconds <= 1.2 * cp.seconds)))
    if saving is not None:
        print("  Saving / cp      %5.2fx   target <= 1.1x   %s" %
              (saving / cp.seconds, verdict(saving <= 1.1 * cp.seconds)))
    print("  repair / zip -FF %5.2fx   target about 0.5x  %s" %
          (repair.seconds / zipff.seconds, verdict(repair.seconds <= 0.6 * zipff.seconds)))
    print("  peak memory      %s KiB   target < 8 MiB + 200 B x %s entries = %s KiB   %s" %
          (fmt_int(peak), fmt_int(entries), fmt_int(int(limit_kib)), verdict(peak < limit_kib)))

    # Memory per entry: the same scan over many tiny entries and over a few.
    n = a.tiny_entries
    few = 1000
    many_path = os.path.join(s, "tiny-many.zip")
    few_path = os.path.join(s, "tiny-few.zip")
    make("tiny", many_path, "--entries", str(n))
    make("tiny", few_path, "--entries", str(few))
    for path in (many_path, few_path):
        subprocess.run(["cat", path], stdout=subprocess.DEVNULL, check=True)
    out = os.path.join(s, "tiny-repaired.zip")
    rows = []
    for label, args, outputs in (("scan", ["--list"], []), ("repair", ["--force", "-o", out], [out])):
        r_many = measure(label, [a.cli, "--quiet", *args, many_path], 1, s, outputs=outputs)
        r_few = measure(label, [a.cli, "--quiet", *args, few_path], 1, s, outputs=outputs)
        rows.append((label, r_many, r_few))
    print()
    print("Memory per entry: %s tiny entries (%s bytes) against %s" %
          (fmt_int(n), fmt_int(os.path.getsize(many_path)), fmt_int(few)))
    for label, r_many, r_few in rows:
        per = (r_many.rss_kib - r_few.rss_kib) * KIB / (n - few)
        limit = 8 * KIB + 200 * n / KIB
        print("  %-6s max RSS %s KiB vs %s KiB: %.0f bytes per entry; %.1fs; "
              "target < %s KiB  %s" %
              (label, fmt_int(r_many.rss_kib), fmt_int(r_few.rss_kib), per, r_many.seconds,
               fmt_int(int(limit)), verdict(r_many.rss_kib < limit)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
