#!/usr/bin/env bash
# Builds Tolmera and runs it on the example recording pair in examples/ (made by tools/sim), writing the
# results to out/example. Exits with tolmera's own exit code.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target tolmera
mkdir -p out
set +e
build/driver/tolmera examples/S01.eeg examples/S01.asc -h out/example </dev/null
status=$?
set -e
echo "tolmera exit code: $status"
exit "$status"
