#!/usr/bin/env bash
# The verdicts of `zarvo-cli t`, `unzip -t` and `7zz t` side by side on every
# archive of tests/data/damaged, as a Markdown table. Exits non-zero when
# zarvo-cli passes an archive that both of the others find damaged.
#   tests/interop/damaged_verdicts.sh [CLI] [FOLDER]
set -u
root="$(cd "$(dirname "$0")/../.." && pwd)"
cli=${1:-$root/build/native/zarvo-cli}
data=${2:-$root/tests/data/damaged}
verdict() { [ "$1" -eq 0 ] && echo OK || echo "damaged ($1)"; }
missed=0
echo "| archive | zarvo-cli t | unzip -t | 7zz t |"
echo "|---|---|---|---|"
for archive in "$data"/*.zip; do
  "$cli" t "$archive" </dev/null >/dev/null 2>&1; ours=$?
  unzip -tqq "$archive" </dev/null >/dev/null 2>&1; unzip_rc=$?
  7zz t "$archive" </dev/null >/dev/null 2>&1; sevenz_rc=$?
  echo "| $(basename "$archive") | $(verdict $ours) | $(verdict $unzip_rc) | $(verdict $sevenz_rc) |"
  if [ $ours -eq 0 ] && [ $unzip_rc -ne 0 ] && [ $sevenz_rc -ne 0 ]; then missed=$((missed + 1)); fi
done
echo
echo "archives zarvo-cli passes and both others fail: $missed"
[ $missed -eq 0 ]
