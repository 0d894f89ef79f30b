#!/usr/bin/env bash
# Runs clang-tidy with the project's checks over every source of the debug
# build and over the fuzz targets; exits non-zero on the first finding.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset debug >/dev/null
files=$(git ls-files '*.cpp' | grep -E '^(hid|link|protocol|settings|scpi|server|oncrpc|vxi11|rpcnet|lock|dnssd|web|cli|ui|tango|tests|apps|bench)/' |
        grep -v -E '^(hid/win32|ui/win32)/|^dnssd/(WindowsAnnouncer|NullBackend)' || true)
# A target may turn off a GCC-only warning (tango/), which clang does not know.
# run-clang-tidy fails when it finds something, so the findings are collected
# first: under pipefail a "pipeline && exit 1" would never exit.
findings() { grep -E "(warning|error):" || true; }
found=$(run-clang-tidy -quiet -p build/debug -extra-arg=-Wno-unknown-warning-option $files 2>&1 | findings)
[ -z "$found" ] || { echo "$found"; exit 1; }
# The fuzz targets, as their own clang build compiles them.
cmake -S fuzz -B build/fuzz -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
found=$(run-clang-tidy -quiet -p build/fuzz $(git ls-files 'fuzz/*.cpp') 2>&1 | findings)
[ -z "$found" ] || { echo "$found"; exit 1; }
echo "clang-tidy: clean"
