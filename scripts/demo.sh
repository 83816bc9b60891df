#!/usr/bin/env bash
# The main job on the embedded default: installs what is missing, builds Release, makes a sample
# accounting folder with our own table layer, starts the sample shop on 127.0.0.1 and imports
# its two exports with importobj-cli (the second with missing stock cards made on request);
# prints the counters, the rejected records, `dbftool check` of the folder and the run log.
#   scripts/demo.sh          the console front-end, no display needed
#   scripts/demo.sh --gui    the real window (importobj.exe) under Wine on your DISPLAY, with the
#                            sample settings filled in: press "Spustit import", then "Konec"
# The scratch folder (sample data, program folder, run log, shop log) stays for inspection.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
gui=0
case "${1:-}" in
  "") ;;
  --gui) gui=1 ;;
  *) echo "usage: $0 [--gui]" >&2; exit 2 ;;
esac
if [ $gui = 1 ] && [ -z "${DISPLAY:-}" ]; then
  echo "demo --gui: no DISPLAY. Run it from a desktop session (or ssh -X), or run $0 without" \
       "--gui for the console demo." >&2
  exit 2
fi

bash "$root/scripts/setup.sh"
builds=${IO_BUILD_DIR:-$root/build}
build="$builds/demo"
jobs=${IO_JOBS:-2}
echo "=== build (Release) in $build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DIO_TESTS=OFF >/dev/null
ninja -C "$build" -j"$jobs" dbftool sample_folder sample_shop importobj-cli >/dev/null
tools="$build/tools"

# Short paths: the window's data field takes at most 60 characters.
scratch=$(mktemp -d "${TMPDIR:-/tmp}/importobj-demo.XXXXXX")
data="$scratch/kontor"
program="$scratch/program"
mkdir -p "$program"
shop_pid=
cleanup() {
  if [ -n "$shop_pid" ]; then kill "$shop_pid" 2>/dev/null || true; fi
  return 0
}
trap cleanup EXIT

echo
echo "=== sample accounting folder $data"
"$tools/sample_folder" "$data"
# The console demo checks in byte order, the order its sample folder was made in; the window
# sorts by the Windows locale, so --gui remakes the folder and checks it in that order.
dbftool_check=("$tools/dbftool" check "$data")
check_folder() {  # when
  local rc=0
  "${dbftool_check[@]}" >"$scratch/check-$1.txt" 2>&1 || rc=$?
  echo "dbftool check $1 the import: $(grep -c '^OK' "$scratch/check-$1.txt") OK," \
       "$(grep -c '^BAD' "$scratch/check-$1.txt") BAD (exit $rc; all lines in $scratch/check-$1.txt)"
  grep '^BAD' "$scratch/check-$1.txt" || true
}
check_folder before

start_shop() {
  rm -f "$scratch/port"
  "$tools/sample_shop" --folder "$data" --port-file "$scratch/port" --save "$scratch/export-" \
    --seconds 1800 >"$scratch/shop.log" 2>&1 &
  shop_pid=$!
  for _ in $(seq 100); do
    [ -s "$scratch/port" ] && break
    kill -0 "$shop_pid" 2>/dev/null || { cat "$scratch/shop.log" >&2; exit 1; }
    sleep 0.1
  done
  [ -s "$scratch/port" ] || { echo "demo: the sample shop did not start" >&2; exit 1; }
  url="http://127.0.0.1:$(cat "$scratch/port")"
  echo
  echo "=== sample shop at $url (exports saved as $scratch/export-1.txt, -2.txt)"
}

show_log() {
  echo
  echo "=== run log $program/ESH_RUN.LOG"
  if [ -f "$program/ESH_RUN.LOG" ]; then
    sed '1s/^\xEF\xBB\xBF//' "$program/ESH_RUN.LOG" | tr -d '\r'
  else
    echo "(no run was logged)"
  fi
  echo "kept documents: $(ls "$program/doklady" 2>/dev/null | tr '\n' ' ')"
  echo
  echo "=== requests the shop saw"
  cat "$scratch/shop.log"
  echo
  check_folder after
  echo
  echo "Everything is kept in $scratch"
}

if [ $gui = 0 ]; then
  start_shop
  cli=("$tools/importobj-cli" --program-folder "$program")
  echo
  echo "=== import 1: importobj-cli --data $data --url $url --no-nzas --no-zalozkartu --days 14 --save"
  rc=0
  "${cli[@]}" --data "$data" --url "$url" --no-nzas --no-zalozkartu --days 14 --save || rc=$?
  echo "(exit status $rc: 0 all good, 1 some records rejected, 2 stopped)"
  echo
  echo "=== import 2 of the next export, with the saved settings and --zalozkartu"
  rc=0
  "${cli[@]}" --zalozkartu || rc=$?
  echo "(exit status $rc)"
  wait "$shop_pid" 2>/dev/null || true
  shop_pid=
  show_log
  exit 0
fi

# --gui: the Windows build of the window, run by Wine from the program folder.
winbuild="$builds/demo-win"
echo
echo "=== Windows build in $winbuild"
cmake -S "$root" -B "$winbuild" -G Ninja -DCMAKE_BUILD_TYPE=Release -DIO_TESTS=OFF \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
if ! ninja -C "$winbuild" -t targets all | grep -q '^importobj\.exe:'; then
  echo "demo --gui: this checkout has no Windows window yet (target importobj.exe)" >&2
  exit 1
fi
ninja -C "$winbuild" -j"$jobs" importobj sample_folder dbftool >/dev/null
exe=$(find "$winbuild" -name importobj.exe -not -path '*/CMakeFiles/*' | head -n 1)
cp "$exe" "$program/"
source "$root/tests/support/wine-prefix.sh"
prefix="$winbuild/wineprefix"
io_wine_prepare "$prefix"
trap 'cleanup; io_wine_stop "$prefix"' EXIT
winpath() { printf 'Z:%s' "${1//\//\\}"; }

echo
echo "=== the sample folder again, made by the Windows build in the locale's key order"
rm -rf "$data"
timeout -k 10 600 wine "$winbuild/tools/sample_folder.exe" "$(winpath "$data")" \
  --collation windows </dev/null
dbftool_check=(timeout -k 10 600 wine "$winbuild/tools/dbftool.exe" check "$(winpath "$data")"
               --collation windows)
check_folder before

start_shop
# The settings the window loads at start: saved by the console front-end into the program
# folder. Its own run stops at the folder check (a Windows path), so it fetches nothing.
"$tools/importobj-cli" --program-folder "$program" --data "$(winpath "$data")" --url "$url" \
  --no-nzas --no-nznet --no-zalozkartu --days 14 --save >/dev/null 2>&1 || true
rm -rf "$program/ESH_RUN.LOG" "$program/doklady"
echo
echo "=== the window: data folder $(winpath "$data"), address $url"
echo "Press \"Spustit import\". For the second export tick the card option and press it again."
echo "\"Konec\" closes the window; the demo then shows the run log."
(cd "$program" && timeout -k 10 3600 wine "$program/importobj.exe") || true
show_log
