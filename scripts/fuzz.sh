#!/usr/bin/env bash
# Runs each fuzz target for a bounded time from its checked-in seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
for target in $(find build/fuzz -type f -name "fuzz_*" -perm -u+x); do
  [[ -x $target ]] || continue
  name=$(basename "$target")
  corpus=$(mktemp -d)
  cp service/tests/fuzz/corpus/* "$corpus"/ 2>/dev/null || true
  echo "fuzz: $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -print_final_stats=1 "$corpus" 2>&1 | tail -n 12
  rm -rf "$corpus"
done
