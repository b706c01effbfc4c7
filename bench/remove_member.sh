#!/usr/bin/env bash
# Removing one member of a large archive: `zarvo-cli d` against Info-ZIP
# `zip -d`, whole processes, alternating run by run. Each timed run works on
# a fresh copy of the archive (made, untimed, before it), so both rewrite
# the same bytes. The archive is about 500 MB: files of /usr/lib, zip -6,
# a fixed choice per machine kept in build/bench.
#
#   bench/remove_member.sh [RUNS]      (default 7)
set -euo pipefail

runs="${1:-7}"
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/bench"
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DZARVO_BENCH=ON >/dev/null
fi
cmake --build "$build" --target zarvo-cli -j"$(nproc)" >/dev/null
zarvo="$build/zarvo-cli"
archive="$build/lib-500.zip"
work="$build/remove-bench"
mkdir -p "$work"

if [ ! -f "$archive" ]; then
  echo "making $archive ..."
  # Regular files of /usr/lib in name order up to 1.3 GB unpacked, which
  # zip -6 packs to somewhat under 500 MB (437 MB on the machine this was written on).
  (cd / && find usr/lib -type f -size -64M -printf '%s %p\n' 2>/dev/null | sort -k2 |
     awk '{ total += $1; if (total < 1.3e9) print $2 }') > "$work/files"
  (cd / && zip -q -6 "$archive.tmp" -@ < "$work/files") && mv "$archive.tmp" "$archive"
fi
members=$(unzip -Z1 "$archive" | wc -l)
# The member in the middle: half the archive moves up in both tools.
member=$(unzip -Z1 "$archive" | sed -n "$((members / 2))p")
echo "archive: $archive ($(stat -c %s "$archive") bytes, $members members); removing $member"

# Both must give the same members, each of them intact, before they are timed.
cp "$archive" "$work/z.zip"
cp "$archive" "$work/i.zip"
"$zarvo" d -q "$work/z.zip" "$member" >/dev/null
zip -q -d "$work/i.zip" "$member"
cmp <(unzip -Z1 "$work/z.zip") <(unzip -Z1 "$work/i.zip")
unzip -tqq "$work/z.zip" >/dev/null
rm -f "$work/z.zip" "$work/i.zip"

python3 "$root/bench/lib/alternate.py" --runs "$runs" --prepare "cp $archive $work/d.zip" \
  "zip -d=zip -q -d $work/d.zip '$member'" \
  "zarvo-cli d=$zarvo d -q $work/d.zip '$member'"
rm -f "$work/d.zip"
