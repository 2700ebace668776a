#!/usr/bin/env bash
# Runs every test: unit tests under the sanitizers, the fuzzer, the Windows builds' checks and
# the programs under Wine. Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

step() { printf '\n=== %s\n' "$*"; }

step "format"
bash scripts/check-format.sh

for preset in asan tsan win32 win64; do
  step "build and test: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" -j2
done

step "clang-tidy: portable sources"
bash scripts/check-tidy.sh build/asan

step "fuzz"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
bash scripts/fuzz.sh "${KQ_FUZZ_SECONDS:-60}"

step "benchmark: one short run, so it keeps working (figures: build/bench/service/tests/bench_label_core)"
cmake --preset bench >/dev/null
cmake --build --preset bench
build/bench/service/tests/bench_label_core --benchmark_min_time=0.01
