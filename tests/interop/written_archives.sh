#!/usr/bin/env bash
# Archives written by zarvo-cli at levels 0, 1, 3, 6 and 9 from a real corpus
# (C++ headers, programs, an empty and a one-byte file, a tree with empty
# folders) must pass unzip -t, 7zz t, Python's zipfile and bsdtar, and
# extract byte-identically with unzip and with zarvo-cli itself.
set -u
cli=$(realpath "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/zarvo-interop.XXXXXX")
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

corpus=$work/corpus
mkdir -p "$corpus/headers" "$corpus/bin" "$corpus/tree/empty" "$corpus/tree/a/b/deeper" "$corpus/tree/a/empty2"
cp -r /usr/include/c++/*/bits/. "$corpus/headers/" 2>/dev/null || cp -r /usr/include/linux/. "$corpus/headers/"
for p in bash ls cp cmake; do
  [ -f "/usr/bin/$p" ] && cp "/usr/bin/$p" "$corpus/bin/"
done
: >"$corpus/tree/empty.txt"
printf 'x' >"$corpus/tree/one.txt"
printf 'deep\n' >"$corpus/tree/a/b/deeper/deep.txt"
head -c 100000 /dev/urandom >"$corpus/tree/random.bin"

for level in 0 1 3 6 9; do
  archive=$work/l$level.zip
  (cd "$work/corpus" && "$cli" a -l "$level" -r -D "$archive" headers bin tree) >"$work/add.log" 2>&1 ||
    { echo "FAIL level $level: zarvo-cli a"; tail -n 5 "$work/add.log"; fail=$((fail + 1)); continue; }
  check "unzip -t l$level" unzip -tqq "$archive"
  check "7zz t l$level" 7zz t "$archive"
  check "python zipfile l$level" python3 -c "import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); sys.exit(z.testzip() is not None)" "$archive"
  check "bsdtar l$level" bsdtar -tf "$archive"
  # Random data grows when deflated: it goes in stored at every level.
  check "random.bin stored l$level" sh -c "zipinfo '$archive' tree/random.bin | grep -q ' stor '"
  rm -rf "$work/x1" "$work/x2"
  check "unzip extracts l$level" unzip -qq "$archive" -d "$work/x1"
  check "unzip output l$level" diff -r "$corpus" "$work/x1"
  check "zarvo-cli extracts l$level" "$cli" x -y -o "$work/x2" "$archive"
  check "zarvo-cli output l$level" diff -r "$corpus" "$work/x2"
done
# Archive comments written in place are read back by unzip, and erased.
comment_check() {
  local archive=$work/l6.zip
  printf 'first line\r\nsecond line' | "$cli" c "$archive" >/dev/null 2>&1 || return 1
  [ "$(unzip -z "$archive" | tail -n +2 | tr -d '\r')" = "$(printf 'first line\nsecond line')" ] || return 1
  "$cli" c "$archive" </dev/null >/dev/null 2>&1 || return 1
  [ -z "$(unzip -z "$archive" | tail -n +2)" ] || return 1
  unzip -tqq "$archive"
}
check "comment set and erased" comment_check

# A comment of the full 65,535 bytes is written, and read back whole by
# zarvo-cli, unzip, 7-Zip and Python.
full_comment_check() {
  local archive=$work/l1.zip
  python3 -c "import sys; sys.stdout.buffer.write(b''.join(b'line %05d '.ljust(78, b'c') % i + b'\r\n' for i in range(900))[:65535])" >"$work/comment.txt"
  [ "$(wc -c <"$work/comment.txt")" -eq 65535 ] || return 1
  "$cli" c "$archive" <"$work/comment.txt" >/dev/null 2>&1 || return 1
  "$cli" t "$archive" >/dev/null 2>&1 || return 1
  "$cli" l "$archive" >"$work/listed.txt" 2>&1 || return 1
  python3 - "$archive" "$work/comment.txt" "$work/listed.txt" <<'PY' || return 1
import subprocess, sys, zipfile
archive, comment = sys.argv[1], open(sys.argv[2], "rb").read()
assert comment in open(sys.argv[3], "rb").read(), "zarvo-cli l"
assert zipfile.ZipFile(archive).comment == comment, "zipfile"
unzip = subprocess.run(["unzip", "-z", archive], capture_output=True, check=True).stdout
assert unzip.replace(b"\r", b"").split(b"\n", 1)[1] == comment.replace(b"\r", b"") + b"\n", "unzip -z"
seven = subprocess.run(["7zz", "l", archive], capture_output=True, check=True).stdout
assert comment.replace(b"\r", b"") in seven.replace(b"\r", b""), "7zz l"
PY
  unzip -tqq "$archive"
}
check "full-size comment" full_comment_check

# Removing and freshening keep the other members byte for byte.
remove_check() {
  local archive=$work/l9.zip
  "$cli" d "$archive" 'tree/one.txt' >/dev/null 2>&1 || return 1
  unzip -tqq "$archive" || return 1
  ! unzip -l "$archive" | grep -q 'tree/one.txt'
}
check "remove" remove_check

echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]
