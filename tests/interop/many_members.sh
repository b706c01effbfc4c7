#!/usr/bin/env bash
# More members than the end record's 16-bit count holds, written by zarvo-cli:
# 70,000 tiny files in a few folders added with zarvo-cli a, one removed with
# zarvo-cli d (69,999), then a folder of them (65,535 left: the largest count
# the end record holds, so no ZIP64 records). zarvo-cli and the four other
# tools (unzip, 7zz, Python's zipfile, bsdtar) must count every member and
# test the archive clean, and the end records are read by hand. A missing
# tool fails.
set -u
cli=$(realpath "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/zarvo-many.XXXXXX")
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

for tool in unzip 7zz python3 bsdtar; do
  check "$tool is installed" command -v "$tool"
done

# d0 to d5 hold 10,000 files each, e 5,536 and x 4,464 (named *.old, which
# one filter removes): 70,000 in all.
src=$work/src
python3 - "$src" <<'PY'
import os, sys
root = sys.argv[1]
for folder, n in [(f"d{i}", 10000) for i in range(6)] + [("e", 5536), ("x", 4464)]:
    os.makedirs(os.path.join(root, folder))
    extension = "old" if folder == "x" else "txt"
    for j in range(n):
        with open(os.path.join(root, folder, f"f{j:05d}.{extension}"), "w") as f:
            f.write(f"{folder} {j}\n")
PY
archive=$work/many.zip

counts_agree() { # count
  local n=$1 got
  got=$("$cli" l -v "$archive" | tail -n +2 | wc -l)
  [ "$got" = "$n" ] || { echo "zarvo-cli l -v: $got"; return 1; }
  "$cli" t "$archive" >"$work/t.log" 2>&1 || { tail -n 3 "$work/t.log"; return 1; }
  ! grep -q Warning "$work/t.log" || { grep Warning "$work/t.log" | head -n 3; return 1; }
  tail -n 1 "$work/t.log" | grep -qx "Tested $n of $n members: $n OK, 0 warnings" ||
    { tail -n 1 "$work/t.log"; return 1; }
  unzip -tqq "$archive" || { echo "unzip -t"; return 1; }
  got=$(unzip -l "$archive" | tail -n 1 | awk '{ print $2 }')
  [ "$got" = "$n" ] || { echo "unzip -l: $got"; return 1; }
  7zz t "$archive" >"$work/7zz.log" 2>&1 || { tail -n 5 "$work/7zz.log"; return 1; }
  # 7-Zip says what it finds odd in the archive (an overflowing count, a
  # headers error) as a warning, and still passes it.
  ! grep -qiE 'warning|error' "$work/7zz.log" || { grep -iE 'warning|error' "$work/7zz.log"; return 1; }
  grep -qx "Files: $n" "$work/7zz.log" || { echo "7zz t: $(grep Files "$work/7zz.log")"; return 1; }
  got=$(7zz l "$archive" | tail -n 1 | awk '{ print $(NF - 1) }')
  [ "$got" = "$n" ] || { echo "7zz l: $got"; return 1; }
  python3 - "$archive" "$n" <<'PY' || return 1
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    assert len(z.infolist()) == int(sys.argv[2]), len(z.infolist())
    bad = z.testzip()
    assert bad is None, bad
PY
  got=$(bsdtar -tf "$archive" | wc -l)
  [ "$got" = "$n" ] || { echo "bsdtar -t: $got"; return 1; }
  # bsdtar checks each member's CRC as it extracts.
  bsdtar -xOf "$archive" >/dev/null
}

# The end record and, past 65,535 members, the ZIP64 end record and its
# locator before it: where readers look for the count.
end_records() { # count
  python3 - "$archive" "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
n = int(sys.argv[2])
(sig, disk, cd_disk, here, total, size, offset, comment) = struct.unpack("<IHHHHIIH", data[-22:])
assert sig == 0x06054B50 and comment == 0, "end record not last"
assert (disk, cd_disk) == (0, 0)
if n <= 0xFFFF:
    # The count fits 16 bits, even at 0xFFFF: no locator, no ZIP64 end record.
    assert (here, total) == (n, n), (here, total)
    assert data[-42:-38] != b"PK\x06\x07", "ZIP64 locator"
    assert b"PK\x06\x06" not in data[offset + size:], "ZIP64 end record"
    assert offset + size == len(data) - 22
else:
    assert (here, total) == (0xFFFF, 0xFFFF), (here, total)
    (lsig, ldisk, at, disks) = struct.unpack("<IIQI", data[-42:-22])
    assert (lsig, ldisk, disks) == (0x07064B50, 0, 1)
    assert at == offset + size == len(data) - 42 - 56, (at, offset, size)
    (zsig, zsize, made, need, zdisk, zcd_disk, zhere, ztotal, zcd_size, zcd_offset) = \
        struct.unpack("<IQHHIIQQQQ", data[at:at + 56])
    assert (zsig, zsize, need, zdisk, zcd_disk) == (0x06064B50, 44, 45, 0, 0)
    assert (zhere, ztotal, zcd_size, zcd_offset) == (n, n, size, offset)
PY
}

check "zarvo-cli a 70000" sh -c "cd '$src' && '$cli' a -l 6 -r '$archive' d0 d1 d2 d3 d4 d5 e x >/dev/null"
check "70000: end records" end_records 70000
check "70000: counted and tested" counts_agree 70000

check "zarvo-cli d one" "$cli" d "$archive" d3/f04321.txt
check "69999: end records" end_records 69999
check "69999: counted and tested" counts_agree 69999
check "69999: the member is gone" sh -c "! '$cli' l -v '$archive' | grep -q '^d3/f04321.txt'"

check "zarvo-cli d a folder" "$cli" d "$archive" '*.old'
check "65535: end records" end_records 65535
check "65535: counted and tested" counts_agree 65535

echo "many members: $pass passed, $fail failed"
[ "$fail" -eq 0 ]
