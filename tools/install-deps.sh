#!/usr/bin/env bash
# Installs what building and testing need, on Debian 12 as root; does nothing when all is
# there already. Shared by ./run.sh and ./test.sh.
set -euo pipefail
packages=(cmake make clang libclang-rt-14-dev libgtest-dev openssl
          g++-mingw-w64-i686 binutils-mingw-w64-i686
          g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
          wine wine32:i386 wine64 fonts-wine xvfb xauth x11-utils imagemagick
          libxml2-utils python3 python3-xlib)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
SUDO=; [ "$(id -u)" -eq 0 ] || SUDO=sudo
dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
