#!/usr/bin/env bash
# Writing archives: `zarvo-cli a -l N` against Info-ZIP `zip -N`, whole
# processes run alternately (bench/lib/alternate.py), on the /usr/include
# headers and on the larger programs of /usr/bin, at levels 1, 6 and 9.
# Reports the median times and their ratio, and the archive size of each.
#
#   bench/add_archives.sh
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
out="$build/add-bench"
rm -rf "$out"
mkdir -p "$out"

# A fixed copy of each corpus so both tools read the same files.
corpus="$build/add-corpus"
if [ ! -d "$corpus" ]; then
  mkdir -p "$corpus/headers" "$corpus/binaries"
  cp -r /usr/include/. "$corpus/headers/"
  (cd / && find usr/bin -maxdepth 1 -type f -size +200k -size -20M -printf '%s %p\n' | sort -rn |
     awk '{ total += $1; if (total < 40e6) print $2 }') | while read -r f; do cp "/$f" "$corpus/binaries/"; done
fi

for set in headers binaries; do
  bytes=$(du -sb "$corpus/$set" | cut -f1)
  for level in 1 6 9; do
    echo "== $set ($bytes bytes) level $level"
    (cd "$corpus" &&
      python3 "$root/bench/lib/alternate.py" --runs 3 --prepare "rm -f $out/z.zip $out/i.zip" \
        "zip -$level=zip -q -r -$level $out/i.zip $set" \
        "zarvo-cli a -l $level=$zarvo a -l $level -r $out/z.zip $set")
    # Sizes from one more run of each.
    rm -f "$out/z.zip" "$out/i.zip"
    (cd "$corpus" && "$zarvo" a -l "$level" -r "$out/z.zip" "$set" >/dev/null && zip -q -r "-$level" "$out/i.zip" "$set")
    z_size=$(stat -c %s "$out/z.zip")
    i_size=$(stat -c %s "$out/i.zip")
    echo "  size: zarvo-cli $z_size, zip $i_size (ratio $(python3 -c "print(f'{$z_size / $i_size:.4f}')"))"
  done
done
