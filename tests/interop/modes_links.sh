#!/usr/bin/env bash
# Unix modes and symbolic links between zarvo-cli and Info-ZIP: the
# executable bit survives a round trip either way; links stored by zip -y
# and by zarvo-cli a -S are restored as links by unzip and zarvo-cli x; and
# link members that would lead outside the destination (relative, absolute,
# chained, or a member written through a link) are skipped with a warning,
# nothing written outside. Archives with crafted link members come from
# Python's zipfile.
#   tests/interop/modes_links.sh [CLI]
set -u
root="$(cd "$(dirname "$0")/../.." && pwd)"
cli=$(realpath "${1:-$root/build/native/zarvo-cli}")
work="$(mktemp -d "${TMPDIR:-/tmp}/zarvo-modes-links.XXXXXX")"
work=$(realpath "$work")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL $1: $2"
  failures=$((failures + 1))
}
umask 022
mode_of() { stat -c %a "$1"; }

# ---- the executable bit ----------------------------------------------------

mkdir -p "$work/modes/src" && cd "$work/modes/src" || exit 2
printf '#!/bin/sh\necho run\n' >run.sh && chmod 755 run.sh
echo data >plain.txt && chmod 644 plain.txt
echo private >private.txt && chmod 600 private.txt
echo fixed >ro.txt && chmod 444 ro.txt
"$cli" a -q ../ours.zip run.sh plain.txt private.txt ro.txt >/dev/null 2>&1 || fail "a" "status $?"
listing=$(zipinfo ../ours.zip)
for expected in "-rwxr-xr-x.*unx.*run.sh" "-rw-r--r--.*unx.*plain.txt" "-rw-------.*unx.*private.txt" \
  "-r--r--r--.*unx.*ro.txt"; do
  grep -q -- "$expected" <<<"$listing" || fail "zipinfo" "no line like $expected in: $listing"
done
mkdir ../by-unzip && unzip -q ../ours.zip -d ../by-unzip || fail "unzip" "status $?"
zip -q ../theirs.zip run.sh plain.txt private.txt ro.txt || fail "zip" "status $?"
mkdir ../by-cli && "$cli" x -q -o ../by-cli ../theirs.zip >/dev/null 2>&1 || fail "x" "status $?"
for f in run.sh:755 plain.txt:644 private.txt:600 ro.txt:444; do
  name=${f%%:*} want=${f##*:}
  [ "$(mode_of "../by-unzip/$name")" = "$want" ] || fail "a then unzip" "$name is $(mode_of "../by-unzip/$name"), not $want"
  [ "$(mode_of "../by-cli/$name")" = "$want" ] || fail "zip then x" "$name is $(mode_of "../by-cli/$name"), not $want"
done
[ "$(../by-cli/run.sh)" = run ] || fail "zip then x" "run.sh does not run"

# ---- links stored by zip -y and by zarvo-cli a -S --------------------------

mkdir -p "$work/store/src/dir" && cd "$work/store/src" || exit 2
echo bee >b.txt
echo inside >dir/in.txt
ln -s b.txt lnk
ln -s dir dlink
ln -s nowhere dangling
zip -qry ../zip-y.zip . || fail "zip -y" "status $?"
"$cli" a -q -r -S ../cli-S.zip . >/dev/null 2>&1 || fail "a -S" "status $?"
"$cli" a -q -r ../cli-follow.zip . >/dev/null 2>"$work/err.txt" || fail "a" "status $?: $(cat "$work/err.txt")"
# Followed, a link that leads nowhere is nothing to add, as before.
unzip -Z1 ../cli-follow.zip | grep -qx dangling && fail "a" "a dangling link was added"
zipinfo ../cli-S.zip | grep -q '^lrwxrwxrwx.*unx.* lnk$' || fail "a -S" "lnk not listed as a link: $(zipinfo ../cli-S.zip)"
unzip -Z1 ../cli-follow.zip | grep -qx 'dlink/in.txt' || fail "a" "a link to a folder is not followed by default"
unzip -Z1 ../cli-S.zip | grep -q '^dlink/' && fail "a -S" "a link to a folder was walked into"
for archive in zip-y cli-S; do
  for reader in unzip cli; do
    out="$work/store/$archive-$reader"
    mkdir "$out"
    if [ $reader = unzip ]; then
      unzip -q "../$archive.zip" -d "$out" || fail "$archive by unzip" "status $?"
    else
      "$cli" x -q -o "$out" "../$archive.zip" >/dev/null 2>&1 || fail "$archive by x" "status $?"
    fi
    for l in lnk:b.txt dlink:dir dangling:nowhere; do
      name=${l%%:*} want=${l##*:}
      [ -L "$out/$name" ] && [ "$(readlink "$out/$name")" = "$want" ] ||
        fail "$archive by $reader" "$name is not a link to $want"
    done
    [ "$(cat "$out/lnk")" = bee ] || fail "$archive by $reader" "lnk does not lead to b.txt"
  done
done

# ---- link members that must not be made, or not written through ------------

# The crafted archives: name, then members as NAME=TEXT (a file) or NAME@TARGET (a link).
cd "$work" || exit 2
python3 - <<'EOF' || exit 2
import zipfile
cases = {
    "inside": ["b.txt=bee", "a@b.txt"],
    "outside": ["a@../x"],
    "absolute": ["a@/etc"],
    "chained": ["b@a", "a@.."],
    "named-parent": ["dir/=", "a@dir/..", "a/x=through a"],
    "climbing": ["a@../..", "a/x=through a"],
    "link-then-file": ["dir/=", "a@dir", "a/x=through a"],
    "dot-chain": ["c@.", "d@c/c", "e@d/..", "e/y=through e"],
}
for case, members in cases.items():
    with zipfile.ZipFile(case + ".zip", "w") as z:
        for m in members:
            link = "@" in m
            name, text = m.split("@" if link else "=", 1)
            info = zipfile.ZipInfo(name, (2020, 1, 1, 0, 0, 0))
            info.create_system = 3
            info.external_attr = ((0o120777 if link else 0o40755 if name.endswith("/") else 0o100644) << 16)
            z.writestr(info, text)
EOF

# case | exit status | links made (NAME>TARGET) | paths that must not exist | warnings expected
check_case() {
  local case=$1 status=$2 links=$3 absent=$4 warnings=$5
  local dest="$work/x-$case/dest"
  mkdir -p "$dest"
  "$cli" x -y -o "$dest" "$work/$case.zip" >"$work/out.txt" 2>"$work/err.txt"
  local got=$?
  [ $got = "$status" ] || fail "$case" "status $got, not $status: $(cat "$work/err.txt")"
  local l
  for l in $links; do
    [ -L "$dest/${l%%>*}" ] && [ "$(readlink "$dest/${l%%>*}")" = "${l##*>}" ] || fail "$case" "no link ${l%%>*} -> ${l##*>}"
  done
  for l in $absent; do
    [ -e "$dest/$l" ] || [ -L "$dest/$l" ] && fail "$case" "$l was made"
  done
  [ "$(grep -c '^Warning' "$work/err.txt")" = "$warnings" ] || fail "$case" "warnings: $(cat "$work/err.txt")"
  # Nothing beside the destination: everything stays below it.
  [ "$(ls -A "$work/x-$case")" = dest ] || fail "$case" "written outside: $(ls -A "$work/x-$case")"
}
check_case inside 0 "a>b.txt" "" 0
check_case outside 1 "" "a" 1
check_case absolute 1 "" "a" 1
check_case chained 1 "b>a" "a" 1
check_case named-parent 1 "" "dir/x" 1
check_case climbing 1 "" "" 1
check_case link-then-file 1 "a>dir" "dir/x" 1
check_case dot-chain 1 "c>. d>c/c" "" 1
# The links refused where the job would have to resolve ".." on disk.
[ -L "$work/x-named-parent/dest/a" ] && fail "named-parent" "a -> dir/.. was made"
[ -L "$work/x-dot-chain/dest/e" ] && fail "dot-chain" "e -> d/.. was made"
grep -q "^Warning: Unsafe path. File a/x was skipped" <(
  "$cli" x -y -o "$work/x-link-then-file/again" "$work/link-then-file.zip" 2>&1 >/dev/null
) || fail "link-then-file" "a/x not reported as unsafe"
[ -f "$work/x-climbing/dest/a/x" ] || fail "climbing" "a/x is not an ordinary file in a folder a"

# unzip's own verdicts on the same archives, for the report.
for case in outside absolute chained climbing; do
  mkdir -p "$work/u-$case/dest"
  unzip -qo "$work/$case.zip" -d "$work/u-$case/dest" >/dev/null 2>&1
  echo "unzip on $case: $(cd "$work/u-$case/dest" && find . -mindepth 1 -printf '%p%y ' 2>/dev/null)"
done

if [ $failures -gt 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "modes and links: all checks passed"
