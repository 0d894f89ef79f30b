#!/usr/bin/env bash
# Builds the tool and starts it over the demo bench of simulated generators:
# the tool's window and, beside it, the bench window that plugs, unplugs and
# adds generators. Installs only what building and running the demo needs
# (with sudo when not run as root). Needs a display; where there is none, run
# it under a virtual one: xvfb-run -a bash scripts/run.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh build
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  # So that the command below works on this machine.
  source scripts/apt-install-missing.sh
  apt_install_missing xvfb xauth
  echo "run.sh: no display; start it as: xvfb-run -a bash scripts/run.sh" >&2
  exit 2
fi
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target trelvix-pulse-demo
exec ./build/release/apps/trelvix-pulse-demo "$@"
