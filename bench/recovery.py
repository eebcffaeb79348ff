#!/usr/bin/env python3
"""Recovery comparison: how many entries tessary-cli and zip -FF bring back
intact from damaged archives, against how many survived the damage.

  recovery.py --cli PATH [--work DIR] [--keep] [--seed N]

Builds undamaged archives of several kinds (stored, deflated, signed and
unsigned data descriptors, zip64 extra fields from a streaming writer, stored
nested archives, empty files and folders, code page 437 and UTF-8 names,
names over 300 bytes, entries over 1 MiB, headers across 1 MiB boundaries),
damages each in several ways, repairs every damaged file with both tools and
counts per damage kind:
  survived  entries whose whole local record (header, name, extra field, data,
            descriptor) still stands unchanged somewhere in the damaged file;
  intact    entries of a repaired archive that Python's zipfile reads back with
            a correct CRC, with the original name and bytes (each original
            entry counts once; entries of nested archives do not count).
Then lists every file where tessary-cli brings back fewer entries than zip -FF
or misses an entry that survived.
"""
import argparse
import collections
import hashlib
import io
import json
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

MIB = 1 << 20
STAMP = (2024, 5, 6, 7, 8, 10)
DOS_TIME, DOS_DATE = 0x3905, 0x58A6


# ---------------------------------------------------------------- contents

def text(rng, size):
    words = ["alpha", "beta", "gamma", "delta", "omega", "zeta", "kappa", "lambda", "sigma",
             "tau", "upsilon", "phi", "chi", "psi", "rho", "eta", "theta", "iota"]
    out = bytearray()
    while len(out) < size:
        out += (" ".join(rng.choices(words, k=rng.randint(3, 12))) + "\n").encode()
    return bytes(out[:size])


def content(rng, size):
    return text(rng, size) if rng.random() < 0.6 else rng.randbytes(size)


def sizes(rng, count):
    """Mostly small, a few tens of KiB, and one over 1 MiB."""
    out = [rng.choice([0, rng.randint(1, 400), rng.randint(400, 20000), rng.randint(20000, 90000)])
           for _ in range(count)]
    out[rng.randrange(count)] = rng.randint(MIB + 1, MIB + 400000)
    return out


# ---------------------------------------------------------------- writers

class Unseekable(io.RawIOBase):
    """A write-only stream: zipfile then writes data descriptors, as when streaming."""

    def __init__(self):
        self.data = bytearray()

    def writable(self):
        return True

    def write(self, b):
        self.data += b
        return len(b)


def zi(name, method):
    info = zipfile.ZipInfo(name, STAMP)
    info.compress_type = method
    if name.endswith("/"):
        info.external_attr = 0o40755 << 16 | 0x10
    return info


def with_zipfile(entries, method=zipfile.ZIP_DEFLATED, streaming=False, force_zip64=False):
    """entries: (name, data[, method])."""
    out = Unseekable() if streaming else io.BytesIO()
    with zipfile.ZipFile(out, "w") as z:
        for e in entries:
            name, data = e[0], e[1]
            m = e[2] if len(e) > 2 else method
            if streaming:
                with z.open(zi(name, m), "w", force_zip64=force_zip64) as f:
                    f.write(data)
            else:
                z.writestr(zi(name, m), data)
    return bytes(out.data) if streaming else out.getvalue()


def deflate(data):
    c = zlib.compressobj(6, zlib.DEFLATED, -15)
    return c.compress(data) + c.flush()


def custom(entries):
    """A writer for what zipfile cannot write: names in code page 437 and
    descriptors without signature. entries: dicts with name (bytes), data,
    method (0/8), utf8 (bool), descriptor (None/"signed"/"unsigned"), pad_to
    (make this entry's local header start at that offset, padding with a stored
    filler entry before it)."""
    out = bytearray()
    central = bytearray()
    count = 0

    def add(name, data, method, utf8, descriptor):
        nonlocal count
        body = deflate(data) if method == 8 else data
        crc = zlib.crc32(data)
        flags = (0x0800 if utf8 else 0) | (0x0008 if descriptor else 0)
        ext = 0x10 if name.endswith(b"/") else 0
        offset = len(out)
        local_fields = (0, 0, 0) if descriptor else (crc, len(body), len(data))
        out.extend(struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flags, method, DOS_TIME, DOS_DATE,
                               *local_fields, len(name), 0))
        out.extend(name + body)
        if descriptor == "signed":
            out.extend(struct.pack("<IIII", 0x08074B50, crc, len(body), len(data)))
        elif descriptor == "unsigned":
            out.extend(struct.pack("<III", crc, len(body), len(data)))
        central.extend(struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, flags, method,
                                   DOS_TIME, DOS_DATE, crc, len(body), len(data), len(name), 0, 0,
                                   0, 0, ext, offset))
        central.extend(name)
        count += 1

    for e in entries:
        pad_to = e.get("pad_to")
        if pad_to is not None:
            name = b"filler%d.bin" % count
            gap = pad_to - len(out) - 30 - len(name)
            if gap >= 0:
                add(name, bytes(gap), 0, False, None)
        add(e["name"], e["data"], e.get("method", 8), e.get("utf8", False), e.get("descriptor"))
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, len(central), len(out), 0)
    return bytes(out + central + end)


# ---------------------------------------------------------------- base archives

def base_archives():
    """name -> undamaged archive bytes; deterministic."""
    bases = {}

    rng = random.Random(11)
    entries = [("docs/part%02d.txt" % i, text(rng, s)) for i, s in enumerate(sizes(rng, 36))]
    entries += [("empty.txt", b""), ("folder/", b""), ("random.bin", rng.randbytes(70000))]
    bases["deflated"] = with_zipfile(entries)

    rng = random.Random(12)
    entries = [("data/file%02d.dat" % i, content(rng, s)) for i, s in enumerate(sizes(rng, 30))]
    inner = with_zipfile([("in%d.txt" % i, text(rng, 3000)) for i in range(5)])
    entries += [("nested/inner.zip", inner), ("empty", b""), ("dir/", b""), ("dir/sub/", b"")]
    rng.shuffle(entries)
    bases["stored"] = with_zipfile(entries, zipfile.ZIP_STORED)

    rng = random.Random(13)
    entries = [("stream/s%02d.log" % i, content(rng, s)) for i, s in enumerate(sizes(rng, 32))]
    bases["descriptor-signed"] = with_zipfile(entries, streaming=True)

    rng = random.Random(14)
    entries = [("z64/e%02d.txt" % i, content(rng, s)) for i, s in enumerate(sizes(rng, 32))]
    entries.append(("z64/empty", b""))
    bases["zip64-streaming"] = with_zipfile(entries, streaming=True, force_zip64=True)

    rng = random.Random(15)
    entries = [("raw/r%02d.bin" % i, content(rng, s), zipfile.ZIP_STORED)
               for i, s in enumerate(sizes(rng, 20))]
    inner = with_zipfile([("inner%d" % i, rng.randbytes(2000)) for i in range(4)],
                         zipfile.ZIP_STORED)
    entries.insert(7, ("raw/inner.zip", inner, zipfile.ZIP_STORED))
    bases["descriptor-stored"] = with_zipfile(entries, streaming=True)

    rng = random.Random(16)
    entries = [dict(name=b"u/%02d.txt" % i, data=content(rng, s), method=rng.choice([0, 8]),
                    descriptor="unsigned") for i, s in enumerate(sizes(rng, 32))]
    bases["descriptor-unsigned"] = custom(entries)

    rng = random.Random(17)
    entries = [dict(name=b"m/%02d.txt" % i, data=content(rng, s), method=rng.choice([0, 8]),
                    descriptor=rng.choice([None, "signed", "unsigned"]))
               for i, s in enumerate(sizes(rng, 36))]
    bases["descriptor-mixed"] = custom(entries)

    rng = random.Random(18)
    cp437 = ["Übersicht.txt", "café/menü.txt", "résumé.doc", "naïve façade.txt", "Größe.dat",
             "½ price.txt", "╔═╗ box.txt", "año.txt"]
    utf8 = ["日本語/ファイル.txt", "Ελληνικά.txt", "русский/файл.txt", "emoji 😀.txt",
            "中文名称.dat", "ąęśćż.txt"]
    long_names = ["long/" + "/".join("segment%02d-" % k + "x" * 20 for k in range(12)) + ".txt",
                  "L" * 310 + ".bin", "deep/" + "d" * 200 + "/" + "e" * 200]
    entries = []
    for n in cp437:
        entries.append(dict(name=n.encode("cp437"), data=content(rng, rng.randint(0, 30000))))
    for n in utf8:
        entries.append(dict(name=n.encode("utf-8"), data=content(rng, rng.randint(0, 30000)),
                            utf8=True))
    for n in long_names:
        entries.append(dict(name=n.encode(), data=content(rng, rng.randint(1, 30000)),
                            descriptor=rng.choice([None, "signed"])))
    entries += [dict(name=b"empty-file", data=b""), dict(name=b"empty-dir/", data=b"", method=0),
                dict(name=b"empty-dir/sub/", data=b"", method=0),
                dict(name=b"big.bin", data=rng.randbytes(MIB + 5000), method=0)]
    rng.shuffle(entries)
    bases["names"] = custom(entries)

    rng = random.Random(19)
    entries = []
    for i in range(4):
        inner = with_zipfile([("n%d/%d.txt" % (i, k), text(rng, rng.randint(100, 9000)))
                              for k in range(6)], zipfile.ZIP_STORED if i % 2 else
                             zipfile.ZIP_DEFLATED)
        entries.append(("nest/level%d.zip" % i, inner, zipfile.ZIP_STORED))
        entries.append(("nest/after%d.txt" % i, text(rng, rng.randint(100, 40000)),
                        zipfile.ZIP_DEFLATED))
    twice = with_zipfile([("outer.zip", with_zipfile([("deep.txt", b"deep" * 100)],
                                                     zipfile.ZIP_STORED))], zipfile.ZIP_STORED)
    entries.append(("nest/twice.zip", twice, zipfile.ZIP_STORED))
    entries.append(("nest/big.bin", rng.randbytes(MIB + 100), zipfile.ZIP_STORED))
    bases["nested"] = with_zipfile(entries)

    # Local headers and descriptors across the 1 MiB marks a scan reads by.
    rng = random.Random(20)
    entries = []
    for k, (kind, desc) in enumerate([(-10, None), (-3, "signed"), (-20, "unsigned"),
                                      (-1, "signed"), (-29, None)]):
        mark = (k + 1) * MIB
        entries.append(dict(name=b"b/%d.bin" % k, data=rng.randbytes(rng.randint(0, 5000)),
                            method=0, descriptor=desc, pad_to=mark + kind))
    entries.append(dict(name=b"b/last.txt", data=text(rng, 5000), descriptor="unsigned"))
    bases["boundaries"] = custom(entries)
    return bases


# ---------------------------------------------------------------- damage

def central_offset(archive):
    with zipfile.ZipFile(io.BytesIO(archive)) as z:
        return z.start_dir


def damages(archive, cd, rng):
    """(kind, label, damaged bytes) for one archive; cd is where its central directory starts."""
    out = [("undamaged", "as written", archive)]
    for share in (0.3, 0.6, 0.9):
        at = int(cd * share)
        out.append(("truncated", "at %d%%" % (share * 100), archive[:at]))
    headers = [m.start() for m in re.finditer(b"PK\x03\x04", archive[:cd])]
    mid = headers[len(headers) // 2] if headers else cd // 2
    out.append(("truncated", "inside a header", archive[:mid + 17]))
    out.append(("cd-cut", "central directory cut off", archive[:cd]))
    for n in range(2):
        at, size = rng.randrange(0, cd), rng.choice([512, 4096, 20000])
        out.append(("zeroed", "%d bytes at %d" % (size, at),
                    archive[:at] + bytes(min(size, len(archive) - at)) + archive[at + size:]))
        at, size = rng.randrange(0, cd), rng.choice([100, 2048, 9000])
        out.append(("overwritten", "%d bytes at %d" % (size, at),
                    archive[:at] + rng.randbytes(min(size, len(archive) - at)) +
                    archive[at + size:]))
    out.append(("sfx-prefix", "self-extractor stub with stray signatures", sfx_stub(rng) + archive))
    for n in range(2):
        at, size = rng.randrange(0, cd), rng.choice([1, 333, 5000])
        out.append(("chunk-deleted", "%d bytes at %d" % (size, at), archive[:at] + archive[at + size:]))
        at, size = rng.randrange(0, cd), rng.choice([1, 333, 5000])
        out.append(("chunk-inserted", "%d bytes at %d" % (size, at),
                    archive[:at] + rng.randbytes(size) + archive[at:]))
    for n in range(2):
        b = bytearray(archive)
        flips = rng.choice([1, 4, 16])
        for _ in range(flips):
            b[rng.randrange(0, cd)] ^= 1 << rng.randrange(8)
        out.append(("flipped", "%d bits" % flips, bytes(b)))
    # One flipped bit in a length field of one local header: the damage that
    # can hide every entry the wrong length spans.
    for field, offset, bit in (("name length", 27, 0x80), ("extra length", 29, 0x40),
                               ("compressed size", 21, 0x01)):
        if not headers:
            break
        h = headers[rng.randrange(len(headers))]
        b = bytearray(archive)
        b[h + offset] ^= bit
        out.append(("flipped", "%s of the header at %d" % (field, h), bytes(b)))
    return out


def sfx_stub(rng):
    """Program bytes in front of an archive, holding stray local header
    signatures as a self-extractor's code and data do: one followed by random
    bytes, one followed by fields that look possible but lengths that are not."""
    stub = bytearray(b"MZ" + rng.randbytes(30000))
    stub[4000:4004] = b"PK\x03\x04"
    plausible = b"PK\x03\x04" + struct.pack("<HHHHHIIIHH", 20, 0, 8, 0, 0, rng.getrandbits(32),
                                            rng.getrandbits(32), rng.getrandbits(32),
                                            rng.getrandbits(16), rng.getrandbits(16))
    stub[20000:20000 + len(plausible)] = plausible
    stub[25000:25004] = b"PK\x03\x04"
    stub[25004:25010] = b"\x0a\x00\x00\x00\x00\x00"  # version 1.0, stored
    return bytes(stub)


# ---------------------------------------------------------------- counting

def originals(archive):
    """The original entries: name, content digest, and the bytes of the whole
    local record (header to the next header or the central directory)."""
    out = []
    with zipfile.ZipFile(io.BytesIO(archive)) as z:
        infos = sorted(z.infolist(), key=lambda i: i.header_offset)
        ends = [i.header_offset for i in infos[1:]] + [z.start_dir]
        for info, end in zip(infos, ends):
            data = z.read(info)
            out.append((info.filename, hashlib.sha1(data).digest(),
                        archive[info.header_offset:end]))
    return out


def intact_entries(path):
    """Multiset of (name, digest) that zipfile reads back with a correct CRC."""
    found = collections.Counter()
    if not os.path.exists(path):
        return found
    try:
        z = zipfile.ZipFile(path)
    except Exception:
        return found
    with z:
        for info in z.infolist():
            try:
                data = z.read(info)
            except Exception:
                continue
            found[(info.filename, hashlib.sha1(data).digest())] += 1
    return found


def foreign_entries(orig, path):
    """Entries of a repaired archive whose names the original does not hold
    (as often as it holds them): headers taken from inside other entries."""
    try:
        with zipfile.ZipFile(path) as z:
            names = collections.Counter(info.filename for info in z.infolist())
    except Exception:
        return 0
    names.subtract(collections.Counter(name for name, _, _ in orig))
    return sum(n for n in names.values() if n > 0)


def count_matches(orig, found):
    left = collections.Counter(found)
    hits = []
    for name, digest, _ in orig:
        key = (name, digest)
        if left[key] > 0:
            left[key] -= 1
            hits.append(True)
        else:
            hits.append(False)
    return hits


def run_tessary(cli, damaged, out, reasons):
    """Repairs `damaged` and counts the reasons its JSON gives per entry, with
    offsets left out so that alike reasons count together."""
    r = subprocess.run([cli, "--quiet", "--force", "--json", damaged, "-o", out],
                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=120, text=True)
    try:
        doc = json.loads(r.stdout)
    except ValueError:
        return
    for entry in doc.get("entries", []):
        for reason in entry.get("reasons", []):
            reasons[re.sub(r"0x[0-9a-f]+", "0x...", reason)] += 1


def run_zipff(damaged, out, cwd):
    yes = subprocess.Popen(["yes"], stdout=subprocess.PIPE)
    try:
        subprocess.run(["zip", "-FF", damaged, "--out", out], stdin=yes.stdout,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120, cwd=cwd)
    except subprocess.TimeoutExpired:
        pass
    finally:
        yes.kill()
        yes.wait()


def print_reasons(reasons):
    """The reasons tessary-cli gave for its entries, counted per kind of damage."""
    total = collections.Counter()
    for counter in reasons.values():
        total.update(counter)
    kinds = [k for k in reasons if reasons[k]]
    print("Reasons tessary-cli gave, entries per damage kind:")
    print("%-8s %s  %s" % ("all", " ".join("%9s" % k[:9] for k in kinds), "reason"))
    for reason, count in total.most_common():
        print("%-8d %s  %s" % (count, " ".join("%9d" % reasons[k][reason] for k in kinds), reason))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", required=True)
    ap.add_argument("--work", help="folder for the corpus (default: a temporary one)")
    ap.add_argument("--keep", action="store_true", help="keep the corpus and repaired archives")
    ap.add_argument("--seed", type=int, default=0, help="another seed gives other damage")
    a = ap.parse_args()
    work = a.work or tempfile.mkdtemp(prefix="tessary-recovery.")
    os.makedirs(work, exist_ok=True)

    kinds = collections.OrderedDict()
    reasons = collections.defaultdict(collections.Counter)
    problems = []
    files = 0
    try:
        bases = base_archives()
        for base_name, archive in bases.items():
            orig = originals(archive)
            cd = central_offset(archive)
            rng = random.Random("%s/%d" % (base_name, a.seed))
            for n, (kind, label, damaged) in enumerate(damages(archive, cd, rng)):
                files += 1
                stem = "%s-%s-%02d" % (base_name, kind, n)
                path = os.path.join(work, stem + ".zip")
                with open(path, "wb") as f:
                    f.write(damaged)
                t_out = os.path.join(work, stem + ".tessary.zip")
                z_out = os.path.join(work, stem + ".zipff.zip")
                run_tessary(a.cli, path, t_out, reasons[kind])
                run_zipff(path, z_out, work)
                survived = [damaged.find(rec) >= 0 for _, _, rec in orig]
                t_hits = count_matches(orig, intact_entries(t_out))
                z_hits = count_matches(orig, intact_entries(z_out))
                row = kinds.setdefault(kind, collections.Counter())
                row["files"] += 1
                row["entries"] += len(orig)
                row["survived"] += sum(survived)
                row["tessary"] += sum(t_hits)
                row["zipff"] += sum(z_hits)
                row["foreign"] += foreign_entries(orig, t_out)
                missed = [orig[i][0] for i in range(len(orig)) if survived[i] and not t_hits[i]]
                behind = [orig[i][0] for i in range(len(orig)) if z_hits[i] and not t_hits[i]]
                row["below_survived"] += 1 if missed else 0
                row["below_zipff"] += 1 if sum(t_hits) < sum(z_hits) else 0
                if missed or sum(t_hits) < sum(z_hits):
                    problems.append((stem + ".zip", label, len(orig), sum(survived), sum(t_hits),
                                     sum(z_hits), missed, behind))
                if not a.keep:
                    for p in (path, t_out, z_out):
                        if os.path.exists(p):
                            os.remove(p)
    finally:
        if not a.keep and not a.work:
            shutil.rmtree(work, ignore_errors=True)

    print("Recovery on %d damaged archives made from %d undamaged ones" % (files, len(bases)))
    header = "%-15s %5s %8s %9s %16s %16s %8s %8s %9s" % (
        "damage", "files", "entries", "survived", "tessary intact", "zip -FF intact",
        "t<surv", "t<zipff", "t foreign")
    print(header)
    print("-" * len(header))
    total = collections.Counter()
    for kind, row in kinds.items():
        total.update(row)
        print_row(kind, row)
    print("-" * len(header))
    print_row("all", total)
    print("t<surv: files where tessary-cli misses an entry that survived; "
          "t<zipff: files where it brings back fewer than zip -FF; "
          "t foreign: entries it wrote that the original archive does not hold.")
    print()
    print_reasons(reasons)
    print()
    if not problems:
        print("tessary-cli brought back every surviving entry and never fewer than zip -FF.")
    for stem, label, n, surv, t, z, missed, behind in problems:
        print("%s (%s): %d entries, %d survived, tessary %d, zip -FF %d" %
              (stem, label, n, surv, t, z))
        if missed:
            print("  survived but not brought back: %s" % ", ".join(short(m) for m in missed[:8]))
        if behind:
            print("  zip -FF only: %s" % ", ".join(short(m) for m in behind[:8]))
    if a.keep:
        print("Corpus and repaired archives kept in %s" % work)
    return 0


def short(name):
    return name if len(name) <= 40 else name[:37] + "..."


def pct(part, whole):
    return 100.0 * part / whole if whole else 0.0


def print_row(kind, row):
    print("%-15s %5d %8d %9d %9d %5.1f%% %9d %5.1f%% %8d %8d %9d" % (
        kind, row["files"], row["entries"], row["survived"], row["tessary"],
        pct(row["tessary"], row["survived"]), row["zipff"], pct(row["zipff"], row["survived"]),
        row["below_survived"], row["below_zipff"], row["foreign"]))


if __name__ == "__main__":
    sys.exit(main())
