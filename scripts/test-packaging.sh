#!/usr/bin/env bash
# Builds the Linux install from the release preset (which scripts/test.sh has
# built already), stages `cmake --install` and the Debian package, checks that
# each puts the executables, the udev rule, the desktop entry, the icons, the
# AppStream entry, the bash completion, the man pages, the changelog, the
# copyright file, the README and the pymeasure example in their places,
# validates the desktop entry and the AppStream entry as installed, and runs
# lintian on the package: any error or warning fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

build=build/release
cmake --preset release >/dev/null
cmake --build --preset release -j 2

expected=(
  usr/bin/trelvix-pulse-virtual
  usr/bin/trelvix-pulse-cli
  usr/lib/udev/rules.d/70-trelvix-pulse.rules
  usr/lib/systemd/system/trelvix-pulse-scpi@.service
  usr/share/applications/trelvix-pulse.desktop
  usr/share/icons/hicolor/scalable/apps/trelvix-pulse.svg
  usr/share/metainfo/com.trelvix.pulse.metainfo.xml
  usr/share/bash-completion/completions/trelvix-pulse-cli
  usr/share/man/man1/trelvix-pulse-virtual.1.gz
  usr/share/man/man1/trelvix-pulse-cli.1.gz
  usr/share/doc/trelvix-pulse/changelog.gz
  usr/share/doc/trelvix-pulse/copyright
  usr/share/doc/trelvix-pulse/README.md
  usr/share/doc/trelvix-pulse/examples/trelvix_pulse.py
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=(usr/share/icons/hicolor/${size}x${size}/apps/trelvix-pulse.png)
done
expected+=(
  usr/bin/trelvix-pulse-tango
  usr/lib/systemd/system/trelvix-pulse-tango@.service
  usr/share/man/man1/trelvix-pulse-tango.1.gz
  usr/share/trelvix-pulse/epics/trelvix-pulse.proto
  usr/share/trelvix-pulse/epics/trelvix-pulse.db
  usr/share/trelvix-pulse/epics/st.cmd
)
if [ -x "$build/apps/trelvix-pulse" ]; then
  expected+=(usr/bin/trelvix-pulse usr/share/man/man1/trelvix-pulse.1.gz
             usr/bin/trelvix-pulse-demo usr/share/man/man1/trelvix-pulse-demo.1.gz)
else
  echo "test-packaging: the Qt skin is not in this tree; trelvix-pulse is not built"
fi

failed=0
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage" cmake --install "$build" --prefix /usr --strip >/dev/null
for f in "${expected[@]}"; do
  if [ -e "$stage/$f" ]; then echo "install: /$f"; else echo "install: MISSING /$f"; failed=1; fi
done
grep -q 'SUBSYSTEM=="hidraw", ATTRS{idVendor}=="6c3a", ATTRS{idProduct}=="4e19", TAG+="uaccess", GROUP="plugdev", MODE="0660"' \
  "$stage/usr/lib/udev/rules.d/70-trelvix-pulse.rules" || { echo "udev rule wrong"; failed=1; }

# The desktop entry and the software centre's entry, as installed; the
# AppStream entry names the generator's USB IDs and lists every release of the
# changelog.
if desktop-file-validate "$stage/usr/share/applications/trelvix-pulse.desktop"; then
  echo "desktop-file-validate: no findings"
else
  failed=1
fi
metainfo=$stage/usr/share/metainfo/com.trelvix.pulse.metainfo.xml
appstreamcli validate --no-net --strict --pedantic "$metainfo" || failed=1
grep -q '<modalias>usb:v6C3Ap4E19d\*</modalias>' "$metainfo" || { echo "metainfo: no modalias"; failed=1; }
for release in $(sed -n 's/^trelvix-pulse (\([^)]*\)).*/\1/p' packaging/linux/changelog); do
  grep -q "<release version=\"$release\"" "$metainfo" ||
    { echo "metainfo: no release $release, which the changelog has"; failed=1; }
done

(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls -t "$build"/trelvix-pulse_*.deb | head -1)
contents=$(dpkg-deb -c "$deb")
for f in "${expected[@]}"; do
  if grep -q " \./$f\$" <<<"$contents"; then echo "deb: /$f"; else echo "deb: MISSING /$f"; failed=1; fi
done
dpkg-deb -I "$deb" postinst >/dev/null || { echo "deb: no postinst"; failed=1; }

# Debian's conventions, checked by lintian as an ordinary user (it warns when
# run as root); informational tags are printed but pass.
checked=$stage/$(basename "$deb")
cp "$deb" "$checked"
chmod 755 "$stage" && chmod 644 "$checked"
findings=$(runuser -u nobody -- lintian --tag-display-limit 0 "$checked" 2>&1) || true
[ -n "$findings" ] && echo "$findings" | sed 's/^/lintian: /'
if grep -Eq '^[EW]: ' <<<"$findings"; then
  echo "lintian: errors or warnings on $(basename "$deb")"
  failed=1
else
  echo "lintian: no errors or warnings"
fi

if [ "$failed" -ne 0 ]; then
  echo "test-packaging: FAILED" >&2
  exit 1
fi
echo "test-packaging: passed ($(basename "$deb"))"
