#!/usr/bin/env python3
"""Writes the damaged archives of this folder, each named after its fault.

Every archive is laid out by hand, so that the one field a fault needs can be
set wrong and everything else stays as a writer would leave it. Run it from
anywhere: python3 tests/data/damaged/make_damaged.py [FOLDER]
"""
import os
import struct
import sys
import zlib

DATE, TIME = 0x5A21, 0x6000  # 2025-01-01 12:00


def deflate(data):
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    return c.compress(data) + c.flush()


class Member:
    def __init__(self, name, data, method=8, **fields):
        self.name = name.encode()
        self.data = data
        self.method = method
        self.packed = deflate(data) if method == 8 else data
        self.crc = zlib.crc32(data)
        self.csize = len(self.packed)
        self.usize = len(data)
        self.flags = 0
        self.disk = 0
        # Local header fields that differ from the central ones; None: the same.
        self.local = {}
        for key, value in fields.items():
            setattr(self, key, value)

    def local_header(self):
        f = dict(name=self.name, method=self.method, crc=self.crc, csize=self.csize,
                 usize=self.usize, flags=self.flags)
        f.update(self.local)
        return struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, f["flags"], f["method"], TIME, DATE,
                           f["crc"], f["csize"], f["usize"], len(f["name"]), 0) + f["name"]

    def central_header(self, offset):
        return struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, self.flags, self.method, TIME,
                           DATE, self.crc, self.csize, self.usize, len(self.name), 0, 0,
                           self.disk, 0, 0, offset) + self.name


def archive(members, layout=None):
    """Members one after another, then the central directory and end record.
    layout(out, members) may write the data itself and return the offsets."""
    out = bytearray()
    if layout:
        offsets = layout(out, members)
    else:
        offsets = []
        for m in members:
            offsets.append(len(out))
            out += m.local_header() + m.packed
    directory = len(out)
    for m, offset in zip(members, offsets):
        out += m.central_header(offset)
    size = len(out) - directory
    out += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(members), len(members), size,
                       directory, 0)
    return bytes(out)


TEXT = b"".join(b"line %04d of a text that deflates well\n" % i for i in range(200))


def good():
    return Member("good.txt", b"an intact member after the damaged one\n")


def shared_stream(count, data):
    """count central entries pointing at one local header and its stream."""
    one = Member("zeros.bin", data)
    entries = [Member("zeros%03d.bin" % i, data) for i in range(count)]

    def layout(out, members):
        out += one.local_header() + one.packed
        return [0] * len(members)

    return archive(entries, layout)


def nested(out, members):
    """The first member's compressed data take in the second member whole."""
    first, second = members
    inner = second.local_header() + second.packed
    first.csize = len(first.packed) + len(inner)
    out += first.local_header() + first.packed + inner
    return [0, len(out) - len(inner)]


def into_directory(out, members):
    member, = members
    out += member.local_header() + member.packed
    member.csize += 10  # the last 10 bytes it claims are the central header's first
    return [0]


def huge_size(out, members):
    """A compressed size so large that offset + size, counted in 32 bits,
    wraps past 4 GiB to before the second member's start."""
    offsets = []
    for m in members:
        offsets.append(len(out))
        out += m.local_header() + m.packed
    members[0].csize = 0xFFFFFFFE
    return offsets


def imploded_member():
    """The first imploded member of a fixture, its data and central fields."""
    here = os.path.dirname(os.path.abspath(__file__))
    data = open(os.path.join(here, "..", "zip", "hw_implode_4k2t.zip"), "rb").read()
    end = data.rfind(b"PK\x05\x06")
    offset = struct.unpack_from("<I", data, end + 16)[0]
    flags, method, _, _, crc, csize, usize, nlen = struct.unpack_from("<HHHHIIIH", data, offset + 8)
    name = data[offset + 46:offset + 46 + nlen]
    local = struct.unpack_from("<I", data, offset + 42)[0]
    lname, lextra = struct.unpack_from("<HH", data, local + 26)
    start = local + 30 + lname + lextra
    m = Member(name.decode(), b"", method=6)
    m.packed, m.flags, m.crc, m.csize, m.usize = data[start:start + csize], flags, crc, csize, usize
    return m


def make(folder):
    cases = {}

    m = Member("notes.txt", TEXT, method=0, local={"name": b"notez.txt"})
    cases["local-name-differs.zip"] = archive([m, good()])

    m = Member("notes.txt", TEXT, local={"method": 0})
    cases["local-method-differs.zip"] = archive([m, good()])

    m = Member("notes.txt", TEXT)
    m.local = {"crc": m.crc ^ 0x00010000}
    cases["local-crc-differs.zip"] = archive([m, good()])

    m = Member("notes.txt", TEXT)
    m.local = {"csize": m.csize + 7, "usize": m.usize - 7}
    cases["local-sizes-differ.zip"] = archive([m, good()])

    # Both headers agree, but a stored member's two sizes do not: the data are
    # the compressed size, 40 bytes more than the file.
    m = Member("notes.txt", TEXT, method=0)
    m.usize -= 40
    cases["stored-sizes-differ.zip"] = archive([m, good()])

    m = Member("notes.txt", TEXT)
    m.packed += b"sixteen bytes..."
    m.csize = len(m.packed)
    cases["bytes-after-deflate-stream.zip"] = archive([m, good()])

    # 64 KiB of zeros declared as 10 bytes, with the CRC of those 10.
    m = Member("bomb.bin", bytes(65536))
    m.usize, m.crc = 10, zlib.crc32(bytes(10))
    cases["inflates-past-declared-size.zip"] = archive([m, good()])

    # The stream is cut 8 bytes before its end: inflate runs out of data.
    m = Member("notes.txt", TEXT)
    m.packed = m.packed[:-8]
    m.csize = len(m.packed)
    cases["deflate-stream-cut-short.zip"] = archive([m, good()])

    # A first block of type 3, which deflate does not have.
    m = Member("notes.txt", TEXT)
    m.packed = bytes([0x07]) + m.packed[1:]
    cases["deflate-bad-block-type.zip"] = archive([m, good()])

    m = imploded_member()
    m.packed += b"\x00" * 32
    m.csize = len(m.packed)
    cases["imploded-data-not-used-up.zip"] = archive([m, good()])

    cases["overlapping-members.zip"] = shared_stream(300, bytes(65536))

    cases["member-inside-member.zip"] = archive([Member("outer.txt", TEXT), Member("inner.txt", TEXT)],
                                                nested)

    cases["member-reaches-central-directory.zip"] = archive([Member("notes.txt", TEXT, method=0)],
                                                            into_directory)

    cases["compressed-size-wraps-past-4-gib.zip"] = archive(
        [Member("huge.txt", TEXT), Member("after.txt", TEXT)], huge_size)

    # Two entries on one stream that claim different disks of a single-file archive.
    one = Member("zeros.bin", bytes(65536))
    twins = [Member("zeros0.bin", bytes(65536)), Member("zeros1.bin", bytes(65536), disk=1)]
    cases["shared-stream-other-disk-number.zip"] = archive(
        twins, lambda out, members: (out.extend(one.local_header() + one.packed), [0, 0])[1])

    # Legitimate: bit 3 with the local CRC and sizes left zero, a descriptor after the data.
    def with_descriptor(out, members):
        offsets = []
        for m in members:
            offsets.append(len(out))
            m.flags = 8
            m.local = {"crc": 0, "csize": 0, "usize": 0, "flags": 8}
            out += m.local_header() + m.packed
            out += struct.pack("<IIII", 0x08074B50, m.crc, m.csize, m.usize)
        return offsets

    cases["data-descriptors-intact.zip"] = archive([Member("notes.txt", TEXT), good()], with_descriptor)

    cases.update(directory_cases())

    for name, data in cases.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def end_field(data, offset, value, width):
    """data with one field of its end record (at the end, no comment) set."""
    data = bytearray(data)
    at = len(data) - 22 + offset
    data[at:at + width] = value.to_bytes(width, "little")
    return bytes(data)


def directory_cases():
    """Central directories that lie, hide members or meet the end record."""
    three = [Member("a.txt", TEXT), Member("b.txt", TEXT[:500]), Member("c.txt", TEXT[:99])]
    whole = archive(three)
    directory = struct.unpack_from("<I", whole, len(whole) - 22 + 16)[0]
    size = struct.unpack_from("<I", whole, len(whole) - 22 + 12)[0]
    second = whole.index(b"PK\x01\x02", directory + 4)
    cases = {}
    # The members behind a damaged header would be lost to every reader that stops there.
    cases["second-central-header-damaged.zip"] = whole[:second] + b"XK" + whole[second + 2:]
    cases["end-record-counts-more-members.zip"] = end_field(end_field(whole, 8, 4, 2), 10, 4, 2)
    cases["directory-shorter-than-its-size.zip"] = end_field(whole, 12, size + 46, 4)
    # The last header's name length reaches into the end record.
    last = whole.rindex(b"PK\x01\x02")
    runs = bytearray(whole)
    runs[last + 28:last + 30] = (5 + 30).to_bytes(2, "little")
    cases["directory-runs-into-end-record.zip"] = bytes(runs)
    # Figures that lie but hide nothing: every member is read, with a warning.
    cases["end-record-counts-fewer-members.zip"] = end_field(end_field(whole, 8, 2, 2), 10, 2, 2)
    cases["directory-size-zero.zip"] = end_field(whole, 12, 0, 4)
    # ZIP64's marker for a size kept elsewhere, on a directory that is whole.
    cases["directory-size-all-ones.zip"] = end_field(whole, 12, 0xFFFFFFFF, 4)
    # A comment holding an end record of its own, which readers take as the end record.
    fake = whole[-22:]
    real = whole[:-2] + (len(fake) + 6).to_bytes(2, "little") + b"note: " + fake
    cases["second-end-record-in-comment.zip"] = real
    return cases


if __name__ == "__main__":
    make(sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__)))
