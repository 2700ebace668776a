#!/usr/bin/env bash
# Runs every test: unit tests under the sanitizers, clang-tidy, the fuzzers, the Windows
# builds' checks and the programs under Wine. Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

step() { printf '\n=== %s\n' "$*"; }
passed=0
failed=0
# build_and_test PRESET: builds a preset and runs its tests, adding up the counts.
build_and_test() {
  step "build and test: $1"
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1"
  local log="build/$1/ctest-summary.log"
  ctest --preset "$1" -j2 | tee "$log" || true
  local line total bad
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  [[ -n $line ]] || { echo "test: no ctest summary for $1"; exit 1; }
  total=${line##* out of }
  bad=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$line")
  passed=$((passed + total - bad))
  failed=$((failed + bad))
}

step "format"
bash scripts/check-format.sh

build_and_test asan

step "clang-tidy: portable sources"
bash scripts/check-tidy.sh build/asan

step "fuzz"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
bash scripts/fuzz.sh "${KQ_FUZZ_SECONDS:-60}"

step "benchmark: one short run, so it keeps working"
cmake --preset bench >/dev/null
cmake --build --preset bench
build/bench/service/tests/bench_label_core --benchmark_min_time=0.01

for preset in tsan win32 win64; do
  build_and_test "$preset"
done

step "all tests"
echo "$passed passed, $failed failed"
((failed == 0))
