#!/usr/bin/env bash
# `zarvo-cli t` must agree with `unzip -t` on every archive of the fixture
# corpus: both pass or both fail. One archive differs on purpose: unzip
# decodes bzip2 (we stop at a member that needs version 4.6).
set -u
cli=$1
data=$2
declare -A intended=([izip_bzip2.zip]=1)
pass=0
fail=0
for archive in "$data"/*.zip "$data"/*.exe; do
  name=$(basename "$archive")
  unzip -tqq "$archive" </dev/null >/dev/null 2>&1
  theirs=$?
  "$cli" t "$archive" </dev/null >/dev/null 2>&1
  ours=$?
  verdict_theirs=$([ $theirs -eq 0 ] && echo ok || echo fail)
  verdict_ours=$([ $ours -eq 0 ] && echo ok || echo fail)
  if [ -n "${intended[$name]:-}" ]; then
    if [ "$verdict_theirs" = "$verdict_ours" ]; then
      echo "FAIL $name: expected to differ from unzip (unzip $theirs, ours $ours)"
      fail=$((fail + 1))
    else
      pass=$((pass + 1))
    fi
  elif [ "$verdict_theirs" = "$verdict_ours" ]; then
    pass=$((pass + 1))
  else
    echo "FAIL $name: unzip -t $theirs, zarvo-cli t $ours"
    fail=$((fail + 1))
  fi
done
echo "$pass passed, $fail failed"
[ $fail -eq 0 ]
