#!/usr/bin/env bash
# Builds ondu and its tests with the address and undefined-behaviour sanitizers in ./build-asan
# and runs every test there: a finding stops its program, which fails its test. Ends with the
# test runner's summary; exits non-zero when a test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
checks="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
# -O1 keeps the build quick and the reports' stacks whole. The QGIS plugin is left out: QGIS's
# own libraries keep memory until the process ends, which the leak checker would report.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DONDU_BUILD_BENCH=OFF -DONDU_BUILD_QGIS=OFF \
  -DCMAKE_CXX_FLAGS="$checks -O1" -DCMAKE_EXE_LINKER_FLAGS="$checks" >/dev/null
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1
# Fontconfig, under cairo's text, keeps its configuration cache for the life of the process.
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
cmake --build build-asan -j"$(nproc)"
cd build-asan
ctest --output-on-failure -j"$(nproc)"
