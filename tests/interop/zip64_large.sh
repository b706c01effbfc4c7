#!/usr/bin/env bash
# Members of 4.5 GB, in archives of a few MB: zeros, deflated.
#  - Python's zipfile writes one to a file (sizes in both ZIP64 blocks, no
#    data descriptor) and one to a pipe (a ZIP64 data descriptor), each with
#    a small member behind the large one: zarvo-cli l -v shows the exact
#    sizes, t decodes every byte and checks the CRCs, x gives the small one;
#    d of the small one copies the descriptor, which bsdtar reads.
#  - zarvo-cli a packs a sparse 4.5 GB file and a small one; unzip, 7zz,
#    Python's zipfile and bsdtar test it, bsdtar gives back 4.5 GB, and its
#    records hold the sizes where the format puts them. The same
#    after zarvo-cli d of the small member, which copies the large one.
# No member is written out at its full size: the CRC checks of the testers
# cover the data. A member past 4 GB is read from a sparse archive laid out
# by hand; zarvo-cli writing one would take an archive of that size on disk,
# so that is left out. A missing tool fails.
set -u
cli=$(realpath "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/zarvo-zip64-large.XXXXXX")
trap 'rm -rf "$work"' EXIT
pass=0
fail=0
check() { # name command...
  local name=$1
  shift
  if "$@" >"$work/out.log" 2>&1; then
    pass=$((pass + 1))
  else
    fail=$((fail + 1))
    echo "FAIL $name: $*"
    tail -n 5 "$work/out.log"
  fi
}

big=4500000000
small_text="the member behind the large one"
for tool in zip unzip 7zz python3 bsdtar; do
  check "$tool is installed" command -v "$tool"
done

# Python's zipfile: to a file, or to a pipe (it cannot seek back, so the
# sizes go in a data descriptor). Level 1 is its fastest on zeros.
python_archive() { # archive file|pipe
  local script='
import sys, zipfile
out = sys.argv[1]
target = sys.stdout.buffer if out == "-" else out
chunk = bytes(1 << 24)
with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED, compresslevel=1) as z:
    with z.open("big.bin", "w", force_zip64=True) as w:
        left = int(sys.argv[2])
        while left:
            w.write(chunk[:min(left, len(chunk))])
            left -= min(left, len(chunk))
    z.writestr("small.txt", sys.argv[3].encode())
'
  if [ "$2" = pipe ]; then
    python3 -c "$script" - "$big" "$small_text" | cat >"$1"
  else
    python3 -c "$script" "$1" "$big" "$small_text"
  fi
}

# Columns of l -v: name, method, flags, crc32, compressed, uncompressed.
listed() { # archive member column
  "$cli" l -v "$1" | awk -F'\t' -v n="$2" -v c="$3" '$1 == n { print $c }'
}
listed_size_is() { # archive member size
  local size
  size=$(listed "$1" "$2" 6)
  [ "$size" = "$3" ] || { echo "$2 listed with size '$size'"; return 1; }
}
small_extracts() { # archive
  rm -rf "$work/x"
  "$cli" x -y -o "$work/x" "$1" small.txt || return 1
  [ "$(cat "$work/x/small.txt")" = "$small_text" ]
}
# t must pass with no warning: a header that disagrees is one.
zarvo_tests() { # archive
  "$cli" t "$1" >"$work/t.log" 2>&1 || { cat "$work/t.log"; return 1; }
  ! grep -q Warning "$work/t.log" || { cat "$work/t.log"; return 1; }
}

for layout in file pipe; do
  archive=$work/python-$layout.zip
  check "python $layout: write" python_archive "$archive" "$layout"
  check "python $layout: l -v big.bin" listed_size_is "$archive" big.bin "$big"
  check "python $layout: l -v small.txt" listed_size_is "$archive" small.txt "${#small_text}"
  check "python $layout: t" zarvo_tests "$archive"
  check "python $layout: x small.txt" small_extracts "$archive"
done

# d copies the streamed member with its 24-byte ZIP64 data descriptor;
# bsdtar reads the archive front to back, so it needs that descriptor.
copied_streamed() { # archive
  local count
  "$cli" d "$1" small.txt || return 1
  listed_size_is "$1" big.bin "$big" || return 1
  zarvo_tests "$1" || return 1
  7zz t "$1" >"$work/7zz.log" 2>&1 || { cat "$work/7zz.log"; return 1; }
  ! grep -qiE 'warning|error' "$work/7zz.log" || { cat "$work/7zz.log"; return 1; }
  count=$(set -o pipefail; bsdtar -xOf "$1" big.bin | wc -c) || { echo "bsdtar -x"; return 1; }
  [ "$count" = "$big" ] || { echo "bsdtar -x gave $count bytes"; return 1; }
}
check "python pipe: d small.txt" copied_streamed "$work/python-pipe.zip"
rm -f "$work"/python-*.zip

# The archive as the four other tools see it, and its records read by hand.
peers_accept() { # archive members...
  local archive=$1
  shift
  unzip -tqq "$archive" || { echo "unzip -t"; return 1; }
  7zz t "$archive" >"$work/7zz.log" 2>&1 || { cat "$work/7zz.log"; return 1; }
  grep -q '^Everything is Ok' "$work/7zz.log" || { cat "$work/7zz.log"; return 1; }
  ! grep -qiE 'warning|error' "$work/7zz.log" || { cat "$work/7zz.log"; return 1; }
  python3 - "$archive" "$big" "$@" <<'PY' || return 1
import sys, zipfile
archive, big, names = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
with zipfile.ZipFile(archive) as z:
    assert [i.filename for i in z.infolist()] == names, z.namelist()
    assert z.getinfo("big.bin").file_size == big, z.getinfo("big.bin").file_size
    bad = z.testzip()
    assert bad is None, bad
PY
  [ "$(bsdtar -tvf "$archive" | awk '$NF == "big.bin" { print $5 }')" = "$big" ] ||
    { echo "bsdtar -tv:"; bsdtar -tvf "$archive"; return 1; }
  [ "$(bsdtar -tf "$archive" | tr '\n' ' ')" = "$* " ] || { echo "bsdtar -t"; return 1; }
  # Extracted, bsdtar checks the CRC and fails on a bad one; the bytes it
  # gives are counted.
  local count
  count=$(set -o pipefail; bsdtar -xOf "$archive" big.bin | wc -c) || { echo "bsdtar -x"; return 1; }
  [ "$count" = "$big" ] || { echo "bsdtar -x gave $count bytes"; return 1; }
}

# big.bin: marked sizes in its local header with a local ZIP64 block of both
# sizes; in its central header only the uncompressed size is marked, and the
# central block holds it alone. Few members and a small directory: no ZIP64
# end record.
records_as_written() { # archive
  python3 - "$1" "$big" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
big = int(sys.argv[2])
assert data[-22:-18] == b"PK\x05\x06", "end record not last"
count, dsize, doffset = struct.unpack("<10xHII2x", data[-22:])
assert data[-42:-38] != b"PK\x06\x07", "ZIP64 locator"
assert b"PK\x06\x06" not in data[doffset:], "ZIP64 end record"
def blocks(extra):
    # id -> data; the ZIP64 block (1) and the time block (0x5455) are all we write.
    out, i = {}, 0
    while i + 4 <= len(extra):
        bid, n = struct.unpack("<HH", extra[i:i + 4])
        out[bid] = extra[i + 4:i + 4 + n]
        i += 4 + n
    assert i == len(extra), extra.hex()
    assert set(out) <= {1, 0x5455}, extra.hex()
    assert out[0x5455][:1] == b"\x01" and len(out[0x5455]) == 5, extra.hex()
    return out
at = doffset
seen = 0
while data[at:at + 4] == b"PK\x01\x02":
    (need, csize, usize, nlen, xlen, clen, offset) = struct.unpack("<6xH12xIIHHH8xI", data[at:at + 46])
    name = data[at + 46:at + 46 + nlen].decode()
    extra = data[at + 46 + nlen:at + 46 + nlen + xlen]
    if name == "big.bin":
        assert (usize, need) == (0xFFFFFFFF, 45), (usize, need)
        assert csize < 0xFFFFFFFF and offset < 0xFFFFFFFF
        assert blocks(extra)[1] == struct.pack("<Q", big), extra.hex()
        lsig, lneed, lcsize, lusize, lnlen, lxlen = struct.unpack("<IH12xIIHH", data[offset:offset + 30])
        assert (lsig, lneed, lcsize, lusize) == (0x04034B50, 45, 0xFFFFFFFF, 0xFFFFFFFF)
        lextra = data[offset + 30 + lnlen:offset + 30 + lnlen + lxlen]
        assert lextra[:20] == struct.pack("<HHQQ", 1, 16, big, csize), lextra.hex()
        assert blocks(lextra)[1] == struct.pack("<QQ", big, csize)
    else:
        assert 1 not in blocks(extra) and usize < 0xFFFFFFFF
    seen += 1
    at += 46 + nlen + xlen + clen
assert seen == count, (seen, count)
PY
}

# A member past 4 GB: a stored member of 4.5 GB of zeros left as a hole in a
# sparse file, laid out by hand, then the small member, the directory, a
# ZIP64 end record and its locator. The small member's offset and the
# directory's are in ZIP64 fields only.
sparse_archive() { # archive
  python3 - "$1" "$big" "$small_text" <<'PY'
import struct, sys, zlib
path, n, small = sys.argv[1], int(sys.argv[2]), sys.argv[3].encode()
DATE, TIME, ONES = 0x5A21, 0x6000, 0xFFFFFFFF
chunk, crc, left = bytes(1 << 24), 0, n
while left:
    crc = zlib.crc32(memoryview(chunk)[:min(left, len(chunk))], crc)
    left -= min(left, len(chunk))
def local(name, crc, size, extra):
    return struct.pack("<IHHHHHIIIHH", 0x04034B50, 45, 0, 0, TIME, DATE, crc, *size,
                       len(name), len(extra)) + name + extra
def central(name, crc, size, offset, extra):
    return struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 0x031E, 45, 0, 0, TIME, DATE, crc,
                       *size, len(name), len(extra), 0, 0, 0, 0x81A40000, offset) + name + extra
with open(path, "wb") as f:
    f.write(local(b"zeros.bin", crc, (ONES, ONES), struct.pack("<HHQQ", 1, 16, n, n)))
    f.seek(n, 1)
    at = f.tell()
    f.write(local(b"small.txt", zlib.crc32(small), (len(small), len(small)), b""))
    f.write(small)
    directory = f.tell()
    f.write(central(b"zeros.bin", crc, (ONES, ONES), 0, struct.pack("<HHQQ", 1, 16, n, n)))
    f.write(central(b"small.txt", zlib.crc32(small), (len(small), len(small)), ONES,
                    struct.pack("<HHQ", 1, 8, at)))
    size = f.tell() - directory
    end64 = f.tell()
    f.write(struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, 2, 2, size, directory))
    f.write(struct.pack("<IIQI", 0x07064B50, 0, end64, 1))
    f.write(struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 2, 2, size, ONES, 0))
PY
}
# The others read just the small member: they confirm the layout.
peers_read_small() { # archive
  unzip -tqq "$1" small.txt || { echo "unzip -t"; return 1; }
  7zz t "$1" small.txt >"$work/7zz.log" 2>&1 || { cat "$work/7zz.log"; return 1; }
  ! grep -qiE 'warning|error' "$work/7zz.log" || { cat "$work/7zz.log"; return 1; }
  python3 -c 'import sys, zipfile; assert zipfile.ZipFile(sys.argv[1]).read("small.txt") == sys.argv[2].encode()' \
    "$1" "$small_text" || return 1
  [ "$(bsdtar -xOf "$1" small.txt)" = "$small_text" ] || { echo "bsdtar -x"; return 1; }
}
archive=$work/sparse.zip
check "sparse: write" sparse_archive "$archive"
check "sparse: others read small.txt" peers_read_small "$archive"
check "sparse: l -v zeros.bin" listed_size_is "$archive" zeros.bin "$big"
check "sparse: l -v offset of small.txt" [ "$(listed "$archive" small.txt 11)" = $((big + 59)) ]
check "sparse: x small.txt" small_extracts "$archive"
check "sparse: t" zarvo_tests "$archive"
rm -f "$archive"

src=$work/src
mkdir -p "$src"
truncate -s "$big" "$src/big.bin"
printf '%s' "$small_text" >"$src/small.txt"
archive=$work/zarvo.zip
# Level 1: deflate's fastest; a stored member would write 4.5 GB.
check "zarvo-cli a" sh -c "cd '$src' && '$cli' a -l 1 '$archive' big.bin small.txt"
check "zarvo-cli l -v big.bin" listed_size_is "$archive" big.bin "$big"
check "zarvo-cli l -v small.txt" listed_size_is "$archive" small.txt "${#small_text}"
check "zarvo-cli t" zarvo_tests "$archive"
check "zarvo-cli x small.txt" small_extracts "$archive"
check "records of the written archive" records_as_written "$archive"
check "peers accept the written archive" peers_accept "$archive" big.bin small.txt

# d copies big.bin into a new archive, its ZIP64 block with it.
check "zarvo-cli d small.txt" "$cli" d "$archive" small.txt
check "after d: l -v big.bin" listed_size_is "$archive" big.bin "$big"
check "after d: t" zarvo_tests "$archive"
check "after d: records" records_as_written "$archive"
check "after d: peers accept" peers_accept "$archive" big.bin

echo "zip64 large: $pass passed, $fail failed"
[ "$fail" -eq 0 ]
