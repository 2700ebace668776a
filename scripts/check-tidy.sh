#!/usr/bin/env bash
# clang-tidy over the portable sources of a native build (default: the asan build).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/asan}
mapfile -t files < <(python3 - "$build/compile_commands.json" <<'PY'
import json, os, sys
root = os.getcwd() + "/"
seen = set()
for entry in json.load(open(sys.argv[1])):
    path = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
    rel = path[len(root):] if path.startswith(root) else None
    if rel and rel.startswith(("service/", "launcher/")) and "/tests/" not in rel and rel not in seen:
        seen.add(rel)
        print(rel)
PY
)
((${#files[@]})) || { echo "tidy: no sources in $build"; exit 1; }
status=0
output=$(clang-tidy --quiet -p "$build" "${files[@]}" 2>&1) || status=$?
grep -v -E '^[0-9]+ warnings( and [0-9]+ errors?)? generated\.$' <<<"$output" || true
((status == 0)) && echo "tidy: ${#files[@]} files clean"
exit $status
