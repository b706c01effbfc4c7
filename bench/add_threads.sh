#!/usr/bin/env bash
# Both cores: whole processes, run alternately (bench/lib/alternate.py), on a
# mixed folder (the /usr/include headers and some larger programs):
#   `zarvo-cli a -l 6 -r -j 2`  against `zip -6 -r` and `7zz a -tzip -mx=5 -mmt=2`
#   `zarvo-cli a -l 6 -j 2` of one 45 MB file against `pigz -p 2 -6`
#   `zarvo-cli t -j 2` of the mixed archive against `unzip -t`
# The first command of each row is the reference of its ratios.
#
#   bench/add_threads.sh [RUNS]
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
runs="${1:-7}"
build="$root/build/bench"
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DZARVO_BENCH=ON >/dev/null
fi
cmake --build "$build" --target zarvo-cli -j2 >/dev/null
zarvo="$build/zarvo-cli"
alternate="$root/bench/lib/alternate.py"
out="$build/threads-bench"
rm -rf "$out"
mkdir -p "$out"

# A fixed copy so every tool reads the same files.
corpus="$build/threads-corpus"
if [ ! -d "$corpus" ]; then
  mkdir -p "$corpus/mixed/headers" "$corpus/mixed/binaries"
  cp -r /usr/include/. "$corpus/mixed/headers/"
  (cd / && find usr/bin -maxdepth 1 -type f -size +200k -size -20M -printf '%s %p\n' | sort -rn |
     awk '{ total += $1; if (total < 40e6) print $2 }') | while read -r f; do cp "/$f" "$corpus/mixed/binaries/"; done
fi
# Links that lead nowhere are warnings to every tool: not what is measured.
find "$corpus/mixed" -xtype l -delete
if [ ! -f "$corpus/one.bin" ]; then
  # One 45 MB file: programs and headers one after the other, as packed data and text come.
  (find "$corpus/mixed" -type f -print0 | sort -z | xargs -0 cat || true) | head -c 45000000 >"$corpus/one.bin"
fi
echo "mixed folder: $(du -sb "$corpus/mixed" | cut -f1) bytes in $(find "$corpus/mixed" -type f | wc -l) files"

echo "== a -l 6 -r of the mixed folder on 2 threads"
(cd "$corpus" && python3 "$alternate" --runs "$runs" \
  --prepare "rm -f $out/z.zip $out/i.zip $out/s.zip" \
  "zip=zip -q -r -6 $out/i.zip mixed" \
  "zarvo=$zarvo a -q -l 6 -j 2 -r $out/z.zip mixed" \
  "7zz=7zz a -bd -bso0 -tzip -mx=5 -mmt=2 $out/s.zip mixed")

echo "== a -l 6 of one 45 MB file on 2 threads"
(cd "$corpus" && python3 "$alternate" --runs "$runs" \
  --prepare "rm -f $out/one.zip $out/one.bin.gz" \
  "pigz=pigz -p 2 -6 -k -c one.bin >$out/one.bin.gz" \
  "zarvo=$zarvo a -q -l 6 -j 2 $out/one.zip one.bin")

echo "== t of the mixed archive on 2 threads"
rm -f "$out/t.zip"
(cd "$corpus" && "$zarvo" a -q -l 6 -r "$out/t.zip" mixed)
python3 "$alternate" --runs "$runs" \
  "unzip=unzip -tqq $out/t.zip" \
  "zarvo=$zarvo t -q -j 2 $out/t.zip"
