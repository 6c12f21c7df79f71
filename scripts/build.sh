#!/usr/bin/env bash
# Configures and builds ondu in ./build (incremental after the first run).
# Usage: build.sh [TARGET...]   (default: everything, tests and benchmarks included)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build build -j"$(nproc)" "${targets[@]}"
