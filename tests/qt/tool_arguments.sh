#!/usr/bin/env bash
# Runs the tool with --help and --version, and with arguments it ignores
# beside them, on no display at all: each must print its text and exit 0
# without starting the toolkit (which, with no display, would fail).
set -uo pipefail
tool=$1
version=$2
failed=0
check() {  # check EXPECTED-FIRST-LINE ARGUMENT...
  local expected=$1 out status
  shift
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb timeout 10 "$tool" "$@" 2>&1)
  status=$?
  if [ "$status" -ne 0 ] || [ "$(head -1 <<<"$out")" != "$expected" ]; then
    echo "FAILED: trelvix-pulse $*: status $status, printed:" >&2
    echo "$out" >&2
    failed=1
  else
    echo "ok: trelvix-pulse $*"
  fi
}
check "trelvix-pulse $version" --version
check "trelvix-pulse $version" -geometry 10x10 --version extra
check "Usage: trelvix-pulse [--help | --version]" --help
check "Usage: trelvix-pulse [--help | --version]" -h
check "Usage: trelvix-pulse [--help | --version]" --version --help
# Without either, the window is what it starts: here, with no display, the
# toolkit refuses, so the status is not 0.
if env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb timeout 10 "$tool" --verbose >/dev/null 2>&1; then
  echo "FAILED: trelvix-pulse --verbose did not try to open the window" >&2
  failed=1
fi
exit "$failed"
