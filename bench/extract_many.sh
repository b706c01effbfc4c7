#!/usr/bin/env bash
# Extracting many small files: `zarvo-cli x` against `unzip` and `7zz x`,
# whole processes run alternately (bench/lib/alternate.py), into an emptied
# folder each time. Two archives, both made by Info-ZIP zip -6:
#   folders.zip   4,800 small files in 3 levels of folders (16 x 12 x 25)
#   one-folder.zip  20,000 small files in one folder
# The first command is unzip, so each ratio is ours (or 7zz's) over unzip's.
#
#   bench/extract_many.sh [--runs N] [--out DIR]
# --out extracts into DIR (emptied each time), e.g. /dev/shm/x to keep a
# busy disk's writes out of the times.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/bench"
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DZARVO_BENCH=ON >/dev/null
fi
cmake --build "$build" --target zarvo-cli -j2 >/dev/null
zarvo="$build/zarvo-cli"
data="$build/extract-many"
mkdir -p "$data"

# Small files of varied sizes and contents, the same on every machine.
make_tree() { # folder count-per-leaf levels...
  python3 - "$@" <<'PY'
import itertools, os, random, sys
top, per_leaf, levels = sys.argv[1], int(sys.argv[2]), [int(x) for x in sys.argv[3:]]
rng = random.Random(17)
words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
         for _ in range(500)]
for path in itertools.product(*[range(n) for n in levels]):
    folder = os.path.join(top, *[f"d{i:02d}" for i in path])
    os.makedirs(folder, exist_ok=True)
    for k in range(per_leaf):
        size = rng.randint(100, 6000)
        text = b" ".join(rng.choice(words) for _ in range(size // 5))
        with open(os.path.join(folder, f"File_{k:05d}.txt"), "wb") as f:
            f.write(text[:size])
PY
}

make_archive() { # name count-per-leaf levels...
  local name=$1
  shift
  if [ ! -f "$data/$name" ]; then
    echo "making $data/$name ..."
    rm -rf "$data/src"
    mkdir -p "$data/src"
    make_tree "$data/src/tree" "$@"
    (cd "$data/src" && zip -q -r -6 "$data/$name.tmp" tree) && mv "$data/$name.tmp" "$data/$name"
    rm -rf "$data/src"
  fi
}
make_archive folders.zip 25 16 12
make_archive one-folder.zip 20000

runs=7
out="$data/out"
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) echo "usage: $0 [--runs N] [--out DIR]" >&2; exit 2 ;;
  esac
done
for archive in folders.zip one-folder.zip; do
  path="$data/$archive"
  echo "== x of $archive: $(unzip -Z1 "$path" | grep -vc '/$') files"
  # Every tool must extract the same bytes before it is timed.
  for tool in zarvo unzip 7zz; do
    rm -rf "$out" && mkdir -p "$out"
    case $tool in
      zarvo) "$zarvo" x -q -o "$out" "$path" >/dev/null ;;
      unzip) unzip -qq -o "$path" -d "$out" ;;
      7zz) 7zz x -y -bd "-o$out" "$path" >/dev/null ;;
    esac
    (cd "$out" && find . -type f -print0 | sort -z | xargs -0 sha256sum | sha256sum) > "$data/$tool.sum"
  done
  cmp "$data/zarvo.sum" "$data/unzip.sum" && cmp "$data/zarvo.sum" "$data/7zz.sum"
  python3 "$root/bench/lib/alternate.py" --runs "$runs" \
    --prepare "rm -rf '$out' && mkdir -p '$out'" \
    "unzip=unzip -qq -o '$path' -d '$out'" \
    "zarvo-cli x='$zarvo' x -q -o '$out' '$path'" \
    "7zz x=7zz x -y -bd '-o$out' '$path'"
done
rm -rf "$out"
