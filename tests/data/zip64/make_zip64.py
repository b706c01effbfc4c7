#!/usr/bin/env python3
"""Writes the ZIP64 archives of this folder, each named after what it shows.

Each is laid out by hand: real tools write ZIP64 records only in the shapes
they choose, and the faults here (short extra fields, records pointing
outside the file, values past 32 bits) come from no tool. Every member holds
the text of MEMBERS, so a reader's output can be compared with it.
Run it from anywhere: python3 tests/data/zip64/make_zip64.py [FOLDER]
"""
import os
import struct
import sys
import zlib

DATE, TIME = 0x5A21, 0x6000  # 2025-01-01 12:00
ONES32, ONES16 = 0xFFFFFFFF, 0xFFFF

MEMBERS = [("a.txt", b"alpha " * 300, 8), ("b.txt", b"bravo\n", 0)]


def deflate(data):
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    return c.compress(data) + c.flush()


def zip64_block(*values):
    """An extra block of id 1 holding the given (value, width) pairs in order."""
    body = b"".join(struct.pack("<Q" if width == 8 else "<I", v) for v, width in values)
    return struct.pack("<HH", 1, len(body)) + body


def build(central_extra=None, local=None, end=None, zip64_end=None, locator=None, tail=b""):
    """Builds MEMBERS. central_extra(i, usize, csize, offset) gives a member's
    central (usize, csize, offset, disk, extra); local(i, usize, csize)
    gives its local (usize, csize, extra, flags); end(count, size, offset)
    the end record's (count, size, offset); zip64_end / locator set the
    ZIP64 records written before the end record."""
    out = bytearray()
    central = bytearray()
    for i, (name, data, method) in enumerate(MEMBERS):
        packed = deflate(data) if method == 8 else data
        crc = zlib.crc32(data)
        offset = len(out)
        lu, lc, lextra, lflags = (len(data), len(packed), b"", 0)
        if local:
            lu, lc, lextra, lflags = local(i, len(data), len(packed))
        out += struct.pack("<IHHHHHIIIHH", 0x04034B50, 45, lflags, method, TIME, DATE,
                           0 if lflags & 8 else crc, lc, lu, len(name), len(lextra))
        out += name.encode() + lextra + packed
        if lflags & 8:
            out += struct.pack("<IIQQ", 0x08074B50, crc, len(packed), len(data))
        cu, cc, coff, cdisk, cextra = len(data), len(packed), offset, 0, b""
        if central_extra:
            cu, cc, coff, cdisk, cextra = central_extra(i, len(data), len(packed), offset)
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 0x031E, 45, lflags, method,
                               TIME, DATE, crc, cc, cu, len(name), len(cextra), 0, cdisk, 0,
                               0x81A40000, coff)
        central += name.encode() + cextra
    directory_offset = len(out)
    out += central
    count, size = len(MEMBERS), len(central)
    zip64_at = len(out)
    if zip64_end is not None:
        z_count, z_size, z_offset, signature = zip64_end(count, size, directory_offset)
        out += struct.pack("<IQHHIIQQQQ", signature, 44, 45, 45, 0, 0, z_count, z_count,
                           z_size, z_offset)
    if locator is not None:
        out += struct.pack("<IIQI", 0x07064B50, 0, locator(zip64_at, len(out)), 1)
    e_count, e_size, e_offset = (count, size, directory_offset)
    if end:
        e_count, e_size, e_offset = end(count, size, directory_offset)
    out += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, e_count, e_count, e_size, e_offset, 0)
    return bytes(out + tail)


def all_marked(count, size, offset):
    return ONES16, ONES32, ONES32


def exact(count, size, offset):
    return count, size, offset, 0x06064B50


def central_all_in_extra(i, usize, csize, offset):
    return ONES32, ONES32, ONES32, ONES16, zip64_block((usize, 8), (csize, 8), (offset, 8), (0, 4))


ARCHIVES = {
    # Sizes, offset and disk all in the central ZIP64 blocks, the count, size
    # and offset of the directory in a ZIP64 end record: every member reads.
    "zip64-every-value-in-its-records.zip": dict(
        central_extra=central_all_in_extra, zip64_end=exact,
        locator=lambda at, here: at, end=all_marked),
    # Only the offset marked: the block holds just that value.
    "zip64-extra-with-the-offset-only.zip": dict(
        central_extra=lambda i, u, c, o: (u, c, ONES32, 0, zip64_block((o, 8)))),
    # Both sizes marked, the block has room for one.
    "zip64-extra-shorter-than-its-fields.zip": dict(
        central_extra=lambda i, u, c, o: (ONES32, ONES32, o, 0, zip64_block((u, 8))) if i == 0
        else (u, c, o, 0, b"")),
    # A size of 5 GB in the block: more than the catalog's 32-bit fields hold.
    "zip64-size-of-5-gb.zip": dict(
        central_extra=lambda i, u, c, o: (ONES32, c, o, 0, zip64_block((5 << 30, 8))) if i == 0
        else (u, c, o, 0, b"")),
    # Local sizes marked, the real ones in the local block, as zip -fz writes them.
    "zip64-local-sizes-in-the-local-extra.zip": dict(
        local=lambda i, u, c: (ONES32, ONES32, zip64_block((u, 8), (c, 8)), 0)),
    # A size of 5 GB in both blocks, local and central: they agree, as in
    # any archive with a member of 4 GB or more written without a descriptor.
    "zip64-local-and-central-size-of-5-gb.zip": dict(
        central_extra=lambda i, u, c, o: (ONES32, c, o, 0, zip64_block((5 << 30, 8))) if i == 0
        else (u, c, o, 0, b""),
        local=lambda i, u, c: (ONES32, ONES32, zip64_block((5 << 30, 8), (c, 8)), 0) if i == 0
        else (u, c, b"", 0)),
    # The local block gives another size than the central header.
    "zip64-local-extra-disagrees.zip": dict(
        local=lambda i, u, c: (ONES32, ONES32, zip64_block((u + 1, 8), (c, 8)), 0)),
    # Streamed: bit 3, local sizes zero with a ZIP64 block of zeros, or marked.
    "zip64-streamed-local-sizes-zero.zip": dict(
        local=lambda i, u, c: (0, 0, zip64_block((0, 8), (0, 8)), 8)),
    "zip64-streamed-local-sizes-marked.zip": dict(
        local=lambda i, u, c: (ONES32, ONES32, zip64_block((0, 8), (0, 8)), 8)),
    # The locator points past itself, past the file, or to a record whose
    # signature is wrong.
    "zip64-locator-points-past-the-file.zip": dict(
        zip64_end=exact, locator=lambda at, here: 1 << 40, end=all_marked),
    "zip64-locator-points-behind-itself.zip": dict(
        zip64_end=exact, locator=lambda at, here: here - 30, end=all_marked),
    "zip64-end-record-signature-wrong.zip": dict(
        zip64_end=lambda n, s, o: (n, s, o, 0x06054B50), locator=lambda at, here: at,
        end=all_marked),
    # Values of the ZIP64 end record past 32 bits, or a count past what the
    # directory holds.
    "zip64-end-record-offset-past-4-gb.zip": dict(
        zip64_end=lambda n, s, o: (n, s, o + (1 << 32), 0x06064B50),
        locator=lambda at, here: at, end=all_marked),
    "zip64-end-record-counts-a-billion-members.zip": dict(
        zip64_end=lambda n, s, o: (1000000000, s, o, 0x06064B50),
        locator=lambda at, here: at, end=all_marked),
    "zip64-end-record-counts-fewer-members.zip": dict(
        zip64_end=lambda n, s, o: (n - 1, s, o, 0x06064B50),
        locator=lambda at, here: at, end=all_marked),
}


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for name, layout in ARCHIVES.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(build(**layout))


if __name__ == "__main__":
    main()
