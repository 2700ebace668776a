#!/usr/bin/env bash
# The main job: builds every program and shows the drive label core at work under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
bash scripts/demo-labelcore.sh
bash scripts/demo-launcher.sh && bash scripts/assemble-medium.sh
bash scripts/demo-service.sh
