#!/usr/bin/env bash
# Explode and unshrink throughput: our decoders in process, then whole
# processes testing the same archives, `zarvo-cli t` beside `unzip -t` (and
# `7zz t`), run alternately (bench/lib/alternate.py).
#
#   bench/explode_unshrink.sh [COPIES]      (default 40)
#
# The imploded and shrunk fixtures are small (the largest member decodes to
# 474 KB), so that a whole process spends most of its time starting. Two
# larger archives are therefore made from their raw member records, each
# member repeated COPIES times under new names: implode-xN.zip (every
# imploded fixture member, all four variants) and shrink-xN.zip (every shrunk
# one). They are kept in build/bench/ with the Release tree.
set -euo pipefail

copies="${1:-40}"
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/bench"
data="$root/tests/data/zip"

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DZARVO_BENCH=ON >/dev/null
fi
cmake --build "$build" --target zarvo-cli explode_unshrink_bench -j"$(nproc)" >/dev/null

implode="$build/implode-x$copies.zip"
shrink="$build/shrink-x$copies.zip"
python3 - "$data" "$copies" "$implode" "$shrink" <<'EOF'
import os, struct, sys
src, copies, implode_out, shrink_out = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]

def members(path, method):
    data = open(path, "rb").read()
    end = data.rfind(b"PK\x05\x06")
    count, _, pos = struct.unpack_from("<HII", data, end + 10)
    for _ in range(count):
        (made, need, flags, how, time, date, crc, csize, usize, nlen, xlen, clen, _, _, ext,
         local) = struct.unpack_from("<HHHHHHIIIHHHHHII", data, pos + 4)
        name = data[pos + 46:pos + 46 + nlen]
        pos += 46 + nlen + xlen + clen
        if how != method:
            continue
        lname, lextra = struct.unpack_from("<HH", data, local + 26)
        start = local + 30 + lname + lextra
        yield dict(need=need, flags=flags, method=how, time=time, date=date, crc=crc,
                   csize=csize, usize=usize, ext=ext, name=name, data=data[start:start + csize])

def write(path, method, archives):
    if os.path.exists(path):
        return
    chosen = [m for a in archives for m in members(os.path.join(src, a), method)]
    out, central = bytearray(), bytearray()
    n = 0
    for c in range(copies):
        for m in chosen:
            name = b"copy%03d/" % c + m["name"]
            head = struct.pack("<HHHHHIIIHH", m["need"], m["flags"], m["method"], m["time"],
                               m["date"], m["crc"], m["csize"], m["usize"], len(name), 0)
            offset = len(out)
            out += b"PK\x03\x04" + head + name + m["data"]
            central += (b"PK\x01\x02" + struct.pack("<H", 20) + head +
                        struct.pack("<HHHII", 0, 0, 0, m["ext"], offset) + name)
            n += 1
    end = struct.pack("<4sHHHHIIH", b"PK\x05\x06", 0, 0, n, n, len(central), len(out), 0)
    open(path + ".tmp", "wb").write(bytes(out + central + end))
    os.replace(path + ".tmp", path)

write(implode_out, 6, ["hw_implode_4k2t.zip", "hw_implode_4k3t.zip", "hw_implode_8k2t.zip",
                       "hw_implode_8k3t.zip", "hw_implode_big.zip"])
write(shrink_out, 1, ["hw_shrink.zip", "hw_shrink_edge.zip"])
EOF

archives=("$data/hw_implode_big.zip" "$data/hw_implode_4k2t.zip" "$data/hw_implode_4k3t.zip"
          "$data/hw_implode_8k2t.zip" "$data/hw_implode_8k3t.zip" "$data/hw_shrink.zip"
          "$data/hw_shrink_edge.zip" "$data/mixed_methods.zip" "$implode" "$shrink")

echo "in process (best pass, uncompressed MB/s):"
"$build/bench/explode_unshrink_bench" "${archives[@]}"

# Whole processes. Every tool must pass the archive before it is timed.
zarvo="$build/zarvo-cli"
have_zarvo_t=0
if "$zarvo" t "$data/hw_shrink.zip" >/dev/null 2>&1; then have_zarvo_t=1; fi
have_7zz=0
command -v 7zz >/dev/null && have_7zz=1

echo
echo "whole process, alternating runs, ratios against unzip -t:"
if [ "$have_zarvo_t" = 0 ]; then
  echo "  (this zarvo-cli cannot test archives: the peers only)"
fi
for archive in "$data/hw_implode_big.zip" "$data/hw_shrink.zip" "$implode" "$shrink"; do
  unzip -tqq "$archive"
  commands=("unzip -t=unzip -tqq $archive")
  if [ "$have_7zz" = 1 ]; then
    7zz t "$archive" >/dev/null
    commands+=("7zz t=7zz t $archive")
  fi
  if [ "$have_zarvo_t" = 1 ]; then
    "$zarvo" t "$archive" >/dev/null
    commands+=("zarvo-cli t=$zarvo t $archive")
  fi
  python3 - "$archive" <<'EOF'
import struct, sys
data = open(sys.argv[1], "rb").read()
end = data.rfind(b"PK\x05\x06")
count, _, pos = struct.unpack_from("<HII", data, end + 10)
total = 0
for _ in range(count):
    usize, nlen, xlen, clen = struct.unpack_from("<IHHH", data, pos + 24)
    total += usize
    pos += 46 + nlen + xlen + clen
name = sys.argv[1].rsplit("/", 1)[-1]
print(f"  {name} ({total / 1e6:.2f} MB uncompressed, all members)")
EOF
  python3 "$root/bench/lib/alternate.py" --warmup 2 --runs 15 "${commands[@]}"
done
