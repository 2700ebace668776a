#!/usr/bin/env bash
# Runs each fuzz target for a bounded time, starting from its checked-in seed corpus.
# usage: fuzz.sh [SECONDS]   (after building the fuzz preset)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
artifacts=build/fuzz-artifacts
mkdir -p "$artifacts"
mapfile -t targets < <(find "${KQ_FUZZ_BUILD:-build/fuzz}" -type f -name 'fuzz_*' -perm -u+x | sort)
((${#targets[@]})) || { echo "fuzz: no fuzz targets built"; exit 1; }
for target in "${targets[@]}"; do
  name=$(basename "$target")
  corpus=$(mktemp -d)
  cp service/tests/fuzz/corpus/"$name"/* "$corpus"/
  echo "fuzz: $name for ${seconds}s from $(ls "$corpus" | wc -l) seeds"
  if ! "$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$artifacts/" \
      "$corpus" >"$artifacts/$name.log" 2>&1; then
    tail -n 40 "$artifacts/$name.log"
    echo "fuzz: $name FAILED (input kept in $artifacts/)"
    exit 1
  fi
  grep -E '^stat::(number_of_executed_units|new_units_added|peak_rss_mb)' "$artifacts/$name.log"
  rm -rf "$corpus"
done
