#!/usr/bin/env bash
# Builds the tool and starts it over the demo bench of simulated generators.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target trelvix-pulse-scenario
exec ./build/release/apps/trelvix-pulse-scenario "$@"
