#!/usr/bin/env bash
# zarvo.exe started as its own program with the archive named as a user
# types it: a bare name in the archive's own folder, and a Unix path given to
# Wine. Both must show the archive (its name in the status bar, its members
# in the list). A path too long for the program's buffers must be refused
# with a message and leave a usable window.
#
#   tests/e2e/archive_paths.sh WINDRIVER.exe ZARVO.exe
#
# Uses $WINEPREFIX or the build tree's prefix, as scripts/wine-run does. Every
# wait is bounded; on failure it prints what it saw and ends zarvo.
set -u
export LC_ALL=C.UTF-8
root="$(cd "$(dirname "$0")/../.." && pwd)"
if [ $# -ne 2 ]; then
  echo "usage: $0 WINDRIVER.exe ZARVO.exe" >&2
  exit 2
fi
driver=$(realpath "$1") zarvo=$(realpath "$2")
wine_run=$root/scripts/wine-run

# One prefix for zarvo and the driver: zarvo runs from a copy outside the
# build tree, where scripts/wine-run would make a prefix of its own.
if [ -z "${WINEPREFIX:-}" ]; then
  dir=$(dirname "$driver")
  while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  export WINEPREFIX=$dir/wineprefix
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/zarvo-paths.XXXXXX")
work=$(realpath "$work")
zarvo_pid=

stop_started() {
  [ -n "$zarvo_pid" ] || return 0
  kill -TERM -- "-$zarvo_pid" 2>/dev/null
  sleep 1
  kill -KILL -- "-$zarvo_pid" 2>/dev/null
  zarvo_pid=
}
cleanup() {
  stop_started
  rm -rf "$work"
}
trap cleanup EXIT

exec 3>&1
trap 'exit 1' USR1
fail() {
  {
    echo "FAIL $*"
    echo "---- windows on the screen, with their controls (id, class, text):"
    "$wine_run" "$driver" screen 2>&1 | tr -d '\r' | head -n 60
  } >&3
  [ "$BASHPID" = "$$" ] || kill -USR1 $$
  exit 1
}

drive() {
  local out rc
  out=$("$wine_run" "$driver" "$@" 2>"$work/driver.err")
  rc=$?
  out=${out//$'\r'/}
  if [ "$rc" != 0 ]; then
    { echo "$out"; cat "$work/driver.err"; } >&3
    fail "windriver $* (exit $rc)"
  fi
  [ -z "$out" ] || echo "$out"
}

same() {
  if [ "$2" = "$3" ]; then
    echo "ok   $1" >&3
  else
    {
      echo "expected:"
      echo "$2" | sed 's/^/  | /'
      echo "got:"
      echo "$3" | sed 's/^/  | /'
    } >&3
    fail "$1"
  fi
}

# The program in a folder of its own (zarvo.ini is written beside it), the
# archive in another.
mkdir -p "$work/prog" "$work/x"
cp "$zarvo" "$work/prog/zarvo.exe"
python3 -c 'import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("aliases.h", "#define A 1\n")
    z.writestr("docs/b.txt", "b")' "$work/x/a.zip" || fail "python zipfile"

main='ui.DecoratedFrame|ZARVO'
status='msctls_statusbar32:0'

# start FOLDER ARGUMENT: zarvo started from FOLDER with ARGUMENT, in a
# session of its own so that a failure can end it.
start() {
  (cd "$1" && exec setsid "$wine_run" "$work/prog/zarvo.exe" "$2") >"$work/zarvo.out" 2>&1 &
  zarvo_pid=$!
}

# Closes the window and waits for the program to end: one copy at a time.
finish() {
  drive window "$main" close >/dev/null
  local deadline=$(($(date +%s) + 30))
  while kill -0 "$zarvo_pid" 2>/dev/null; do
    [ "$(date +%s)" -lt "$deadline" ] || fail "$1: zarvo did not end after its window closed"
    sleep 0.3
  done
  zarvo_pid=
}

shows_archive() {
  drive timeout 60 window "$main" waittext "$status" "a.zip" >/dev/null
  same "$1: the status bar names the archive" "a.zip" "$(drive window "$main" text "$status")"
  same "$1: the list holds its members" "aliases.h
docs/b.txt" "$(drive window "$main" rows 5000 | cut -f1)"
  finish "$1"
}

start "$work/x" a.zip
shows_archive "a bare name typed in the archive's folder"

start "$work/prog" "$work/x/a.zip"
shows_archive "a Unix path"

long="$work/x/$(printf 'd%.0s' $(seq 150))/$(printf 'e%.0s' $(seq 150))/a.zip"
start "$work/x" "$long"
said=$(drive timeout 60 answer '#32770|ZARVO' 1)
case "$said" in
  *"longer than 259 characters"*) echo "ok   a path too long is refused: ${said%%:*}" ;;
  *) fail "a path too long: the message was \"$said\"" ;;
esac
same "a path too long: no archive is shown" "No File Opened" \
  "$(drive window "$main" text "$status")"
drive window "$main" command 1028 >/dev/null
drive timeout 30 window '#32770|About ZARVO' click 1 >/dev/null
drive timeout 30 gone '#32770|About ZARVO' >/dev/null
same "a path too long: the window answers its menu" "" "$(drive window "$main" rows 5000)"
finish "a path too long"
