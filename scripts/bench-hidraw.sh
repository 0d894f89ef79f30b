#!/usr/bin/env bash
# Builds the release preset and runs the hidraw layer's benchmark: a rescan
# tick over a sysfs fixture of 30 foreign devices and 2 generators, beside the
# same tick with a layer that opens every node.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j 2 --target tpg_hidraw_bench
exec ./build/release/bench/tpg_hidraw_bench --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true "$@"
