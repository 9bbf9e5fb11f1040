#!/usr/bin/env bash
# Builds one fuzz target with clang (libFuzzer, ASan, UBSan) and runs it for the given seconds
# on its committed seed corpus. New inputs go to build-fuzz/corpus/<target>, findings to
# build-fuzz/artifacts/<target>. Usage: fuzz/run.sh <target> <seconds> [libFuzzer options...]
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -lt 2 ]; then
  echo "usage: fuzz/run.sh <target> <seconds> [libFuzzer options]" >&2
  echo "targets: $(ls fuzz/corpus | tr '\n' ' ')" >&2
  exit 2
fi
target=$1
seconds=$2
shift 2
if [ ! -d "fuzz/corpus/$target" ]; then
  echo "no such fuzz target: $target" >&2
  exit 2
fi
CXX_FUZZ=${CXX_FUZZ:-$(command -v clang++ || command -v clang++-14 || true)}
if [ -z "$CXX_FUZZ" ]; then
  echo "clang++ not found: fuzz target $target skipped" >&2
  exit 3
fi
build=${TOLMERA_FUZZ_BUILD:-build-fuzz}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DTOLMERA_REALDATA_DIR="${TOLMERA_REALDATA_DIR:-$PWD/../shared/realdata}" -DCMAKE_CXX_COMPILER="$CXX_FUZZ" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTOLMERA_FUZZ=ON -DTOLMERA_BUILD_TESTS=OFF -DTOLMERA_BUILD_TOOLS=OFF -DTOLMERA_BUILD_BENCH=OFF >/dev/null
fi
mkdir -p "$build/logs"
if ! cmake --build "$build" --target "fuzz_$target" -j "${FUZZ_BUILD_JOBS:-2}" >"$build/logs/build-$target.log" 2>&1; then
  cat "$build/logs/build-$target.log" >&2
  exit 1
fi
mkdir -p "$build/corpus/$target" "$build/artifacts/$target"
# Standard output carries the readers' error lines; closing it keeps the fuzzer fast.
ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
  "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
  -close_fd_mask=1 -print_final_stats=1 -artifact_prefix="$build/artifacts/$target/" "$@" \
  "$build/corpus/$target" "fuzz/corpus/$target"
