#!/usr/bin/env bash
# Testing whole archives: `zarvo-cli t` against `unzip -t`, whole processes
# run alternately (bench/lib/alternate.py), on real data zipped by Info-ZIP zip:
#   headers-6.zip   /usr/include, zip -6
#   headers-9.zip   /usr/include, zip -9
#   binaries.zip    the larger programs of /usr/bin (about 60 MB), zip -6
# Both tools decode every member and check its CRC; neither writes a file.
#
#   bench/test_archives.sh
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/bench"
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DZARVO_BENCH=ON >/dev/null
fi
cmake --build "$build" --target zarvo-cli -j"$(nproc)" >/dev/null
zarvo="$build/zarvo-cli"

make_archive() { # name level source...
  local name=$1 level=$2
  shift 2
  local out="$build/$name"
  if [ ! -f "$out" ]; then
    echo "making $out ..."
    (cd / && zip -q -r "-$level" "$out.tmp" "$@") && mv "$out.tmp" "$out"
  fi
}
make_archive headers-6.zip 6 usr/include
make_archive headers-9.zip 9 usr/include
if [ ! -f "$build/binaries.zip" ]; then
  # The largest regular files of /usr/bin up to about 60 MB, a fixed choice per machine.
  mapfile -t bins < <(cd / && find usr/bin -maxdepth 1 -type f -size +200k -size -20M -printf '%s %p\n' |
                      sort -rn | awk '{ total += $1; if (total < 60e6) print $2 }')
  make_archive binaries.zip 6 "${bins[@]}"
fi

for archive in headers-6.zip headers-9.zip binaries.zip; do
  path="$build/$archive"
  # Both must pass before they are timed.
  "$zarvo" t "$path" >/dev/null
  unzip -tqq "$path" >/dev/null
  bytes=$(unzip -l "$path" | tail -n 1 | awk '{ print $1 }')
  echo "== $archive: $(stat -c %s "$path") bytes packed, $bytes bytes unpacked"
  python3 "$root/bench/lib/alternate.py" --runs 5 "unzip -t=unzip -tqq $path" "zarvo-cli t=$zarvo t $path"
done
