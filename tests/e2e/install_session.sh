#!/usr/bin/env bash
# A trial installation as a user runs it, with zarvo and kestril as separate
# programs under Wine and their windows driven from outside by windriver:
# zarvo opens an archive holding a real (NSIS) setup program, its Install
# command extracts it and starts kestril on it; kestril's results tree and
# report must list what the installer wrote, and its Uninstall must put the
# files and keys back as they were. A second round has the application's own
# uninstaller run first, answers the leftover question and reads what is left.
#
#   tests/e2e/install_session.sh WINDRIVER.exe ZARVO.exe KESTRIL.exe KESTRIL.vxd SETUP.exe
#
# With ZARVO_E2E_SHOTS set to a folder and ZARVO_WINDOW_SHOT to the built
# window-shot.exe, pictures of kestril's results and of its undo summary are
# saved there on the way (for looking at, not compared).
#
# Uses $WINEPREFIX (scripts/test's prefix) or the build tree's, as
# scripts/wine-run does; runs alone (kestril's driver watches drive C:).
# Every wait is bounded. On failure it prints what it saw and ends the
# processes it started (zarvo and what zarvo started: its process group).
set -u
export LC_ALL=C.UTF-8
root="$(cd "$(dirname "$0")/../.." && pwd)"
if [ $# -ne 5 ]; then
  echo "usage: $0 WINDRIVER.exe ZARVO.exe KESTRIL.exe KESTRIL.vxd SETUP.exe" >&2
  exit 2
fi
driver=$(realpath "$1") zarvo=$(realpath "$2") kestril=$(realpath "$3")
vxd=$(realpath "$4") setup=$(realpath "$5")
wine_run=$root/scripts/wine-run

# The prefix scripts/wine-run would take, for the checks on its drive C:.
if [ -z "${WINEPREFIX:-}" ]; then
  dir=$(dirname "$driver")
  while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  export WINEPREFIX=$dir/wineprefix
fi
drive_c=$WINEPREFIX/drive_c
[ -d "$drive_c" ] || "$wine_run" wineboot -i >/dev/null 2>&1

work=$(mktemp -d "${TMPDIR:-/tmp}/zarvo-e2e.XXXXXX")
work=$(realpath "$work")
zarvo_pid=
started=$(date +%s.%N)

dos() { local p=${1//\//\\}; echo "Z:$p"; }
elapsed() { awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'; }

stop_started() {
  [ -n "$zarvo_pid" ] || return 0
  # zarvo was started in a session of its own; kestril, the installer and
  # the uninstaller it starts belong to the same process group.
  kill -TERM -- "-$zarvo_pid" 2>/dev/null
  sleep 1
  kill -KILL -- "-$zarvo_pid" 2>/dev/null
  zarvo_pid=
}
cleanup() {
  stop_started
  # The prefix as the suite's other tests expect it: no trace of the trial.
  [ -z "${reset_ready:-}" ] || forget_trial
  rm -rf "$work"
}
trap cleanup EXIT

# Messages reach the log even from a step whose output is captured; a
# failure inside $(...) ends the whole script.
exec 3>&1
trap 'exit 1' USR1
fail() {
  {
    echo "FAIL $* (at $(elapsed) s)"
    echo "---- windows on the screen, with their controls (id, class, text):"
    "$wine_run" "$driver" screen 2>&1 | tr -d '\r' | head -n 100
  } >&3
  [ "$BASHPID" = "$$" ] || kill -USR1 $$
  exit 1
}

# drive STEP...: one windriver run; its output on stdout, a failed step fails the test.
drive() {
  local out rc
  out=$("$wine_run" "$driver" "$@" 2>"$work/driver.err")
  rc=$?
  out=${out//$'\r'/}
  if [ "$rc" != 0 ]; then
    { echo "$out"; cat "$work/driver.err"; } >&3
    fail "windriver $*"
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

# waitfor SECONDS WHAT COMMAND...: polls until COMMAND succeeds.
waitfor() {
  local seconds=$1 what=$2
  shift 2
  local deadline=$(($(date +%s) + seconds))
  until "$@"; do
    [ "$(date +%s)" -lt "$deadline" ] || fail "$what after $seconds s"
    sleep 0.3
  done
}

# ---- the machine as it was before ------------------------------------------------

uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZarvoTrial'
reg_keys=('HKLM\Software\Classes\.zarvotrial' 'HKLM\Software\Classes\.zarvotrialold'
  'HKCU\Software\ZarvoTrial' "$uninstall_key")

# The trial's traces gone, the value it changes in place (a .reg file: one
# Wine start for all of it).
reset_machine() {
  rm -rf "$drive_c/ZarvoTrialApp"
  printf '%s\r\n' 'REGEDIT4' '' \
    '[-HKEY_LOCAL_MACHINE\Software\Classes\.zarvotrial]' \
    '[-HKEY_LOCAL_MACHINE\Software\Classes\.zarvotrialold]' \
    '[-HKEY_CURRENT_USER\Software\ZarvoTrial]' \
    '[-HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZarvoTrial]' \
    '[HKEY_LOCAL_MACHINE\Software\Classes\.zarvotrialold]' '@="before"' '' >"$work/reset.reg"
  "$wine_run" regedit /s "$(dos "$work/reset.reg")" >/dev/null 2>&1
}

# Also the value the trial changes in place, and the work folders of a run
# that was stopped half-way.
forget_trial() {
  reset_machine
  rm -rf "$drive_c/windows/temp/ZRVMP" "$drive_c/windows/temp/Copy"
  printf '%s\r\n' 'REGEDIT4' '' '[-HKEY_LOCAL_MACHINE\Software\Classes\.zarvotrialold]' '' \
    >"$work/forget.reg"
  "$wine_run" regedit /s "$(dos "$work/forget.reg")" >/dev/null 2>&1
}
reset_ready=1

# reg query of every key the trial touches, in one Wine start; a missing key
# shows as reg's error line.
reg_state() {
  local k
  printf '@echo off\r\n' >"$work/state.bat"
  for k in "${reg_keys[@]}"; do printf 'echo [%s]\r\nreg query %s /s\r\n' "$k" "$k"; done \
    >>"$work/state.bat"
  "$wine_run" cmd /c "$(dos "$work/state.bat")" 2>&1 | tr -d '\r' | sed '/^$/d'
}

# The files on drive C: with their sizes, but for what Wine and the programs
# keep for themselves while they run: temporary folders (zarvo's work folder,
# kestril's Copy folder) and Wine's own caches.
disk_state() {
  (cd "$drive_c" && find . \( -ipath './windows/temp' -o -ipath './users/*/temp' \
    -o -ipath './users/*/AppData/Local/Temp' -o -ipath './windows/Installer' \) -prune \
    -o -printf '%P %s\n' | sort)
  md5sum "$drive_c/windows/win.ini" "$drive_c/windows/system.ini" 2>/dev/null | sed "s|$drive_c/||"
}

# kestril ends by removing its log beside kestril.exe and its Copy folder.
kestril_ended() {
  [ ! -e "$programs/vxdlog" ] && [ ! -e "$drive_c/windows/temp/Copy" ]
}

# undo_done ROUND SUMMARY: kestril's undo said what it did (the "Undo" box,
# answered here) and kestril ended.
undo_done() {
  drive timeout 60 window '#32770|Undo' >/dev/null
  shot "kestril-undo-$1" Undo
  same "round $1: what the undo says it did" "$2" \
    "$(drive timeout 60 answer '#32770|Undo' 1 | tr -d '\r')"
  local deadline=$(($(date +%s) + 60))
  until kestril_ended; do
    [ "$(date +%s)" -lt "$deadline" ] || fail "round $1: kestril did not end after its undo"
    sleep 0.3
  done
}

# shot NAME TITLE: a picture of the window, when pictures are wanted.
shot() {
  [ -n "${ZARVO_E2E_SHOTS:-}" ] && [ -n "${ZARVO_WINDOW_SHOT:-}" ] || return 0
  "$wine_run" "$ZARVO_WINDOW_SHOT" "$2" "$(dos "$ZARVO_E2E_SHOTS/$1.png")" --timeout 10 >&3 2>&1 ||
    echo "     (no picture of $2)" >&3
}

# ---- programs and archive --------------------------------------------------------

# Installed as a user has them: zarvo.exe, kestril.exe and the driver in one
# folder, whose name has a blank (zarvo finds KESTRIL.EXE beside itself).
programs="$work/Zarvo Programs"
mkdir -p "$programs"
cp "$zarvo" "$programs/zarvo.exe"
cp "$kestril" "$programs/kestril.exe"
cp "$vxd" "$programs/kestril.vxd"
# The setup program in a folder whose name has a blank and non-ASCII
# letters, as a user's downloads may: its path reaches kestril and the
# installer's start through zarvo's work folder.
python3 -c 'import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    z.write(sys.argv[2], "Mes Téléchargés/setup.exe")' "$work/trial.zip" "$setup" || fail "python zipfile"

# A run that was stopped half-way leaves zarvo's work folder and kestril's
# Copy folder full, which both programs then refuse to empty.
forget_trial
reset_machine
reg_before=$(reg_state)
disk_before=$(disk_state)
echo "ok   state before: $(echo "$disk_before" | wc -l) paths on C:, $(echo "$reg_before" | wc -l) lines of reg query"

# What the installer writes, as kestril's tree shows it (only the rows of
# the trial: Wine itself changes display settings as windows come and go).
expected_tree='New Files [1]+
  c:\zarvotrialapp\app.txt [1]
  c:\zarvotrialapp\docs\readme.txt [1]
  c:\zarvotrialapp\uninst.exe [1]
Changes to Registry [1]+
  New Keys [1]+
    HKEY_LOCAL_MACHINE\Software\Classes\.zarvotrial [1]
    HKEY_LOCAL_MACHINE\SOFTWARE\CLASSES\.zarvotrialold\Content Type [1]
    HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZarvoTrial [1]
    HKEY_CURRENT_USER\Software\ZarvoTrial [1]
  Changed Keys [1]+
    HKEY_LOCAL_MACHINE\SOFTWARE\CLASSES\.zarvotrialold [1]'
trial_rows() { grep -vi -e '\\software\\wine\\' -e 'HKEY_LOCAL_MACHINE\\HARDWARE\\'; }

# ---- zarvo: open the archive, Install ---------------------------------------------

(cd "$work" && exec setsid "$wine_run" "$programs/zarvo.exe" "$(dos "$work/trial.zip")") \
  >"$work/zarvo.out" 2>&1 &
zarvo_pid=$!

main='ui.DecoratedFrame|ZARVO*'
drive timeout 60 window "$main" >/dev/null
rows=$(drive window "$main" rows 5000)
same "zarvo lists the archive" "Mes Téléchargés/setup.exe" "$(echo "$rows" | cut -f1)"

# install ROUND: Install in zarvo, its question answered; kestril's wait
# answered once the installer has ended (Ok is refused while it runs).
install() {
  drive window "$main" command 1057
  drive window '#32770|ZARVO - Begin installation' state 1060 click 1 >"$work/setup-state"
  same "round $1: \"No uninstall will be needed\" is off" "enabled unchecked" "$(cat "$work/setup-state")"
  local refusals=0 said deadline
  drive timeout 90 window '#32770|Kestril Waiting' >/dev/null
  while :; do
    drive window '#32770|Kestril Waiting' click 1
    # Either the results, or the refusal while the installer still runs.
    deadline=$(($(date +%s) + 60))
    said=
    until "$wine_run" "$driver" timeout 0 window '#32770|System Changes*' >/dev/null 2>&1; do
      said=$("$wine_run" "$driver" timeout 0 answer '#32770|Installer still running' 1 2>/dev/null)
      [ -z "$said" ] || break
      [ "$(date +%s)" -lt "$deadline" ] || fail "round $1: neither results nor a refusal after Ok"
    done
    [ -n "$said" ] || break
    same "round $1: the refusal" "Installer still running: You must exit the installion first." \
      "${said//$'\r'/}"
    refusals=$((refusals + 1))
    [ "$refusals" -lt 60 ] || fail "round $1: the installer did not end in a minute"
    sleep 1
  done
  echo "ok   round $1: the wait ended ($refusals refusals while the installer ran)"
  drive timeout 60 window '#32770|System Changes*' >/dev/null
}

# ---- round 1: kestril's own undo --------------------------------------------------

install 1
tree=$(drive window '#32770|System Changes*' tree 1018)
shot kestril-results 'System Changes '
same "round 1: the results tree" "$expected_tree" "$(echo "$tree" | trial_rows)"
same "round 1: the installer's uninstaller is offered" "enabled unchecked" \
  "$(drive window '#32770|System Changes*' state 1014)"

# The report, through the save dialog as a user saves it.
report=$work/trial.Kes
drive window '#32770|System Changes*' click 1016 \
  window '#32770|Save As' settext Edit:1148 "$(dos "$report")" click Button:1 gone '#32770|Save As'
waitfor 10 "no report at $report" test -s "$report"
report_text=$(tr -d '\r' <"$report")
report_lines=$'\n'"$report_text"$'\n'
same "round 1: the report's heading" "Kestril Report" "$(echo "$report_text" | head -n 1)"
# Every row of the tree is in the report, the value rows with their data.
has_block() {
  [[ "$report_lines" == *$'\n'"$1"$'\n'* ]] || fail "round 1: the report has no lines"$'\n'"$1"
}
has_block 'File System
-----------'
for f in app.txt 'docs\readme.txt' uninst.exe; do has_block 'NEW > c:\zarvotrialapp\'"$f"; done
for k in 'HKEY_LOCAL_MACHINE\Software\Classes\.zarvotrial' "HKEY_CURRENT_USER\Software\ZarvoTrial" \
  'HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZarvoTrial'; do
  has_block "NEW KEY
  Key > $k"
done
has_block 'DATA CHANGED
  Key > HKEY_LOCAL_MACHINE\SOFTWARE\CLASSES\.zarvotrialold
  Data Name > [Default]
  Previous Data > before
  Previous Type > STRING
  Current Data > ZarvoTrial.Document'
has_block 'NEW DATA
  Key > HKEY_LOCAL_MACHINE\SOFTWARE\CLASSES\.zarvotrialold
  Data Name > Content Type'
echo "ok   round 1: the report lists every row of the tree"

drive window '#32770|System Changes*' click 1021
undo_done 1 'Undo: Files deleted: 3
Folders removed: 2
Registry keys removed: 3
Registry values removed: 1
Registry values put back: 1
Start-up files put back: 0'
same "round 1: the registry after kestril's undo" "$reg_before" "$(reg_state)"
same "round 1: drive C: after kestril's undo" "$disk_before" "$(disk_state)"

# ---- round 2: the application's own uninstaller first -------------------------------

reset_machine
install 2
drive window '#32770|System Changes*' click 1014
same "round 2: the application's uninstaller is chosen" "enabled checked" \
  "$(drive window '#32770|System Changes*' state 1014)"
drive window '#32770|System Changes*' click 1021
same "round 2: the leftover question" \
  "Uninstall incomplete: Some componants were left. Want to see them?" \
  "$(drive timeout 120 answer '#32770|Uninstall incomplete' 6)"
# What the uninstaller left: itself, and the changed value, which still
# holds the installer's data (the new value beside it it did remove).
drive timeout 30 window '#32770|System Changes*' >/dev/null
second=$(drive window '#32770|System Changes*' tree 1018)
shot kestril-leftovers 'System Changes '
same "round 2: what the uninstaller left" 'New Files [1]+
  c:\zarvotrialapp\uninst.exe [1]
Changes to Registry [1]+
  Changed Keys [1]+
    HKEY_LOCAL_MACHINE\SOFTWARE\CLASSES\.zarvotrialold [1]' "$(echo "$second" | trial_rows)"
same "round 2: on disk, the uninstaller left itself" "uninst.exe" \
  "$(cd "$drive_c/ZarvoTrialApp" && find . -type f -printf '%P\n' | sort)"
same "round 2: the uninstaller is no longer offered" "disabled unchecked" \
  "$(drive window '#32770|System Changes*' state 1014)"
drive window '#32770|System Changes*' click 1021
undo_done 2 'Undo: Files deleted: 1
Folders removed: 1
Registry keys removed: 0
Registry values removed: 0
Registry values put back: 1
Start-up files put back: 0'
same "round 2: the registry after both undos" "$reg_before" "$(reg_state)"
same "round 2: drive C: after both undos" "$disk_before" "$(disk_state)"

# ---- zarvo closes -----------------------------------------------------------------

drive window "$main" close gone "$main"
pid=$zarvo_pid
deadline=$(($(date +%s) + 30))
while kill -0 "$pid" 2>/dev/null; do
  [ "$(date +%s)" -lt "$deadline" ] || fail "zarvo did not end"
  sleep 0.3
done
zarvo_pid=
echo "PASS install session through zarvo and kestril ($(elapsed) s)"
