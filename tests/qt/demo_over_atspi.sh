#!/usr/bin/env bash
# The demo's window read as a screen reader reads it: on a virtual X display,
# in a D-Bus session of its own with the AT-SPI bus started, the demo runs
# with Qt's AT-SPI bridge on and read_window_over_atspi.py walks its tree
# through pyatspi.
set -uo pipefail
demo=$1
here=$(cd "$(dirname "$0")" && pwd)
if [ "${2:-}" != "--in-session" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" dbus-run-session -- bash "$0" "$demo" --in-session
fi
/usr/libexec/at-spi-bus-launcher --launch-immediately &
bus=$!
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$demo" &
tool=$!
/usr/bin/python3 "$here/read_window_over_atspi.py"
status=$?
kill "$tool" "$bus" 2>/dev/null
wait
exit "$status"
