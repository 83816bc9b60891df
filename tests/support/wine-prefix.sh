#!/usr/bin/env bash
# Prepares a headless 32-bit Wine prefix for running the Windows build.
#   wine-prefix.sh PREFIX   creates PREFIX once (later calls return at once) and starts its server.
# Sourced, it only defines io_wine_env, io_wine_prepare and io_wine_stop.

io_wine_env() {  # PREFIX
  export WINEPREFIX="$1" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  export HOME="${HOME:-/root}"
  # Wine names the files on disk in the locale's character set: only UTF-8 holds every name.
  export LC_ALL=C.UTF-8
  # Wine's WinINet honours these even for loopback addresses.
  unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
}

io_wine_prepare() {  # PREFIX
  local prefix="$1" log
  io_wine_env "$prefix"
  mkdir -p "$(dirname "$prefix")"
  log="$prefix.log"
  (
    # Concurrent first runs (ctest -j) wait here for one of them to build the prefix.
    flock -w 300 9 || { echo "wine-prefix: timed out waiting for $prefix.lock" >&2; exit 1; }
    [ -f "$prefix/.io-ready" ] && exit 0
    rm -rf "$prefix"
    {
      timeout -k 10 180 wineboot --init && timeout -k 10 120 wineserver -w
    } >"$log" 2>&1 || { echo "wine-prefix: wineboot failed, see $log" >&2; exit 1; }
    # Debian's Wine does not look in fonts-wine's folder; dialogs need Tahoma for "MS Shell Dlg".
    cp /usr/share/wine/fonts/*.ttf "$prefix/drive_c/windows/Fonts/" 2>>"$log" || true
    # Unmanaged windows close without waiting for a window manager; a crash prints a backtrace
    # instead of opening a dialog that would hang a headless run.
    printf '%s\r\n' 'REGEDIT4' '' \
      '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' '"Managed"="N"' '' \
      '[HKEY_CURRENT_USER\Software\Wine\WineDbg]' '"ShowCrashDialog"=dword:00000000' '' \
      >"$prefix/drive_c/io-headless.reg"
    {
      timeout -k 10 60 wine regedit /S 'C:\io-headless.reg' && timeout -k 10 60 wineserver -w
    } >>"$log" 2>&1 || { echo "wine-prefix: registry import failed, see $log" >&2; exit 1; }
    # Unix paths reach the programs through drive Z:; the tests rely on it.
    [ "$(readlink "$prefix/dosdevices/z:")" = / ] || {
      echo "wine-prefix: drive Z: of $prefix is not mapped to /" >&2
      exit 1
    }
    touch "$prefix/.io-ready"
  ) 9>"$prefix.lock" || return 1
  # A persistent server makes each further Wine process start in tens of milliseconds.
  timeout -k 5 30 wineserver -p 60 </dev/null >/dev/null 2>&1 || true
}

io_wine_stop() {  # PREFIX
  io_wine_env "$1"
  [ -d "$1" ] && timeout -k 5 30 wineserver -k </dev/null >/dev/null 2>&1 || true
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  [ $# -eq 1 ] || { echo "usage: $0 PREFIX" >&2; exit 2; }
  io_wine_prepare "$1"
fi
