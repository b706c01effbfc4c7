#!/usr/bin/env python3
"""Writes the fuzz seeds of member names that are not plain ASCII into
tests/fuzz/corpus/{open_archive,extract}: bit-11 names that are not UTF-8
(overlong slashes and dots, a surrogate, a cut sequence), a code page 437
name that grows past 260 bytes when converted, and Info-ZIP Unicode Path
fields (0x7075) that are right, have a wrong CRC, are too short or run past
their extra field. Stored members, written byte by byte."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
CORPORA = [os.path.join(HERE, "..", "..", "fuzz", "corpus", t) for t in ("open_archive", "extract")]


def archive(members):
    """members: (name bytes, flags, central extra, made by) tuples."""
    out = b""
    central = b""
    for name, flags, extra, made_by in members:
        data = b"data of " + name
        crc = zlib.crc32(data)
        offset = len(out)
        out += struct.pack("<IHHHHHIIIHH", 0x04034B50, 10, flags, 0, 0, 0x5021, crc, len(data), len(data),
                           len(name), 0) + name + data
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, made_by, 10, flags, 0, 0, 0x5021, crc,
                               len(data), len(data), len(name), len(extra), 0, 0, 0, 0, offset) + name + extra
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(members), len(members), len(central), len(out), 0)
    return out + central + end


def unicode_path(header, utf8, version=1, crc_flip=0, size=None):
    body = bytes([version]) + struct.pack("<I", zlib.crc32(header) ^ crc_flip) + utf8
    return struct.pack("<HH", 0x7075, len(body) if size is None else size) + body


SEEDS = {
    "names-bit11-not-utf8.zip": [
        (b"..\xc0\xaf..\xc0\xafescape.txt", 0x800, b"", 20),
        (b"\xc0\xae\xc0\xae/up.txt", 0x800, b"", 20),
        (b"\xed\xa0\x80.txt", 0x800, b"", 20),
        (b"cut\xe6\x97", 0x800, b"", 20),
        (b"\xf4\x90\x80\x80.txt", 0x800, b"", 20),
    ],
    "names-cp437-grows-past-260.zip": [(b"\xdb" * 200, 0, b"", 20), (b"kept.txt", 0, b"", 20)],
    "names-unix-utf8-bytes.zip": [("日本語/привет.txt".encode(), 0, b"", 0x031E)],
    "names-unicode-path-fields.zip": [
        (b"good.txt", 0, unicode_path(b"good.txt", "καλημέρα.txt".encode()), 20),
        (b"crc.txt", 0, unicode_path(b"crc.txt", "../evil.txt".encode(), crc_flip=1), 20),
        (b"version.txt", 0, unicode_path(b"version.txt", "v.txt".encode(), version=2), 20),
        (b"short.txt", 0, struct.pack("<HH", 0x7075, 3) + b"\x01\x00\x00", 20),
        (b"past.txt", 0, unicode_path(b"past.txt", "p.txt".encode(), size=40), 20),
        (b"leads.txt", 0, unicode_path(b"leads.txt", "C:/x/../../evil.txt".encode()), 20),
    ],
}

for corpus in CORPORA:
    os.makedirs(corpus, exist_ok=True)
    for name, members in SEEDS.items():
        with open(os.path.join(corpus, name), "wb") as f:
            f.write(archive(members))
