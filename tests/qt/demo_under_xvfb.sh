#!/usr/bin/env bash
# Starts the demo on a virtual X display (the xcb platform, as on a desktop)
# and checks that it comes up and keeps running until it is stopped: exit
# status 124 from timeout, and nothing on stderr that tells of a failure.
set -uo pipefail
demo=$1
log=$(mktemp)
trap 'rm -f "$log"' EXIT
xvfb-run -a -s "-screen 0 1024x768x24" timeout -s TERM 4 "$demo" 2>"$log"
status=$?
if [ "$status" -ne 124 ]; then
  echo "the demo ended by itself with status $status:" >&2
  cat "$log" >&2
  exit 1
fi
if grep -q -i -E "could not (load|connect)|fatal|error|sanitizer" "$log"; then
  cat "$log" >&2
  exit 1
fi
echo "the demo ran on a virtual display until stopped"
