#!/usr/bin/env bash
# Installs with apt-get whatever a fresh Debian 12 machine lacks (through sudo
# when not run as root; see apt-install-missing.sh). Each group of packages is
# named by what needs it; nothing is installed when everything is already
# there.
#
#   install-deps.sh build   what building the tool, the command line and the
#                           demo, and running them, needs (scripts/run.sh)
#   install-deps.sh         that and everything the tests need
set -euo pipefail

build=(
  # the compiler and the build; the presets configure the tests and the
  # benchmarks too, so their libraries are needed to configure at all
  cmake g++ make googletest libgtest-dev libgmock-dev libbenchmark-dev
  # the command line's JSON and the SCPI server's network loop (both
  # header-only)
  nlohmann-json3-dev libasio-dev
  # serve's announcement on the network (mDNS / DNS-SD) through the Avahi
  # daemon's client library
  libavahi-client-dev
  # serve's web page: Boost.Beast's HTTP parser and serializer, header-only
  # (Debian's cpp-httplib is a shared library built with OpenSSL, which the
  # static Windows build cannot use)
  libboost-dev
  # the Qt window and its demo: Qt 6 Widgets, the stand-in font for the
  # window's two faces
  qt6-base-dev libgl-dev fonts-liberation
  # the icons, made from the SVG at build time (cmake/Icons.cmake)
  librsvg2-bin icoutils python3-pil
  # the Tango device server trelvix-pulse-tango, built by default on Linux
  # (found through pkg-config)
  libtango-dev pkg-config
)
tests=(
  # the Qt tests and the demo on a virtual display
  xvfb xauth
  # the accessibility test: a session bus, the AT-SPI bus and registry, and
  # the Python client a screen reader uses to read the window's tree
  dbus-daemon at-spi2-core python3-pyatspi
  # the test on a real kernel: the emulator, the guest's shell, its initramfs
  qemu-system-x86 busybox-static cpio xz-utils zstd
  # the packaging check: Debian's package checker, the AppStream and desktop
  # entry validators
  lintian appstream desktop-file-utils
  # the SCPI server's tests: the real clients that drive it (PyVISA over
  # pyvisa-py, pymeasure)
  python3-pyvisa python3-pyvisa-py python3-pymeasure
  # the Tango device server's test: PyTango as the client, and a private
  # MariaDB with tango-db's schema under Tango's DataBaseds. tango-db's own
  # database setup fails quietly without a running server (dbconfig-common,
  # noninteractive) and the package stays installed: the test loads the
  # schema the package ships into its own server.
  python3-tango tango-db mariadb-server
  # serve's announcement test: its own Avahi daemon and system bus in the
  # test's namespaces, the browsers that look for it (avahi-browse, Python
  # zeroconf) and the namespaces' veth link (ip)
  avahi-daemon avahi-utils python3-zeroconf dbus-daemon iproute2
  # the VXI-11 tests: lxi-tools' discovery and queries (ip and pyvisa-py are
  # above)
  lxi-tools
  # serve's web page in a real browser: headless Chromium driven by Selenium
  chromium chromium-driver python3-selenium
)

case "${1:-all}" in
  build) packages=("${build[@]}") ;;
  all) packages=("${build[@]}" "${tests[@]}") ;;
  *) echo "usage: install-deps.sh [build]" >&2; exit 2 ;;
esac
source "$(dirname "$0")/apt-install-missing.sh"
apt_install_missing "${packages[@]}"
