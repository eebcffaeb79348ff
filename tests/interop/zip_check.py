#!/usr/bin/env python3
"""Python's zipfile as a ZIP reader and writer for the interoperability tests.

  zip_check.py check JOBFILE   reads every archive named in JOBFILE (a path, a
                               tab and the password of its encrypted entries,
                               one archive a line) and prints one line per entry:
      A <archive> OPEN                         the archive opened
      A <archive> BAD <reason>                 zipfile refused the archive
      E <archive> <index> OK <crc> <size> <isdir> <namehex>
      E <archive> <index> FAIL 0 0 <isdir> <namehex> <reason>
  zip_check.py make PLANFILE   writes an archive from a JSON description:
      {"output": PATH, "streaming": BOOL,
       "entries": [{"name": TEXT, "data": PATH or absent, "deflate": BOOL,
                    "zip64": BOOL, "cp437": BOOL}],
       "many": {"count": N, "prefix": TEXT}}   (tiny stored entries)
    "streaming" writes through an unseekable stream, as a writer on a pipe
    does: every entry gets flag bit 3 and a signed data descriptor. "cp437"
    stores the name in code page 437 without the UTF-8 flag and adds an
    Info-ZIP Unicode Path extra field with its UTF-8 form, as DOS and Windows
    writers do.
"""
import io
import json
import struct
import sys
import zipfile
import zlib


class Cp437Info(zipfile.ZipInfo):
    """An entry whose name is stored in code page 437, without the UTF-8 flag."""

    def _encodeFilenameFlags(self):
        return self.filename.encode("cp437"), self.flag_bits & ~0x800


def unicode_path_extra(name):
    raw = name.encode("cp437")
    utf8 = name.encode("utf-8")
    body = struct.pack("<BI", 1, zlib.crc32(raw) & 0xFFFFFFFF) + utf8
    return struct.pack("<HH", 0x7075, len(body)) + body


def entry_line(archive, index, ok, crc, size, isdir, name, reason=""):
    namehex = name.encode("utf-8", "surrogateescape").hex()
    status = "OK" if ok else "FAIL"
    reason = " ".join(str(reason).split())
    return "E %d %d %s %08x %d %d %s %s" % (archive, index, status, crc, size, int(isdir), namehex,
                                           reason)


def check(jobfile):
    with open(jobfile, encoding="utf-8") as f:
        jobs = [line.rstrip("\n").split("\t") + [""] for line in f if line.strip()]
    out = []
    for a, (path, password, *_) in enumerate(jobs):
        try:
            zf = zipfile.ZipFile(path)
            if password:
                zf.setpassword(password.encode("utf-8"))
        except Exception as e:  # any refusal counts, whatever its class
            out.append("A %d BAD %s: %s" % (a, type(e).__name__, " ".join(str(e).split())))
            continue
        out.append("A %d OPEN" % a)
        with zf:
            for i, info in enumerate(zf.infolist()):
                try:
                    data = zf.read(info)
                    out.append(entry_line(a, i, True, zlib.crc32(data) & 0xFFFFFFFF, len(data),
                                          info.is_dir(), info.filename))
                except Exception as e:
                    out.append(entry_line(a, i, False, 0, 0, info.is_dir(), info.filename,
                                          "%s: %s" % (type(e).__name__, e)))
    sys.stdout.write("\n".join(out) + ("\n" if out else ""))


class Unseekable(io.RawIOBase):
    """A write-only stream that cannot tell or seek, like a pipe."""

    def __init__(self, target):
        super().__init__()
        self.target = target

    def writable(self):
        return True

    def write(self, b):
        return self.target.write(b)


def make(planfile):
    with open(planfile, encoding="utf-8") as f:
        plan = json.load(f)
    with open(plan["output"], "wb") as raw:
        target = Unseekable(raw) if plan.get("streaming") else raw
        with zipfile.ZipFile(target, "w") as zf:
            for e in plan.get("entries", []):
                data = b""
                if e.get("data"):
                    with open(e["data"], "rb") as d:
                        data = d.read()
                kind = Cp437Info if e.get("cp437") else zipfile.ZipInfo
                info = kind(e["name"], date_time=(2025, 1, 1, 12, 0, 0))
                if e.get("cp437"):
                    info.extra = unicode_path_extra(e["name"])
                info.compress_type = zipfile.ZIP_DEFLATED if e.get("deflate") else zipfile.ZIP_STORED
                if e["name"].endswith("/"):
                    info.external_attr = 0o40755 << 16 | 0x10
                with zf.open(info, "w", force_zip64=bool(e.get("zip64"))) as w:
                    w.write(data)
            many = plan.get("many")
            if many:
                for i in range(many["count"]):
                    name = "%s%06d.txt" % (many["prefix"], i)
                    zf.writestr(zipfile.ZipInfo(name, date_time=(2025, 1, 1, 12, 0, 0)),
                                b"%d\n" % i)


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("check", "make"):
        sys.exit(__doc__)
    (check if sys.argv[1] == "check" else make)(sys.argv[2])
