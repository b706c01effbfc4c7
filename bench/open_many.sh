#!/usr/bin/env bash
# Opening an archive of many members: `zarvo-cli l` against `unzip -l` (and
# `7zz l`), whole processes, side by side in the same run, then the
# catalog microbenchmarks.
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
peers=(unzip)
if command -v 7zz >/dev/null; then peers+=(7zz); fi

# Every command runs without a shell; its output is thrown away.
commands=("$zarvo l $archive" "unzip -l $archive")
names=("zarvo-cli l" "unzip -l")
if [[ " ${peers[*]} " == *" 7zz "* ]]; then
  commands+=("7zz l $archive")
  names+=("7zz l")
fi

results="$build/open_many-$members.json"
if command -v hyperfine >/dev/null; then
  args=()
  for i in "${!commands[@]}"; do args+=(-n "${names[$i]}" "${commands[$i]}"); done
  hyperfine -N --warmup 1 --runs 10 --export-json "$results" "${args[@]}"
else
  # Without hyperfine: the median of 5 runs each, interleaved.
  python3 - "$results" "${names[@]}" -- "${commands[@]}" <<'EOF'
import json, statistics, subprocess, sys, time
out = sys.argv[1]
rest = sys.argv[2:]
sep = rest.index("--")
names, commands = rest[:sep], rest[sep + 1:]
times = {n: [] for n in names}
for _ in range(5):
    for n, c in zip(names, commands):
        t = time.perf_counter()
        subprocess.run(c.split(), stdout=subprocess.DEVNULL, check=True)
        times[n].append(time.perf_counter() - t)
json.dump({"results": [{"command": n, "median": statistics.median(times[n]),
                        "mean": statistics.mean(times[n]), "times": times[n]} for n in names]},
          open(out, "w"))
EOF
fi

python3 - "$results" <<'EOF'
import json, sys
rows = json.load(open(sys.argv[1]))["results"]
t = {r["command"]: r["median"] for r in rows}
print()
print("median wall time per listing:")
for name, secs in t.items():
    print(f"  {name:<12} {secs * 1000:9.1f} ms")
z = t["zarvo-cli l"]
for name, secs in t.items():
    if name != "zarvo-cli l":
        print(f"  ratio zarvo-cli / {name.split()[0]}: {z / secs:.2f}")
EOF

echo
echo "catalog microbenchmarks:"
ZARVO_BENCH_ARCHIVE="$archive" "$build/bench/catalog_bench" --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true
