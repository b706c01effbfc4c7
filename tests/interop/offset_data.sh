#!/usr/bin/env bash
# Archives with data in front of them that their offsets do not count: the
# crafted ones of tests/data/offset, and Info-ZIP archives with a 100-byte
# and a 100 KiB stub put before them by `cat`. zarvo-cli t must pass each with
# its warning where unzip -t passes with its "extra bytes" warning; after
# zarvo-cli d of one member, or a of a file, unzip -t must pass without a
# warning, and 7zz t, Python's zipfile and bsdtar must accept the result. An
# archive whose stub `zip -A` counted must pass without a warning.
#   tests/interop/offset_data.sh [CLI] [FOLDER]
set -u
root="$(cd "$(dirname "$0")/../.." && pwd)"
cli=$(realpath "${1:-$root/build/native/zarvo-cli}")
data=${2:-$root/tests/data/offset}
work="$(mktemp -d "${TMPDIR:-/tmp}/zarvo-offset.XXXXXX")"
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL $1: $2"
  failures=$((failures + 1))
}

# Info-ZIP archives with stubs in front, offsets left as they were.
mkdir -p "$work/src/sub"
for i in $(seq 1 300); do echo "line $i of a text that deflates"; done >"$work/src/text.txt"
head -c 5000 /dev/zero | tr '\0' 'z' >"$work/src/sub/zeds.bin"
(cd "$work/src" && zip -qr -X "$work/plain.zip" text.txt sub)
head -c 100 /dev/zero | tr '\0' 's' >"$work/stub100"
# Not a multiple of the 8192-byte read block: every record lands elsewhere in its block.
head -c 102400 /dev/zero | tr '\0' 'S' >"$work/stub100k"
cat "$work/stub100" "$work/plain.zip" >"$work/infozip-100-byte-stub.zip"
cat "$work/stub100k" "$work/plain.zip" >"$work/infozip-100-kib-stub.zip"
cp "$data"/*.zip "$work"/

python_test() {
  python3 -c 'import sys, zipfile; sys.exit(0 if zipfile.ZipFile(sys.argv[1]).testzip() is None else 1)' "$1"
}

# The result of a writing job: no tool may find anything in it to warn about.
check_written() {
  local what=$1 archive=$2 out rc
  out=$(unzip -t "$archive" 2>&1); rc=$?
  [ $rc -eq 0 ] || fail "$what" "unzip -t gives $rc: $out"
  case "$out" in *"extra bytes"*) fail "$what" "unzip -t still finds extra bytes" ;; esac
  7zz t "$archive" >/dev/null 2>&1 || fail "$what" "7zz t fails"
  python_test "$archive" || fail "$what" "Python's zipfile fails"
  bsdtar -tf "$archive" >/dev/null 2>&1 || fail "$what" "bsdtar -tf fails"
  out=$("$cli" t "$archive" 2>&1 </dev/null); rc=$?
  [ $rc -eq 0 ] || fail "$what" "zarvo-cli t gives $rc: $out"
}

echo "| archive | zarvo-cli t | unzip -t | after d | after a |"
echo "|---|---|---|---|---|"
for archive in "$work"/*.zip; do
  name=$(basename "$archive")
  [ "$name" = plain.zip ] && continue
  ours=$("$cli" t "$archive" 2>&1 </dev/null); ours_rc=$?
  theirs=$(unzip -t "$archive" 2>&1 </dev/null); theirs_rc=$?
  [ $theirs_rc -eq 1 ] && [[ $theirs == *"extra bytes at beginning or within zipfile"* ]] &&
    [[ $theirs == *"No errors detected"* ]] || fail "$name" "unzip -t does not pass it with its warning: $theirs"
  [ $ours_rc -eq 1 ] && [[ $ours == *"do not count the data in front of it"* ]] ||
    fail "$name" "zarvo-cli t gives $ours_rc: $ours"

  first=$("$cli" l -v "$archive" 2>/dev/null </dev/null | sed -n 2p | cut -f1)
  before=$failures
  cp "$archive" "$work/d.zip"
  "$cli" d "$work/d.zip" "$first" >/dev/null 2>&1 </dev/null
  check_written "$name, d $first" "$work/d.zip"
  after_d=$([ $failures -eq $before ] && echo "all pass" || echo FAIL)
  before=$failures
  echo "added" >"$work/added.txt"
  cp "$archive" "$work/a.zip"
  (cd "$work" && "$cli" a a.zip added.txt >/dev/null 2>&1 </dev/null)
  check_written "$name, a added.txt" "$work/a.zip"
  after_a=$([ $failures -eq $before ] && echo "all pass" || echo FAIL)
  echo "| $name | $ours_rc | $theirs_rc | $after_d | $after_a |"
  rm -f "$work/d.zip" "$work/a.zip"
done

# A stub that zip -A counted: read as any archive, without a warning.
cp "$work/infozip-100-byte-stub.zip" "$work/counted.zip"
zip -qA "$work/counted.zip"
out=$(unzip -t "$work/counted.zip" 2>&1); rc=$?
[ $rc -eq 0 ] || fail "counted stub" "unzip -t gives $rc: $out"
out=$("$cli" t "$work/counted.zip" 2>&1 </dev/null); rc=$?
[ $rc -eq 0 ] || fail "counted stub" "zarvo-cli t gives $rc: $out"
echo "| zip -A of infozip-100-byte-stub.zip | $rc | 0 | - | - |"

echo
echo "failures: $failures"
[ $failures -eq 0 ]
