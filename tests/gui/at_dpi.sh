#!/usr/bin/env bash
# Runs a test program in a Wine prefix of its own whose display is at DPI
# (made once by scripts/wine-dpi-prefix), then ends that prefix's wineserver.
#   tests/gui/at_dpi.sh PREFIX DPI PROGRAM.exe [ARGS...]
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
if [ $# -lt 3 ]; then
  echo "usage: $0 PREFIX DPI PROGRAM.exe [ARGS...]" >&2
  exit 2
fi
prefix=$(realpath -m "$1") dpi=$2
shift 2
"$root/scripts/wine-dpi-prefix" "$prefix" "$dpi" || exit 1
export WINEPREFIX=$prefix
rc=0
"$root/scripts/wine-run" "$@" || rc=$?
wineserver -k >/dev/null 2>&1 || true
exit "$rc"
