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
  # the SCPI server's network loop (standalone Asio, header-only) and the
  # PyVISA client that drives the .exe from Linux
  libasio-dev python3-pyvisa python3-pyvisa-py
)

source "$(dirname "$0")/apt-install-missing.sh"
apt_install_missing "${packages[@]}"
