#!/usr/bin/env bash
# The demo's window read as a screen reader reads it: on a virtual X display,
# in a D-Bus session of its own with the AT-SPI bus started, the demo runs
# with Qt's AT-SPI bridge on and read_window_over_atspi.py walks its tree
# through pyatspi. The demo starts only once the accessibility bus is on the
# session bus: a Qt bridge that looks for it earlier never joins it.
set -uo pipefail
demo=$1
here=$(cd "$(dirname "$0")" && pwd)
if [ "${2:-}" != "--in-session" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" dbus-run-session -- bash "$0" "$demo" --in-session
fi
/usr/libexec/at-spi-bus-launcher --launch-immediately &
bus=$!
has_bus() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus 2>/dev/null | grep -q "boolean true"
}
for _ in $(seq 200); do
  has_bus && break
  sleep 0.1
done
if ! has_bus; then
  echo "demo_over_atspi: the accessibility bus (org.a11y.Bus) was not on the session bus 20 s after at-spi-bus-launcher started" >&2
  kill "$bus" 2>/dev/null
  exit 1
fi
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$demo" &
tool=$!
/usr/bin/python3 "$here/read_window_over_atspi.py"
status=$?
kill "$tool" "$bus" 2>/dev/null
wait
exit "$status"
