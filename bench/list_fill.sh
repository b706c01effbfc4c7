#!/usr/bin/env bash
# Opening an archive of many members in the window, under Wine: the time
# from starting zarvo.exe on the archive to its drawn window, beside the
# peers listing the same archive natively (`unzip -l`, `7zz l`) and our own
# `zarvo-cli l`, in the same run; the listings are whole processes run
# alternately (bench/lib/alternate.py).
#
#   bench/list_fill.sh [MEMBERS]      (default 20000)
#
# Trees: build/bench-win (Release, mingw-w64) and build/bench (Release,
# native); the archive is made with Python's zipfile and kept in build/bench.
set -euo pipefail

members="${1:-20000}"
root="$(cd "$(dirname "$0")/.." && pwd)"
win="$root/build/bench-win"
native="$root/build/bench"
archive="$native/list-$members.zip"

if [ ! -f "$win/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$win" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZARVO_BENCH=ON \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
fi
cmake --build "$win" --target window_start_bench zarvo >/dev/null
if [ ! -f "$native/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZARVO_BENCH=ON >/dev/null
fi
cmake --build "$native" --target zarvo-cli >/dev/null

if [ ! -f "$archive" ]; then
  mkdir -p "$native"
  python3 - "$archive" "$members" <<'PY'
import sys, zipfile, os
path, n = sys.argv[1], int(sys.argv[2])
with zipfile.ZipFile(path + ".tmp", "w", zipfile.ZIP_DEFLATED) as z:
    for i in range(n):
        info = zipfile.ZipInfo(f"dir{i % 200}/file{i:05d}.txt", date_time=(2021, 6, 1, 12, i % 60, 0))
        info.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(info, b"line %d\n" % i * (1 + i % 7))
os.replace(path + ".tmp", path)
PY
fi
echo "archive: $archive ($members members)"

export WINEPREFIX="$win/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# A prefix made without the display must be left by its wineserver before
# windows can be made on the virtual display.
[ -d "$WINEPREFIX" ] || { wineboot -i >/dev/null 2>&1; wineserver -w; }
display=()
[ -n "${DISPLAY:-}" ] || display=(xvfb-run -a)
echo "--- zarvo.exe started on the archive until its window is drawn"
# Its own program folder, so that its settings and work folder are its own.
program="$win/bench-program"
mkdir -p "$program"
cp "$win/zarvo.exe" "$program/"
"${display[@]}" wine "$win/bench/window_start_bench.exe" "$(winepath -w "$program/zarvo.exe" 2>/dev/null)" \
  "$(winepath -w "$archive" 2>/dev/null)" "$members" 5
wineserver -k >/dev/null 2>&1 || true

echo "--- native listings, whole processes (ratios against unzip -l)"
peers=("unzip -l=unzip -l $archive" "zarvo-cli l=$native/zarvo-cli l $archive")
command -v 7zz >/dev/null && peers+=("7zz l=7zz l $archive")
python3 "$root/bench/lib/alternate.py" --runs 10 "${peers[@]}"
