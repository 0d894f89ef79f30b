#!/usr/bin/env bash
# Installs with apt-get whatever a fresh Debian 12 machine lacks for building
# and testing the tool. Each group of packages is named by what needs it;
# nothing is installed when everything is already there.
set -euo pipefail

packages=(
  # the core build and its tests
  cmake g++ make googletest libgtest-dev libgmock-dev libbenchmark-dev
  # the Qt window, its demo and their tests: Qt 6 Widgets, Xvfb for a
  # display-less run, the stand-in font for the window's two faces
  qt6-base-dev libgl-dev xvfb xauth fonts-liberation
  # the test on a real kernel: the emulator, the guest's shell, its initramfs
  qemu-system-x86 busybox-static cpio xz-utils zstd
  # the packaging check: Debian's package checker
  lintian
  # the SCPI server: standalone Asio (header-only); the real clients its
  # tests drive it with (PyVISA over pyvisa-py, pymeasure)
  libasio-dev python3-pyvisa python3-pyvisa-py python3-pymeasure
)

source "$(dirname "$0")/apt-install-missing.sh"
apt_install_missing "${packages[@]}"
