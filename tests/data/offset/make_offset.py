#!/usr/bin/env python3
"""Writes the archives of this folder: archives with data in front of them
that their recorded offsets do not count, each named after how they came to be.

Every archive is laid out by hand (a stub or an archive is put in front with
nothing adjusted, as `cat stub a.zip` leaves it). Run it from anywhere:
python3 tests/data/offset/make_offset.py [FOLDER]
"""
import os
import struct
import sys
import zlib

DATE, TIME = 0x5A21, 0x6000  # 2025-01-01 12:00
TEXT = b"".join(b"line %04d of a text that deflates well\n" % i for i in range(200))
# A 100-byte stub: what a self-extractor's maker leaves when it does not adjust.
STUB = (b"MZ" + b"\x90" * 14 + b"a stub program that runs before the archive\r\n").ljust(100, b"\x00")


def deflate(data):
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    return c.compress(data) + c.flush()


def archive(members, zip64=False):
    """(name, data, method) members, their directory and end record, offsets
    counted from the archive's own first byte. With zip64 the directory is
    followed by a ZIP64 end record and locator, the end record holds only
    markers, and the last member's offset is in a ZIP64 extra field."""
    out = bytearray()
    central = bytearray()
    for i, (name, data, method) in enumerate(members):
        name = name.encode()
        packed = deflate(data) if method == 8 else data
        crc = zlib.crc32(data)
        offset = len(out)
        out += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, method, TIME, DATE, crc, len(packed),
                           len(data), len(name), 0) + name + packed
        extra = b""
        if zip64 and i == len(members) - 1:
            extra = struct.pack("<HHQ", 1, 8, offset)
            offset = 0xFFFFFFFF
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 45 if extra else 20,
                               45 if extra else 20, 0, method, TIME, DATE, crc, len(packed),
                               len(data), len(name), len(extra), 0, 0, 0, 0, offset) + name + extra
    directory = len(out)
    out += central
    count, size = len(members), len(central)
    if zip64:
        record = len(out)
        out += struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, count, count, size, directory)
        out += struct.pack("<IIQI", 0x07064B50, 0, record, 1)
        out += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0)
    else:
        out += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, size, directory, 0)
    return bytes(out)


def make(folder):
    first = archive([("readme.txt", TEXT, 8), ("data/one.bin", bytes(range(256)) * 4, 0),
                     ("data/two.txt", TEXT[:900], 8)])
    second = archive([("second/notes.txt", TEXT[::-1], 8), ("second/raw.bin", b"\x01\x02" * 300, 0)])
    cases = {
        "stub-not-counted-by-offsets.zip": STUB + first,
        # The end record found is the second archive's; the first is its "stub".
        "two-archives-end-to-end.zip": first + second,
        # Neither the locator's pointer nor the ZIP64 record's directory
        # offset nor the ZIP64 extra field's member offset counts the stub.
        "zip64-stub-not-counted-by-offsets.zip": STUB + archive(
            [("readme.txt", TEXT, 8), ("last.txt", TEXT[:700], 8)], zip64=True),
    }
    for name, data in cases.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    make(sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__)))
