#!/usr/bin/env bash
# Cross-builds the two Windows executables and the test suites for 64-bit
# Windows, then runs every test under Wine on a display of its own (Xvfb) in a
# fresh Wine prefix. Leaves nothing running: the display and the Wine server
# are stopped on every way out.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/install-windows-deps.sh

echo "=== mingw build ==="
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j 2

# The installer's own build (README): it makes the MSI and no test suite.
# Configured only, since the build above made the same executables.
cmake --preset mingw-package >/dev/null
package_targets=$(cmake --build --preset mingw-package --target help)
grep -q '^\.\.\. trelvix-pulse-msi$' <<<"$package_targets" ||
  { echo "mingw-package: no trelvix-pulse-msi target" >&2; exit 1; }
if grep -Ei '^\.\.\. .*(_tests|test)' <<<"$package_targets"; then
  echo "mingw-package: builds test suites" >&2
  exit 1
fi

build=$root/build/mingw
source scripts/wine-env.sh
wine_env "$build/wineprefix"
trap stop_wine_and_xvfb EXIT
start_xvfb

echo "=== Wine prefix ==="
make_wine_prefix

echo "=== tests under Wine ==="
# One persistent server for the whole run, so that each test does not wait
# for a new one to start and end.
wineserver -p
# Start Wine's own services now, detached from our output: started by the
# first test instead, they would inherit its pipes and hold them open.
wine cmd /c exit >/dev/null 2>&1 </dev/null
ctest --preset mingw
echo "screenshots: build/mingw/windows/trelvix-pulse-window.png (filled)," \
     "trelvix-pulse-searching.png (no generator)"
