#!/usr/bin/env python3
"""Writes the fuzz target's seed inputs into fuzz/corpus/.

Each seed is three control bytes (read buffer size, when to answer "stop",
output failure or entry limit; see arcsalve_fuzzer.cpp) followed by a tiny
archive of one kind the engine must handle: stored, deflated, with signed and
unsigned data descriptors, with zip64 extra fields from a streaming writer,
without its central directory, nested, with empty files and folders, with
a local header zeroed.
The output is deterministic, so rerunning this script changes nothing.
The files named found-* in fuzz/corpus/ come from fuzzing runs instead: a few
inputs that reach code the seeds above do not, kept so short runs start there.
"""
import io
import os
import struct
import sys
import zipfile
import zlib

STAMP = (2020, 1, 2, 3, 4, 6)


class Unseekable(io.RawIOBase):
    """A write-only stream, so zipfile writes data descriptors (streaming mode)."""

    def __init__(self):
        self.data = bytearray()

    def writable(self):
        return True

    def write(self, b):
        self.data += b
        return len(b)


def info(name, method):
    zi = zipfile.ZipInfo(name, STAMP)
    zi.compress_type = method
    return zi


def archive(entries, method=zipfile.ZIP_DEFLATED):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as zf:
        for name, data in entries:
            zf.writestr(info(name, method), data)
    return buf.getvalue()


def streamed(entries, force_zip64=False):
    out = Unseekable()
    with zipfile.ZipFile(out, "w") as zf:
        for name, data in entries:
            with zf.open(info(name, zipfile.ZIP_DEFLATED), "w", force_zip64=force_zip64) as f:
                f.write(data)
    return bytes(out.data)


def unsigned_descriptors(entries):
    """Deflated entries with flag bit 3 and 12-byte descriptors without signature."""
    out = bytearray()
    central = bytearray()
    for name, data in entries:
        raw = name.encode()
        comp = zlib.compressobj(6, zlib.DEFLATED, -15)
        body = comp.compress(data) + comp.flush()
        crc = zlib.crc32(data)
        offset = len(out)
        out += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 8, 8, 0, 0, 0, 0, 0, len(raw), 0)
        out += raw + body + struct.pack("<III", crc, len(body), len(data))
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 8, 8, 0, 0, crc,
                               len(body), len(data), len(raw), 0, 0, 0, 0, 0, offset)
        central += raw
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(central),
                      len(out), 0)
    return bytes(out + central + end)


def cut_central_directory(zip_bytes):
    return zip_bytes[:zip_bytes.find(b"PK\x01\x02")]


def zero_first_header(zip_bytes, name_length):
    """The archive with its first local header (fixed part and name) zeroed."""
    return bytes(30 + name_length) + zip_bytes[30 + name_length:]


def main():
    corpus = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
    os.makedirs(corpus, exist_ok=True)
    text = b"the quick brown fox jumps over the lazy dog\n" * 3
    two = [("a.txt", text), ("dir/b.bin", bytes(range(40)))]
    inner = archive([("inner.txt", b"inner data")], zipfile.ZIP_STORED)

    # name -> (control bytes, archive)
    seeds = {
        "stored": (b"\x07\x00\x00", archive(two, zipfile.ZIP_STORED)),
        "deflated": (b"\xff\x00\x00", archive(two)),
        "deflated-buffer1": (b"\x00\x00\x00", archive(two)),
        "descriptor-signed": (b"\x0f\x00\x00", streamed(two)),
        "descriptor-unsigned": (b"\x1f\x00\x00", unsigned_descriptors(two)),
        "zip64-extra": (b"\x1e\x00\x00", streamed(two, force_zip64=True)),
        "no-central-directory": (b"\x20\x00\x00", cut_central_directory(streamed(two))),
        "truncated": (b"\x05\x00\x00", archive(two, zipfile.ZIP_STORED)[:100]),
        "nested-stored": (b"\x11\x00\x00", archive([("inner.zip", inner)], zipfile.ZIP_STORED)),
        "empty-file-and-folder": (b"\x03\x00\x00",
                                  archive([("folder/", b""), ("empty", b"")], zipfile.ZIP_STORED)),
        "stop-in-scan": (b"\x02\x03\x00", archive(two)),
        "stop-in-rebuild": (b"\xff\x80\x00", archive(two, zipfile.ZIP_STORED)),
        "write-fails": (b"\xff\x00\x05", archive(two)),
        "entry-limit": (b"\x09\x00\x80", streamed(two)),
        "zeroed-header": (b"\x0b\x00\x00", zero_first_header(archive(two), len("a.txt"))),
    }
    for name, (control, data) in seeds.items():
        with open(os.path.join(corpus, name), "wb") as f:
            f.write(control + data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
