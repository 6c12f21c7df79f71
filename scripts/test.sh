#!/usr/bin/env bash
# Builds ondu and its tests, then runs every test; ends with the test runner's summary.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
cd build
ctest --output-on-failure -j"$(nproc)"
