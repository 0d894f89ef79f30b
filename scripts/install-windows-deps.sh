#!/usr/bin/env bash
# Installs with apt-get what the Windows cross build and its tests under Wine
# need on a Debian 12 machine; nothing when everything is already there.
set -euo pipefail

packages=(
  # the 64-bit Windows cross compiler (posix threads: std::thread builds) and
  # its binutils, windres included
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  # running the .exe files: Wine, a display without a screen, Wine's fonts
  wine wine64 xvfb fonts-wine
  # GoogleTest sources, built with the cross toolchain
  googletest
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
