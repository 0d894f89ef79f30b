#!/usr/bin/env bash
# Builds the release preset and runs the core's benchmarks; extra arguments go
# to the benchmark program (e.g. --benchmark_filter=Rescan).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j 2 --target tpg_core_bench
exec ./build/release/bench/tpg_core_bench --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true "$@"
