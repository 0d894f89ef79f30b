#!/usr/bin/env bash
# Builds the Linux install, stages `cmake --install` and the Debian package,
# and checks that each puts the executables, the udev rule, the desktop entry
# and the icon in their places.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

build=build/package
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release \
  -DTPG_BUILD_TESTS=OFF -DTPG_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j 2

expected=(
  usr/bin/trelvix-pulse-virtual
  usr/bin/trelvix-pulse-cli
  usr/lib/udev/rules.d/70-trelvix-pulse.rules
  usr/share/applications/trelvix-pulse.desktop
  usr/share/icons/hicolor/scalable/apps/trelvix-pulse.svg
)
if [ -x "$build/apps/trelvix-pulse" ]; then
  expected+=(usr/bin/trelvix-pulse)
else
  echo "test-packaging: the Qt skin is not in this tree; trelvix-pulse is not built"
fi

failed=0
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null
for f in "${expected[@]}"; do
  if [ -e "$stage/$f" ]; then echo "install: /$f"; else echo "install: MISSING /$f"; failed=1; fi
done
grep -q 'SUBSYSTEM=="hidraw", ATTRS{idVendor}=="6c3a", ATTRS{idProduct}=="4e19", TAG+="uaccess"' \
  "$stage/usr/lib/udev/rules.d/70-trelvix-pulse.rules" || { echo "udev rule wrong"; failed=1; }

(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls -t "$build"/trelvix-pulse_*.deb | head -1)
contents=$(dpkg-deb -c "$deb")
for f in "${expected[@]}"; do
  if grep -q " \./$f\$" <<<"$contents"; then echo "deb: /$f"; else echo "deb: MISSING /$f"; failed=1; fi
done
dpkg-deb -I "$deb" postinst >/dev/null || { echo "deb: no postinst"; failed=1; }

if [ "$failed" -ne 0 ]; then
  echo "test-packaging: FAILED" >&2
  exit 1
fi
echo "test-packaging: passed ($(basename "$deb"))"
