#!/usr/bin/env bash
# Installs what the builds and tests need on Debian 12 (native tools, clang with libFuzzer for
# the fuzz targets, the mingw-w64 cross compiler, Wine with its 32-bit libraries, the peer
# readers of DBF/NTX/CDX files).
# Installs only what is missing; with everything present it changes nothing and needs no network.
set -euo pipefail

packages=(
  cmake ninja-build g++ googletest libgtest-dev libgmock-dev libcurl4-openssl-dev
  python3-dbf libdbd-xbase-perl clang libclang-rt-14-dev
  g++-mingw-w64-i686-posix mingw-w64-tools wine wine32:i386 xvfb xauth xdotool imagemagick fonts-wine
  libxrender1:i386 libxrandr2:i386 libxi6:i386 libxcursor1:i386 libxfixes3:i386
  libxinerama1:i386 libxcomposite1:i386 libgnutls30:i386
)

installed() {
  [ "$(dpkg-query -W -f='${db:Status-Abbrev}' "$1" 2>/dev/null)" = "ii " ]
}

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "setup: need root (or sudo) to install packages" >&2; exit 1; }
    sudo=(sudo)
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt=(apt-get -y -q -o DPkg::Lock::Timeout=300 -o Dpkg::Options::=--force-confdef
       -o Dpkg::Options::=--force-confold)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo[@]}" dpkg --add-architecture i386
  fi
  "${sudo[@]}" "${apt[@]}" update </dev/null
  "${sudo[@]}" "${apt[@]}" install --no-install-recommends "${missing[@]}" </dev/null
  for p in "${missing[@]}"; do
    installed "$p" || { echo "setup: $p did not install" >&2; exit 1; }
  done
fi

for tool in cmake ninja g++ clang++ ctest i686-w64-mingw32-g++-posix i686-w64-mingw32-windres \
            i686-w64-mingw32-objdump wine \
            wineserver xvfb-run python3 timeout flock; do
  command -v "$tool" >/dev/null || { echo "setup: $tool is missing" >&2; exit 1; }
done
[ -d /usr/src/googletest ] || { echo "setup: /usr/src/googletest is missing" >&2; exit 1; }
echo "setup: all ${#packages[@]} packages present"
