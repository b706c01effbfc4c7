#!/usr/bin/env bash
# Archives as other tools write them today, each beside plain members: a
# member we cannot decode (bzip2, LZMA, PPMd, AES, ZipCrypto) must be listed,
# skipped with its own warning and failed by t, while every plain member is
# listed, tested and extracted byte for byte as 7-Zip extracts it. Prints one
# table row per kind. A missing tool fails the test.
set -u
cli=$(realpath "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/zarvo-kinds.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail=0

in=$work/in
mkdir -p "$in"
seq 1 30000 >"$in/plain.txt"
head -c 100000 /dev/urandom >"$in/random.bin"
seq 1 5000 | sed 's/$/ other/' >"$in/other.txt"

# kind: how to make it (in $in, writing $archive), the member that cannot be
# decoded (empty: none), and the words its warning must hold.
make_kind() { # kind archive
  local archive=$2
  case $1 in
    bzip2 | lzma | ppmd)
      local method
      method=$(case $1 in bzip2) echo BZip2 ;; lzma) echo LZMA ;; ppmd) echo PPMd ;; esac)
      7zz a -tzip -bso0 -bsp0 -mm=Deflate "$archive" plain.txt random.bin &&
        7zz a -tzip -bso0 -bsp0 -mm="$method" "$archive" other.txt ;;
    deflate64)
      7zz a -tzip -bso0 -bsp0 -mm=Deflate64 "$archive" plain.txt random.bin other.txt ;;
    aes)
      7zz a -tzip -bso0 -bsp0 "$archive" plain.txt random.bin &&
        7zz a -tzip -bso0 -bsp0 -psecret -mem=AES256 "$archive" other.txt ;;
    zipcrypto)
      zip -q "$archive" plain.txt random.bin && zip -q -P secret "$archive" other.txt ;;
    comment-65535)
      zip -q "$archive" plain.txt random.bin other.txt &&
        python3 -c 'import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "a") as z: z.comment = b"c" * 65535' "$archive" ;;
  esac
}
undecoded_of() {
  case $1 in
    bzip2) echo "other.txt|Method bzip2 is not supported" ;;
    lzma) echo "other.txt|Method LZMA is not supported" ;;
    ppmd) echo "other.txt|Method PPMd is not supported" ;;
    aes | zipcrypto) echo "other.txt|encrypted" ;;
    *) echo "|" ;;
  esac
}

printf '%-14s %-9s %-34s %s\n' kind "l -v" "t" "x (plain members against 7zz x)"
for kind in deflate64 bzip2 lzma ppmd aes zipcrypto comment-65535; do
  archive=$work/$kind.zip
  if ! (cd "$in" && make_kind "$kind" "$archive") >"$work/make.log" 2>&1; then
    echo "FAIL $kind: the peer could not make it"
    cat "$work/make.log"
    fail=$((fail + 1))
    continue
  fi
  IFS='|' read -r undecoded words <<<"$(undecoded_of "$kind")"
  row_fail=0

  # Every member listed, the one we cannot decode included.
  listed=$("$cli" l -v "$archive" | tail -n +2 | cut -f1 | sort | tr '\n' ' ')
  [ "$listed" = "other.txt plain.txt random.bin " ] && lv="3 names" || { lv="WRONG"; row_fail=1; }

  "$cli" t "$archive" >"$work/t.out" 2>"$work/t.err"
  status=$?
  if [ -n "$undecoded" ]; then
    # Exit 1 (a warning), the member named with its reason, the rest OK.
    if [ "$status" = 1 ] && grep -q "$words" "$work/t.err" && grep -q "$undecoded" "$work/t.err"; then
      tv="exit 1, $undecoded skipped"
    else
      tv="WRONG (exit $status)"
      row_fail=1
    fi
  else
    [ "$status" = 0 ] && tv="exit 0, all OK" || { tv="WRONG (exit $status)"; row_fail=1; }
  fi

  rm -rf "$work/ours" "$work/peer"
  "$cli" x -y -o "$work/ours" "$archive" >/dev/null 2>&1
  7zz x -bso0 -bsp0 -psecret -o"$work/peer" "$archive" >/dev/null 2>&1
  xv="equal"
  for name in plain.txt random.bin other.txt; do
    if [ "$name" = "$undecoded" ]; then
      [ -e "$work/ours/$name" ] && { xv="$name WRITTEN"; row_fail=1; }
      continue
    fi
    cmp -s "$work/ours/$name" "$work/peer/$name" && cmp -s "$work/ours/$name" "$in/$name" ||
      { xv="$name DIFFERS"; row_fail=1; }
  done
  printf '%-14s %-9s %-34s %s\n' "$kind" "$lv" "$tv" "$xv"
  if [ "$row_fail" != 0 ]; then
    fail=$((fail + 1))
    cat "$work/t.err"
  fi
done

# The full comment reads back whole.
if [ "$("$cli" l "$work/comment-65535.zip" | awk 'length($0) == 65535 && /^c+$/' | wc -l)" != 1 ]; then
  echo "FAIL comment-65535: the comment is not listed whole"
  fail=$((fail + 1))
fi

echo "archive kinds: $fail failed"
[ "$fail" -eq 0 ]
