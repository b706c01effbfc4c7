#!/usr/bin/env bash
# Member times against the other tools, in a zone west and one east of UTC,
# with a winter and a summer file (the summer one at an odd second):
# - zarvo-cli a: unzip -l, zipinfo -T, Python's date_time and zarvo-cli l show
#   the local time ls -l shows; 7zz l agrees with ls for winter and with its
#   own listing of zip's archive of the same files (7zz applies today's offset
#   to every date when it reads a UTC time);
# - archives of zip (0x5455), 7zz (NTFS times; its DOS fields are written
#   with today's offset) and Python (DOS only), extracted by zarvo-cli, give
#   the file's mtime to the second, to the second and to the even second below.
# A missing tool fails.
set -u
cli=$(realpath "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/zarvo-times.XXXXXX")
trap 'rm -rf "$work"' EXIT
pass=0
fail=0
same() { # name expected actual
  if [ "$2" = "$3" ]; then
    pass=$((pass + 1))
  else
    fail=$((fail + 1))
    echo "FAIL $1: expected '$2', got '$3'"
  fi
}

for zone in America/New_York Asia/Kolkata; do
  export TZ=$zone
  d=$work/${zone//\//_}
  mkdir -p "$d/in" && cd "$d" || exit 2
  echo winter >in/winter.txt && echo summer >in/summer.txt
  touch -d '2024-01-15 07:00:00' in/winter.txt
  touch -d '2024-07-15 08:00:01' in/summer.txt
  "$cli" a zarvo.zip in/winter.txt in/summer.txt >/dev/null 2>&1 || echo "FAIL $zone: zarvo-cli a"
  zip -q zip.zip in/winter.txt in/summer.txt
  for f in winter summer; do
    shown=$(ls -l --time-style=+%Y-%m-%d\ %H:%M "in/$f.txt" | awk '{print $6" "$7}')
    same "$zone $f unzip -l" "$shown" "$(unzip -l zarvo.zip "in/$f.txt" | awk -v n="in/$f.txt" '$4==n {print $2" "$3}')"
    same "$zone $f zipinfo" "$(date -d "$shown" +%Y%m%d.%H%M)" \
      "$(zipinfo -T zarvo.zip "in/$f.txt" | awk '{print substr($7,1,13)}')"
    same "$zone $f python" "$(date -d "$shown" +%Y,%-m,%-d,%-H,%-M)" \
      "$(python3 -c "import zipfile,sys; t=zipfile.ZipFile('zarvo.zip').getinfo(sys.argv[1]).date_time; print(','.join(map(str,t[:5])))" "in/$f.txt")"
    same "$zone $f zarvo-cli l" "$(date -d "$shown" '+%-m/%-d/%Y %I:%M') $(date -d "$shown" +%P)" \
      "$("$cli" l zarvo.zip | awk -v n="in/$f.txt" '$1==n {print $2" "$3" "$4}')"
    seven=$(7zz l zarvo.zip "in/$f.txt" | awk -v n="in/$f.txt" '$NF==n {print $1" "substr($2,1,5)}')
    if [ $f = winter ]; then
      same "$zone $f 7zz l" "$shown" "$seven"
    else
      same "$zone $f 7zz l" "$(7zz l zip.zip "in/$f.txt" | awk -v n="in/$f.txt" '$NF==n {print $1" "substr($2,1,5)}')" "$seven"
    fi
  done

  # Back: archives of the other tools extracted by zarvo-cli.
  7zz a -tzip 7zz.zip in/winter.txt in/summer.txt >/dev/null
  python3 -c "
import zipfile
with zipfile.ZipFile('python.zip', 'w') as z:
    for f in ('in/winter.txt', 'in/summer.txt'): z.write(f)"
  for kind in zip 7zz python; do
    rm -rf "out_$kind" "unzip_$kind"
    "$cli" x -o "out_$kind" "$kind.zip" >/dev/null 2>&1 || echo "FAIL $zone: zarvo-cli x $kind.zip"
    unzip -q "$kind.zip" -d "unzip_$kind"
    for f in winter summer; do
      src=$(stat -c %Y "in/$f.txt")
      got=$(stat -c %Y "out_$kind/in/$f.txt" 2>/dev/null)
      case $kind in
        zip | 7zz) same "$zone $f from $kind" "$src" "$got" ;;
        python) same "$zone $f from python" "$((src - src % 2))" "$got" ;;
      esac
    done
  done
  cd "$work" || exit 2
done
echo "times: $pass passed, $fail failed"
[ "$fail" -eq 0 ]
