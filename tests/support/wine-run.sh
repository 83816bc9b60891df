#!/usr/bin/env bash
# Runs a Windows program of the build under Wine, headless: wine-run.sh PROGRAM.exe [ARGS...]
# (CMake's cross-compiling emulator). The prefix lives in the build folder (the nearest folder
# above the program holding CMakeCache.txt), or in IO_WINEPREFIX when set.
# IO_WINE_TIMEOUT (seconds, default 900) bounds the run; IO_WINE_XVFB=1 gives it a display.
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 PROGRAM.exe [ARGS...]" >&2; exit 2; }
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-prefix.sh"

prefix=${IO_WINEPREFIX:-}
if [ -z "$prefix" ]; then
  dir=$(cd "$(dirname "$1")" && pwd)
  while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  [ "$dir" = / ] && dir=$(cd "$(dirname "$1")" && pwd)
  prefix="$dir/wineprefix"
fi
[ -f "$prefix/.io-ready" ] || io_wine_prepare "$prefix"
io_wine_env "$prefix"
timeout -k 10 30 wineserver -p 60 </dev/null >/dev/null 2>&1 || true

run=(timeout -k 10 "${IO_WINE_TIMEOUT:-900}" wine "$@")
if [ "${IO_WINE_XVFB:-0}" = 1 ]; then
  run=(xvfb-run -a -s "-screen 0 1280x1024x24" "${run[@]}")
fi
# Wine starts its service processes from the first program of a session, and they inherit its
# standard streams: through a pipe they would keep the caller (ctest) waiting for the end of
# output. Files let the caller see the end; Windows text mode's CR LF becomes LF on the way.
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
rc=0
"${run[@]}" >"$out" 2>"$err" || rc=$?
tr -d '\r' <"$out"
tr -d '\r' <"$err" >&2
exit "$rc"
