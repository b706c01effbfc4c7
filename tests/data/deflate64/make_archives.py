#!/usr/bin/env python3
"""Writes the Deflate64 archives of this folder with 7zz and their MANIFEST.tsv.

The inputs are generated here (seeded, so the same each run):
  text.txt     40 KB of lines of words: matches up to about 37 KB back
  repeats.bin  169,000 bytes: 6,000 random bytes repeated 46,000 and 56,000
               bytes later across long runs, so distance codes 30 and 31 are
               needed (deflate cannot reach them); then a 60,000-byte pattern
  small.txt    a few bytes (7zz stores them)
deflate64-after-unshrunk.zip holds a shrunk member of ../zip/hw_shrink.zip and
then repeats.bin of 7zz-mx9.zip, copied as they are: the unshrink decoder
gives the window back after its member, and the Deflate64 member behind it
needs all 64 KiB of it.
7zz's Deflate64 encoder writes matches of at most 257 bytes, so length code
285 with its 16 extra bits appears only in the hand-built streams of the
unit tests. The manifest lists each member's method, size and SHA-256 of the
input, checked against 7zz's own extraction before it is written.
"""
import hashlib
import os
import struct
import random
import subprocess
import sys
import tempfile

here = os.path.dirname(os.path.abspath(__file__))


def inputs():
    r = random.Random(64)
    words = ("archive window distance length code block deflate history member header "
             "extract copy stream table symbol literal").split()
    text, n = [], 0
    while n < 40000:
        line = " ".join(r.choice(words) for _ in range(r.randint(4, 14))) + "\n"
        text.append(line)
        n += len(line)
    repeated = bytes(r.getrandbits(8) for _ in range(6000))
    tail = bytes(r.getrandbits(8) for _ in range(1000))
    repeats = repeated + bytes(40000) + repeated + b"a" * 50000 + repeated + tail + b"xyz" * 20000
    return {"text.txt": "".join(text).encode(), "repeats.bin": repeats,
            "small.txt": b"Deflate64 member of a few bytes\n"}


def raw_members(path):
    """(name, local header and data, central header) of each member."""
    data = open(path, "rb").read()
    end = data.rfind(b"PK\x05\x06")
    count, _, offset = struct.unpack_from("<HII", data, end + 10)
    out = []
    for _ in range(count):
        csize, = struct.unpack_from("<I", data, offset + 20)
        nlen, xlen, clen = struct.unpack_from("<HHH", data, offset + 28)
        local, = struct.unpack_from("<I", data, offset + 42)
        lname, lextra = struct.unpack_from("<HH", data, local + 26)
        central = data[offset:offset + 46 + nlen + xlen + clen]
        name = central[46:46 + nlen].decode()
        out.append((name, data[local:local + 30 + lname + lextra + csize], central))
        offset += len(central)
    return out


def combine(path, parts):
    """An archive of the given (archive, member) records, in that order."""
    body, directory = b"", b""
    for archive, member in parts:
        name, local, central = [m for m in raw_members(archive) if m[0] == member][0]
        central = central[:42] + struct.pack("<I", len(body)) + central[46:]
        body += local
        directory += central
    end = struct.pack("<4sHHHHIIH", b"PK\x05\x06", 0, 0, len(parts), len(parts), len(directory),
                      len(body), 0)
    with open(path, "wb") as f:
        f.write(body + directory + end)


def main():
    files = inputs()
    archives = {"7zz-mx9.zip": ("-mx=9", ["text.txt", "repeats.bin", "small.txt"]),
                "7zz-mx1.zip": ("-mx=1", ["text.txt", "repeats.bin"])}
    rows = ["archive\tmember\tmethod\tsize\tsha256"]
    with tempfile.TemporaryDirectory() as work:
        for name, data in files.items():
            with open(os.path.join(work, name), "wb") as f:
                f.write(data)
            os.utime(os.path.join(work, name), (1700000000, 1700000000))
        for archive, (level, members) in archives.items():
            path = os.path.join(here, archive)
            if os.path.exists(path):
                os.remove(path)
            subprocess.run(["7zz", "a", "-tzip", "-mm=Deflate64", level, path] + members,
                           cwd=work, check=True, stdout=subprocess.DEVNULL)
            listing = subprocess.run(["7zz", "l", "-slt", path], check=True,
                                     capture_output=True, text=True).stdout
            methods = {}
            for block in listing.split("\n\n"):
                fields = dict(l.split(" = ", 1) for l in block.splitlines() if " = " in l)
                if "Method" in fields and fields.get("Path") in members:
                    methods[fields["Path"]] = fields["Method"]
            out = os.path.join(work, "x-" + archive)
            subprocess.run(["7zz", "x", "-o" + out, path], check=True, stdout=subprocess.DEVNULL)
            for member in members:
                with open(os.path.join(out, member), "rb") as f:
                    if f.read() != files[member]:
                        sys.exit("7zz extracts %s of %s differently" % (member, archive))
                method = {"Deflate64": 9, "Store": 0}[methods[member]]
                digest = hashlib.sha256(files[member]).hexdigest()
                rows.append("%s\t%s\t%d\t%d\t%s" % (archive, member, method, len(files[member]), digest))
    shrunk = os.path.join(here, "..", "zip", "hw_shrink.zip")
    combine(os.path.join(here, "deflate64-after-unshrunk.zip"),
            [(shrunk, "abab.txt"), (os.path.join(here, "7zz-mx9.zip"), "repeats.bin")])
    for line in open(os.path.join(here, "..", "zip", "MANIFEST.tsv")):
        cols = line.rstrip("\n").split("\t")
        if cols[:2] == ["hw_shrink.zip", "abab.txt"]:
            rows.append("deflate64-after-unshrunk.zip\tabab.txt\t1\t%s\t%s" % (cols[5], cols[7]))
    rows.append("deflate64-after-unshrunk.zip\trepeats.bin\t9\t%d\t%s" %
                (len(files["repeats.bin"]), hashlib.sha256(files["repeats.bin"]).hexdigest()))
    with open(os.path.join(here, "MANIFEST.tsv"), "w") as f:
        f.write("\n".join(rows) + "\n")


if __name__ == "__main__":
    main()
