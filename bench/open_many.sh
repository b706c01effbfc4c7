#!/usr/bin/env bash
# Opening an archive of many members: `zarvo-cli l` against `unzip -l` (and
# `7zz l`), whole processes run alternately (bench/lib/alternate.py), then
# the catalog microbenchmarks.
#
#   bench/open_many.sh [MEMBERS]      (default 100000)
#
# zarvo-cli and the microbenchmarks come from a Release tree in build/bench;
# the archive (stored members of a few bytes, names like dir123/file45678.txt)
# is made once with Python's zipfile and kept in build/bench/.
set -euo pipefail

members="${1:-100000}"
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/bench"
archive="$build/many-$members.zip"

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DZARVO_BENCH=ON >/dev/null
fi
cmake --build "$build" --target zarvo-cli catalog_bench -j"$(nproc)" >/dev/null

if [ ! -f "$archive" ]; then
  echo "making $archive ..."
  python3 - "$archive" "$members" <<'EOF'
import sys, zipfile
path, n = sys.argv[1], int(sys.argv[2])
tmp = path + ".tmp"
with zipfile.ZipFile(tmp, "w", zipfile.ZIP_STORED) as z:
    for i in range(n):
        # Folders interleave, so the central directory is not in name order.
        info = zipfile.ZipInfo(f"dir{i % 1000}/file{i:05d}.txt", date_time=(2021, 6, 1, 12, 0, 0))
        z.writestr(info, b"%d\n" % i)
import os
os.replace(tmp, path)
EOF
fi
echo "archive: $archive ($(stat -c %s "$archive") bytes, $members members)"

zarvo="$build/zarvo-cli"
# Each tool must list the archive before it is timed.
"$zarvo" l "$archive" | tail -n 1
unzip -l "$archive" | tail -n 1
# Whole processes run alternately; ratios against unzip -l.
commands=("unzip -l=unzip -l $archive" "zarvo-cli l=$zarvo l $archive")
command -v 7zz >/dev/null && commands+=("7zz l=7zz l $archive")
python3 "$root/bench/lib/alternate.py" --runs 10 "${commands[@]}"
echo
echo "catalog microbenchmarks:"
ZARVO_BENCH_ARCHIVE="$archive" "$build/bench/catalog_bench" --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true
