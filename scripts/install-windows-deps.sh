#!/usr/bin/env bash
# Installs with apt-get what the Windows cross build and its tests under Wine
# need on a Debian 12 machine (through sudo when not run as root); nothing
# when everything is already there.
set -euo pipefail

packages=(
  # the 64-bit Windows cross compiler (posix threads: std::thread builds) and
  # its binutils, windres included
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  # running the .exe files: Wine, a display without a screen, Wine's fonts
  wine wine64 xvfb fonts-wine
  # GoogleTest sources, built with the cross toolchain
  googletest
  # the icon, made from the SVG at build time (cmake/Icons.cmake)
  librsvg2-bin icoutils python3-pil
  # the installer (.msi) and the tools its test reads it with
  wixl msitools
  # header-only libraries the cross build includes from the host: the command
  # line's JSON, and the PNG writer of the test suites' screenshots
  nlohmann-json3-dev libstb-dev
  # the SCPI server's network loop (standalone Asio, header-only) and the
  # PyVISA client that drives the .exe from Linux
  libasio-dev python3-pyvisa python3-pyvisa-py
)

source "$(dirname "$0")/apt-install-missing.sh"
apt_install_missing "${packages[@]}"
