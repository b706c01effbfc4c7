#!/usr/bin/env bash
# Member names in ASCII, Latin-1 accents, Cyrillic, Greek, CJK and an emoji,
# both ways between zarvo-cli and the other tools:
# - an archive zarvo-cli writes lists the same names in unzip -Z1, 7zz l,
#   Python's zipfile and bsdtar -t, and unzip extracts them under those names;
# - archives of zip (UTF-8 bytes from Unix, no flag), 7zz, Python and bsdtar
#   (bit 11), one with code page 437 names (no flag, from DOS) and one with
#   Info-ZIP's Unicode Path field (0x7075) over placeholder names are listed
#   by zarvo-cli l and extracted by zarvo-cli x under the right names.
# Prints one line per direction and tool. The Windows build runs under Wine
# when CLI is a .exe (through scripts/wine-run). A missing tool fails.
#   tests/interop/utf8_names.sh [CLI]
set -u
export LC_ALL=C.UTF-8
root="$(cd "$(dirname "$0")/../.." && pwd)"
cli=$(realpath "${1:-$root/build/native/zarvo-cli}")
run=("$cli")
case "$cli" in *.exe) run=("$root/scripts/wine-run" "$cli") ;; esac
work="$(mktemp -d "${TMPDIR:-/tmp}/zarvo-utf8-names.XXXXXX")"
work=$(realpath "$work")
trap 'rm -rf "$work"' EXIT
failures=0
names=(plain.txt café.txt привет.txt καλημέρα.txt 日本語.txt 😀.txt)
cp437_names=(plain.txt café.txt señor.txt Σσ.txt ½·░.txt)

# same WHAT EXPECTED ACTUAL: one result line, a failure with both lists.
same() {
  if [ "$2" = "$3" ]; then
    echo "ok   $1"
  else
    echo "FAIL $1"
    echo "     expected: $(echo "$2" | tr '\n' ' ')"
    echo "     got:      $(echo "$3" | tr '\n' ' ')"
    failures=$((failures + 1))
  fi
}
sorted() { printf '%s\n' "$@" | sort; }
files_below() { (cd "$1" && find . -type f -printf '%P\n' | sort); }

mkdir -p "$work/src" && cd "$work/src" || exit 2
for n in "${names[@]}"; do echo "bytes of $n" >"$n"; done
expected=$(sorted "${names[@]}")

# zarvo-cli writes; the others read.
cd "$work" || exit 2
(cd src && "${run[@]}" a ../zarvo.zip "${names[@]}" >/dev/null 2>"$work/err.txt") ||
  same "zarvo-cli a" "status 0" "status $? $(cat "$work/err.txt")"
same "zarvo-cli -> unzip -Z1" "$expected" "$(unzip -Z1 zarvo.zip | sort)"
same "zarvo-cli -> 7zz l" "$expected" "$(7zz l -slt zarvo.zip | sed -n 's/^Path = //p' | grep -vx zarvo.zip | sort)"
same "zarvo-cli -> python zipfile" "$expected" \
  "$(python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' zarvo.zip | sort)"
same "zarvo-cli -> bsdtar -t" "$expected" "$(bsdtar -tf zarvo.zip | sort)"
mkdir -p unzipped && unzip -q zarvo.zip -d unzipped
same "zarvo-cli -> unzip extraction" "$expected" "$(files_below unzipped)"
same "zarvo-cli -> unzip contents" "bytes of 日本語.txt" "$(cat "unzipped/日本語.txt" 2>/dev/null)"

# The others write; zarvo-cli lists and extracts.
(cd src && zip -q ../zip.zip "${names[@]}")
(cd src && 7zz a -tzip ../7zz.zip "${names[@]}" >/dev/null)
(cd src && python3 -c '
import sys, zipfile
with zipfile.ZipFile("../python.zip", "w") as z:
    for n in sys.argv[1:]: z.write(n)' "${names[@]}")
(cd src && bsdtar --format zip -cf ../bsdtar.zip "${names[@]}")
python3 - "${cp437_names[@]}" <<'PY'
import sys, zipfile, zlib

class Cp437Info(zipfile.ZipInfo):
    # As a DOS tool stores them: code page 437 bytes, no UTF-8 flag.
    def _encodeFilenameFlags(self):
        return self.filename.encode("cp437"), self.flag_bits

with zipfile.ZipFile("cp437.zip", "w") as z:
    for n in sys.argv[1:]:
        info = Cp437Info(n, (2020, 1, 1, 0, 0, 0))
        info.create_system = 0
        z.writestr(info, "bytes of " + n)

names = ["plain.txt", "café.txt", "привет.txt", "καλημέρα.txt", "日本語.txt", "😀.txt"]
with zipfile.ZipFile("unicode_path.zip", "w") as z:
    for i, n in enumerate(names):
        header = n if n.isascii() else "name%d.txt" % i
        info = zipfile.ZipInfo(header, (2020, 1, 1, 0, 0, 0))
        info.create_system = 0
        if header != n:
            utf8 = n.encode()
            data = b"\x01" + zlib.crc32(header.encode()).to_bytes(4, "little") + utf8
            info.extra = b"\x75\x70" + len(data).to_bytes(2, "little") + data
        z.writestr(info, "bytes of " + n)
PY
for kind in zip 7zz python bsdtar cp437 unicode_path; do
  want=$expected
  [ $kind = cp437 ] && want=$(sorted "${cp437_names[@]}")
  # The list as shown: a heading, one member a line (name first), a blank line.
  listed=$("${run[@]}" l $kind.zip 2>/dev/null | tr -d '\r' | awk 'NR > 1 && $0 == "" {exit} NR > 1 {print $1}' | sort)
  same "$kind -> zarvo-cli l" "$want" "$listed"
  rm -rf "out_$kind"
  mkdir -p "out_$kind"
  "${run[@]}" x -o "out_$kind" $kind.zip >/dev/null 2>"$work/err.txt" ||
    same "$kind -> zarvo-cli x" "status 0" "status $? $(cat "$work/err.txt")"
  same "$kind -> zarvo-cli x" "$want" "$(files_below "out_$kind")"
done
same "unicode_path -> contents" "bytes of привет.txt" "$(cat "out_unicode_path/привет.txt" 2>/dev/null)"

if [ $failures -ne 0 ]; then
  echo "$failures failed"
  exit 1
fi
echo "all passed"
