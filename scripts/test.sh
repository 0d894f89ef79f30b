#!/usr/bin/env bash
# Builds the tool and runs every test: the debug build's suite, then the same
# suite under AddressSanitizer and UndefinedBehaviorSanitizer (with the soak
# over the simulated bench); a short run of every fuzz target; the release
# build of every target with one brief run of each benchmark program; the
# Windows suites under Wine, the tests on a real kernel (the Linux tool, and
# the Windows tool under Wine) and the packaging check.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

jobs=$(nproc)
for preset in debug asan; do
  echo "=== $preset build ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "=== $preset tests ==="
  ctest --preset "$preset" -j "$jobs"
done
# Every fuzz target over its seed corpus and then 15 s of fuzzing.
echo "=== fuzz smoke runs ==="
bash scripts/fuzz.sh 15
echo "=== release build and benchmark smoke runs ==="
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs"
# Once each, briefly: a benchmark that stops building or crashes fails here;
# the figures come from scripts/bench.sh and scripts/bench-hidraw.sh.
for bench in build/release/bench/tpg_core_bench build/release/bench/tpg_hidraw_bench \
  build/release/bench/qt/tpg_qt_bench; do
  QT_QPA_PLATFORM=offscreen "$bench" --benchmark_min_time=0.01 >/dev/null
  echo "benchmark smoke run: $(basename "$bench") ok"
done
bash scripts/test-windows.sh
bash scripts/test-kernel.sh
bash scripts/test-kernel-wine.sh
bash scripts/test-packaging.sh
