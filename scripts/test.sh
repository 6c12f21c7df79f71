#!/usr/bin/env bash
# Builds ondu and its tests, then runs every test; ends with the test runner's summary.
set -euo pipefail
cd "$(dirname "$0")/.."
# The QGIS plugin's tests run here too: its optional packages are installed unless switched off.
export ONDU_WITH_QGIS="${ONDU_WITH_QGIS:-1}"
bash scripts/build.sh
cd build
ctest --output-on-failure -j"$(nproc)"
