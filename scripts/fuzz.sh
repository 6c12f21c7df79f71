#!/usr/bin/env bash
# Builds the libFuzzer harnesses of fuzz/ with clang in ./build-fuzz and runs each for SECONDS
# seconds from its seed corpus, copied to a scratch folder so that the repository stays as it
# is. Fails on the first crash, sanitizer finding, leak, hang or broken property; the input that
# caused it is kept in build-fuzz/findings/.
# Usage: fuzz.sh SECONDS
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: fuzz.sh SECONDS}
# Debian 12's clang is clang 14; libFuzzer and the sanitizer runtimes must be of the same version.
bash scripts/install-deps.sh clang-14 libfuzzer-14-dev libclang-rt-14-dev
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DONDU_BUILD_FUZZ=ON -DONDU_BUILD_TESTS=OFF -DONDU_BUILD_BENCH=OFF >/dev/null

harnesses=()
for source in fuzz/*_fuzz.cpp; do harnesses+=("$(basename "$source" .cpp)"); done
targets=()
for harness in "${harnesses[@]}"; do targets+=(--target "$harness"); done
cmake --build build-fuzz -j"$(nproc)" "${targets[@]}"

root=$PWD
findings="$root/build-fuzz/findings"
mkdir -p "$findings"
# A harness writes and removes files for every input, thousands of times a second: without an
# ONDU_WORK_DIR, a folder in memory (/dev/shm) runs it several times faster than one on disk.
base=${ONDU_WORK_DIR:-${TMPDIR:-/tmp}}
[[ -z ${ONDU_WORK_DIR:-} && -d /dev/shm && -w /dev/shm ]] && base=/dev/shm
scratch=$(mktemp -d "$base/ondu-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
status=0
for harness in "${harnesses[@]}"; do
  work="$scratch/$harness"
  mkdir -p "$work/corpus"
  cp "fuzz/corpus/$harness"/* "$work/corpus/"
  options=(-max_total_time="$seconds" -timeout=10 -print_final_stats=1
           -artifact_prefix="$findings/$harness-")
  [[ -f "fuzz/$harness.dict" ]] && options+=(-dict="$root/fuzz/$harness.dict")
  echo "== $harness: ${seconds} s from $(ls "$work/corpus" | wc -l) seeds"
  # The harness writes its files into ONDU_WORK_DIR; libFuzzer's own log goes to a file, as it
  # reports every new input found.
  if (cd "$work" && ONDU_WORK_DIR="$work" "$root/build-fuzz/fuzz/$harness" "${options[@]}" corpus \
        >"$work/log" 2>&1); then
    grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$work/log" || true
  else
    tail -n 60 "$work/log"
    echo "FAILED: $harness; the input is in $findings"
    status=1
  fi
done
exit $status
