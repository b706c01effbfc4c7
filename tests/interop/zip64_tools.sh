#!/usr/bin/env bash
# Archives other tools write with ZIP64 records (Python's zipfile with
# force_zip64, zip -fz, zip reading standard input) and in their own ways
# (7zz, bsdtar): zarvo-cli l -v must show each input's name and size, t must
# pass, and x must give back the inputs byte for byte. A missing tool fails.
set -u
cli=$(realpath "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/zarvo-zip64.XXXXXX")
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
mkdir -p "$in"
head -c 70000 /dev/urandom >"$in/random.bin"
seq 1 20000 >"$in/text.txt"
: >"$in/empty.txt"
files="random.bin text.txt empty.txt"

make_archives() {
  (cd "$in" && python3 - "$work/python.zip" $files <<'EOF'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    for name in sys.argv[2:]:
        with open(name, "rb") as f, z.open(name, "w", force_zip64=True) as w:
            w.write(f.read())
EOF
  ) || return 1
  (cd "$in" && zip -q -fz "$work/zip-fz.zip" $files) || return 1
  (cd "$in" && 7zz a -tzip -bso0 -bsp0 "$work/7zz.zip" $files) || return 1
  (cd "$in" && bsdtar --format zip -cf "$work/bsdtar.zip" $files) || return 1
  # From standard input: one member named "-", streamed, with ZIP64 records.
  zip -q - - <"$in/text.txt" >"$work/zip-stdin.zip"
}
check "tools write the archives" make_archives

# Each line of l -v: name, then compressed and uncompressed sizes in columns 5 and 6.
listed_size() { # archive member
  "$cli" l -v "$1" | awk -F'\t' -v n="$2" '$1 == n { print $6 }'
}
listed_as_input() { # archive
  local name size
  for name in $files; do
    size=$(listed_size "$1" "$name")
    [ "$size" = "$(stat -c %s "$in/$name")" ] || { echo "$name listed with size '$size'"; return 1; }
  done
}
extracted_as_input() { # archive
  rm -rf "$work/x"
  "$cli" x -y -o "$work/x" "$1" || return 1
  diff -r "$in" "$work/x"
}

for tool in python zip-fz 7zz bsdtar; do
  archive=$work/$tool.zip
  check "$tool l -v" listed_as_input "$archive"
  check "$tool t" "$cli" t "$archive"
  check "$tool x" extracted_as_input "$archive"
done

stdin_archive() {
  local size
  size=$(listed_size "$work/zip-stdin.zip" -)
  [ "$size" = "$(stat -c %s "$in/text.txt")" ] || { echo "- listed with size '$size'"; return 1; }
  "$cli" t "$work/zip-stdin.zip" || return 1
  rm -rf "$work/x"
  "$cli" x -y -o "$work/x" "$work/zip-stdin.zip" || return 1
  cmp "$in/text.txt" "$work/x/-"
}
check "zip from standard input" stdin_archive

# More members than 16 bits count: the count is in the ZIP64 end record only.
many_members() {
  python3 - "$work/many.zip" <<'EOF' || return 1
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w") as z:
    for i in range(70000):
        z.writestr("m%05d" % i, b"%d\n" % i)
EOF
  [ "$("$cli" l -v "$work/many.zip" | tail -n +2 | wc -l)" = 70000 ] || return 1
  "$cli" t "$work/many.zip" >/dev/null || return 1
  rm -rf "$work/x"
  "$cli" x -y -o "$work/x" "$work/many.zip" m69999 || return 1
  [ "$(cat "$work/x/m69999")" = 69999 ]
}
check "70000 members" many_members

echo "zip64 tools: $pass passed, $fail failed"
[ "$fail" -eq 0 ]
