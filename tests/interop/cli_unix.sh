#!/usr/bin/env bash
# zarvo-cli as a process, where standard input and the current folder are
# real: a replace question with input from /dev/null (and from a pipe that
# is empty) keeps the file, reports it and exits 1; -y and -n exit 0; "."
# adds the current folder without the archive itself; messages name files by
# their host paths. The same script runs the Windows build under Wine when
# CLI is a .exe (through scripts/wine-run): /dev/null is NUL there.
#   tests/interop/cli_unix.sh [CLI]
set -u
root="$(cd "$(dirname "$0")/../.." && pwd)"
cli=$(realpath "${1:-$root/build/native/zarvo-cli}")
run=("$cli")
case "$cli" in *.exe) run=("$root/scripts/wine-run" "$cli") ;; esac
work="$(mktemp -d "${TMPDIR:-/tmp}/zarvo-cli-unix.XXXXXX")"
work=$(realpath "$work")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL $1: $2"
  failures=$((failures + 1))
}

mkdir -p "$work/tree/sub"
cd "$work/tree" || exit 2
logs=$work
echo one >a.txt
echo two >sub/b.txt
"${run[@]}" a -r arc.zip . >"$logs/out.txt" 2>"$logs/err.txt" || fail "a -r ." "status $? $(cat "$logs/err.txt")"
"${run[@]}" a -r arc.zip . >"$logs/out.txt" 2>"$logs/err.txt" || fail "a -r . again" "status $? $(cat "$logs/err.txt")"
names=$(unzip -Z1 arc.zip | sort | tr '\n' ' ')
[ "$names" = "a.txt sub/b.txt " ] || fail "a -r ." "members: $names"
grep -q "^Add:  $work/tree/sub/b.txt" "$logs/out.txt" || fail "per-file line" "$(cat "$logs/out.txt")"

mkdir -p out
echo old >out/a.txt
for input in devnull pipe; do
  if [ $input = devnull ]; then
    "${run[@]}" x -o out arc.zip a.txt </dev/null >"$logs/out.txt" 2>"$logs/err.txt"
  else
    : | "${run[@]}" x -o out arc.zip a.txt >"$logs/out.txt" 2>"$logs/err.txt"
  fi
  status=$?
  [ $status = 1 ] || fail "x <$input" "status $status, not 1"
  [ "$(cat out/a.txt)" = old ] || fail "x <$input" "the file was replaced"
  grep -q "^Skipped (exists, not replaced): $work/tree/out/a.txt" "$logs/err.txt" || fail "x <$input" "no report: $(cat "$logs/err.txt")"
  grep -q "1 file was skipped" "$logs/err.txt" || fail "x <$input" "no summary: $(cat "$logs/err.txt")"
done
"${run[@]}" x -n -o out arc.zip a.txt </dev/null >"$logs/out.txt" 2>"$logs/err.txt"
status=$?
[ $status = 0 ] && [ ! -s "$logs/err.txt" ] && [ "$(cat out/a.txt)" = old ] || fail "x -n" "status $status $(cat "$logs/err.txt")"
"${run[@]}" x -y -o out arc.zip a.txt </dev/null >"$logs/out.txt" 2>"$logs/err.txt"
status=$?
[ $status = 0 ] && [ "$(cat out/a.txt)" = one ] || fail "x -y" "status $status $(cat "$logs/err.txt")"

"${run[@]}" l "$work/missing.zip" >"$logs/out.txt" 2>"$logs/err.txt"
status=$?
[ $status = 2 ] && grep -q "^Error: $work/missing.zip: Can't open file" "$logs/err.txt" ||
  fail "l missing.zip" "status $status $(cat "$logs/err.txt")"

if [ $failures -ne 0 ]; then
  echo "$failures failed"
  exit 1
fi
echo "all passed"
