#!/usr/bin/env bash
# Writing archives: `zarvo-cli a -l N` against Info-ZIP `zip -N`, whole
# processes, side by side in the same run, on the /usr/include headers and
# on the larger programs of /usr/bin, at levels 1, 6 and 9. Reports the time
# and the archive size of each and their ratios.
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
    json="$out/$set-$level.json"
    (cd "$corpus" &&
      hyperfine -N --warmup 1 --runs 3 --export-json "$json" \
        --prepare "rm -f $out/z.zip $out/i.zip" \
        -n "zarvo-cli a -l $level" "$zarvo a -l $level -r $out/z.zip $set" \
        -n "zip -$level" "zip -q -r -$level $out/i.zip $set" >/dev/null)
    # Sizes from one more run of each.
    rm -f "$out/z.zip" "$out/i.zip"
    (cd "$corpus" && "$zarvo" a -l "$level" -r "$out/z.zip" "$set" >/dev/null && zip -q -r "-$level" "$out/i.zip" "$set")
    python3 - "$json" "$set" "$level" "$bytes" "$(stat -c %s "$out/z.zip")" "$(stat -c %s "$out/i.zip")" <<'PY'
import json, sys
path, name, level, raw, ours_size, theirs_size = sys.argv[1:]
r = {x["command"]: x["median"] for x in json.load(open(path))["results"]}
ours, theirs = r[f"zarvo-cli a -l {level}"], r[f"zip -{level}"]
mb = int(raw) / 1e6
print(f"{name} level {level}: zarvo-cli {ours*1000:.0f} ms ({mb/ours:.0f} MB/s), zip {theirs*1000:.0f} ms "
      f"({mb/theirs:.0f} MB/s), time ratio {ours/theirs:.2f}; size {ours_size} vs {theirs_size} "
      f"(ratio {int(ours_size)/int(theirs_size):.4f})")
PY
  done
done
