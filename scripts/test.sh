#!/usr/bin/env bash
# Builds and runs every test, in a normal build and in an AddressSanitizer + UBSan build, then
# runs every fuzz target briefly on its corpus (FUZZ_SECONDS each, 20 by default).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs" </dev/null

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTOLMERA_SANITIZE=ON -DTOLMERA_BUILD_BENCH=OFF
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" </dev/null

seconds=${FUZZ_SECONDS:-20}
if ! command -v clang++ >/dev/null 2>&1; then
  echo "clang++ not found: the fuzz runs are skipped"
  exit 0
fi
mkdir -p build-fuzz/logs
for corpus in fuzz/corpus/*/; do
  target=$(basename "$corpus")
  log=build-fuzz/logs/ci-$target.log
  if fuzz/run.sh "$target" "$seconds" >"$log" 2>&1; then
    echo "fuzz $target: $(grep -a 'stat::number_of_executed_units' "$log" | awk '{print $2}') executions in ${seconds} s, no finding"
  else
    echo "fuzz $target: FAILED (log $log)"
    grep -a -A40 -m1 "ERROR: \|runtime error\|SUMMARY" "$log" || tail -40 "$log"
    exit 1
  fi
done
