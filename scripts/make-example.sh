#!/usr/bin/env bash
# Regenerates the example recording pair in examples/ with the recording simulator (fixed seed, so the
# files come out byte for byte as committed).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target tolmera-sim
build/tools/sim/tolmera-sim --out examples --name S01 --seed 2026 --duration 60 \
  --eeg-rate 500 --channels 8 --format int16 --gaze-rate 500 --eyes both \
  --segments 2 --segment-loss 400 --trigger-interval 1000 --structure
