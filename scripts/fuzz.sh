#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ (clang with libFuzzer, AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs each for SECONDS (default 60),
# starting from its seeds in fuzz/corpus/<target>/. Inputs that reach new
# code are kept in build/fuzz/corpus/<target>/ (the seeds in the repository
# are never written), an input that breaks a property or crashes in
# build/fuzz/findings/. Prints the executions of each target; exits non-zero
# when any target found a fault.
#
#   bash scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

source scripts/apt-install-missing.sh
apt_install_missing cmake make clang-14 libclang-rt-14-dev nlohmann-json3-dev libasio-dev \
  libboost-dev

build=build/fuzz
cmake -S fuzz -B "$build" -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build "$build" -j "$(nproc)"

# The longest input each target is given: a report descriptor or a uevent
# file is at most a page, and so is a saved setup or a run of USB/IP
# messages; a report of 4096 bytes and the choices around it; an HTTP
# request a little past the page's header and body limits.
declare -A max_len=(
  [report_descriptor]=4096
  [uevent]=4096
  [descriptor_string]=512
  [number_text]=256
  [state_report]=4200
  [command_report]=4200
  [setup_file]=4096
  [usbip_message]=4096
  [scpi_message]=4096
  [oncrpc_record]=4096
  [web_request]=16384
)
targets=(report_descriptor uevent descriptor_string number_text state_report command_report
  setup_file usbip_message scpi_message oncrpc_record web_request)

mkdir -p "$build/findings" "$build/logs"
failed=()
for target in "${targets[@]}"; do
  work="$build/corpus/$target"
  log="$build/logs/$target.log"
  mkdir -p "$work"
  status=0
  "$build/fuzz_$target" -max_total_time="$seconds" -max_len="${max_len[$target]}" \
    -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/findings/$target-" "$work" "fuzz/corpus/$target" \
    >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  seeds=$(find "fuzz/corpus/$target" -type f | wc -l)
  if [ "$status" -ne 0 ]; then
    echo "fuzz_$target: FAULT FOUND (exit $status); the input is in $build/findings/"
    grep -E "property failed|ERROR: |SUMMARY: |runtime error" "$log" | head -n 20 || tail -n 40 "$log"
    failed+=("$target")
  else
    echo "fuzz_$target: ${runs:-?} executions in ${seconds} s ($seeds seeds, corpus now $(find "$work" -type f | wc -l) new inputs)"
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found faults in: ${failed[*]} (logs in $build/logs/)"
  exit 1
fi
