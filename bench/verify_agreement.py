#!/usr/bin/env python3
"""How well tessary-cli --verify predicts what a reader gets: repairs every
damaged archive of the recovery benchmark with --verify --json, then reads
every entry of the repaired archive with Python's zipfile. An entry zipfile
reads with a correct CRC must be "ok"; one it fails on must not be. Prints
the counts and every disagreement.

  verify_agreement.py --cli PATH [--seed N]
"""
import argparse
import hashlib
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import recovery  # noqa: E402  the benchmark's archives and damage


def zipfile_reads(path, digests):
    """One bool per entry of the repaired archive, in its order: read whole
    with a correct CRC and, for an entry named as an original one, with that
    entry's content (a header claiming size 0 reads "correctly" as empty)."""
    out = []
    with zipfile.ZipFile(path) as z:
        for info in z.infolist():
            try:
                data = z.read(info)
            except Exception:
                out.append(False)
                continue
            name = info.filename
            out.append(name not in digests or hashlib.sha1(data).digest() in digests[name])
    return out


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", required=True)
    ap.add_argument("--seed", type=int, default=0)
    a = ap.parse_args()
    work = tempfile.mkdtemp(prefix="tessary-verify.")
    counts = {"files": 0, "entries": 0, "ok_read": 0, "failed_unread": 0, "disagree": 0}
    outcomes = {}
    disagreements = []
    try:
        for base_name, archive in recovery.base_archives().items():
            cd = recovery.central_offset(archive)
            digests = {}
            for name, digest, _ in recovery.originals(archive):
                digests.setdefault(name, set()).add(digest)
            rng = random.Random("%s/%d" % (base_name, a.seed))
            for n, (kind, label, damaged) in enumerate(recovery.damages(archive, cd, rng)):
                stem = "%s-%s-%02d" % (base_name, kind, n)
                path = os.path.join(work, "damaged.zip")
                out = os.path.join(work, "repaired.zip")
                with open(path, "wb") as f:
                    f.write(damaged)
                if os.path.exists(out):
                    os.remove(out)
                run = subprocess.run([a.cli, "--verify", "--json", "--force", path, "-o", out],
                                     capture_output=True, timeout=300)
                if not os.path.exists(out):
                    continue
                counts["files"] += 1
                entries = json.loads(run.stdout)["entries"]
                reads = zipfile_reads(out, digests)
                if len(reads) != len(entries):
                    disagreements.append((stem, label, "entry counts differ: %d listed, %d read"
                                          % (len(entries), len(reads))))
                    continue
                for e, read in zip(entries, reads):
                    outcome = e["check"]["outcome"]
                    outcomes[outcome] = outcomes.get(outcome, 0) + 1
                    counts["entries"] += 1
                    if read and outcome == "ok":
                        counts["ok_read"] += 1
                    elif not read and outcome != "ok":
                        counts["failed_unread"] += 1
                    else:
                        counts["disagree"] += 1
                        disagreements.append((stem, label, "%s: zipfile %s, check %s" % (
                            recovery.short(e["name"].encode()), "reads it" if read else "fails",
                            json.dumps(e["check"]))))
    finally:
        shutil.rmtree(work, ignore_errors=True)

    print("--verify against zipfile on %d repaired archives, %d entries" %
          (counts["files"], counts["entries"]))
    print("  zipfile reads, check ok:        %6d" % counts["ok_read"])
    print("  zipfile fails, check not ok:    %6d" % counts["failed_unread"])
    print("  disagreements:                  %6d" % counts["disagree"])
    print("  outcomes: " + ", ".join("%s %d" % kv for kv in sorted(outcomes.items())))
    for stem, label, what in disagreements:
        print("  %s (%s): %s" % (stem, label, what))
    return 1 if disagreements else 0


if __name__ == "__main__":
    sys.exit(main())
