#!/usr/bin/env bash
# Deflate64 archives written by 7zz at test time (-mm=Deflate64 at levels 1,
# 5 and 9) from varied inputs: text, random bytes, highly repetitive data
# with repeats 40 to 64 KB apart, files over 200 KB, an empty file and a
# folder. 7zz l -slt must show Deflate64 as the method of every compressible
# input (else the archive does not test what it should); zarvo-cli l -v must
# show method 9 for those, t must pass, and x must give back the same bytes
# as 7zz x, which must be the inputs. A missing 7zz fails.
set -u
cli=$(realpath "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/zarvo-deflate64.XXXXXX")
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

in=$work/in
mkdir -p "$in/sub"
make_inputs() {
  seq 1 60000 >"$in/numbers.txt" || return 1
  python3 - "$in" <<'PY'
import os, random, sys
out = sys.argv[1]
r = random.Random(9)
words = "zip member window deflate distance length history block table code copy".split()
with open(os.path.join(out, "words.txt"), "w") as f:
    for _ in range(30000):
        f.write(" ".join(r.choice(words) for _ in range(r.randint(3, 12))) + "\n")
# Random blocks that come back 40 to 64 KB later, between long runs and
# patterns: matches only Deflate64's distance codes 30 and 31 reach.
chunk = lambda n: bytes(r.getrandbits(8) for _ in range(n))
parts, blocks = [], [chunk(3000) for _ in range(6)]
for i in range(12):
    parts += [blocks[i % 6], bytes([i]) * r.randint(30000, 55000), blocks[(i + 3) % 6],
              b"pattern%d" % i * 500]
with open(os.path.join(out, "repetitive.bin"), "wb") as f:
    f.write(b"".join(parts))
with open(os.path.join(out, "sub", "one-byte-run.bin"), "wb") as f:
    f.write(b"z" * 300000)
PY
  head -c 250000 /dev/urandom >"$in/random.bin" || return 1
  : >"$in/empty.txt"
  printf 'a few bytes\n' >"$in/sub/small.txt"
}
check "inputs" make_inputs
compressible="numbers.txt words.txt repetitive.bin sub/one-byte-run.bin"

for level in 1 5 9; do
  archive=$work/d64-$level.zip
  check "7zz -mx=$level writes the archive" \
    sh -c "cd '$in' && 7zz a -tzip -mm=Deflate64 -mx=$level -bso0 -bsp0 '$archive' ."
  written_as_deflate64() {
    local listing name method
    listing=$(7zz l -slt "$archive") || return 1
    for name in $compressible; do
      method=$(printf '%s\n' "$listing" | awk -v n="$name" '$0 == "Path = " n { p = 1 } p && /^Method = / { print $3; exit }')
      [ "$method" = Deflate64 ] || { echo "7zz wrote $name with method '$method'"; return 1; }
    done
  }
  check "7zz -mx=$level: Deflate64 members" written_as_deflate64
  listed_as_method_9() {
    local name method
    for name in $compressible; do
      method=$("$cli" l -v "$archive" | awk -F'\t' -v n="$name" '$1 == n { print $2 }')
      [ "$method" = 9 ] || { echo "$name listed with method '$method'"; return 1; }
    done
  }
  check "zarvo-cli l -v, level $level" listed_as_method_9
  check "zarvo-cli t, level $level" "$cli" t "$archive"
  extracted_as_7zz() {
    rm -rf "$work/x" "$work/7x"
    "$cli" x -y -o "$work/x" "$archive" || return 1
    7zz x -bso0 -bsp0 -o"$work/7x" "$archive" || return 1
    diff -r "$work/7x" "$work/x" || return 1
    diff -r "$in" "$work/x"
  }
  check "zarvo-cli x same as 7zz x, level $level" extracted_as_7zz
done

echo "deflate64 7zz: $pass passed, $fail failed"
[ "$fail" -eq 0 ]
