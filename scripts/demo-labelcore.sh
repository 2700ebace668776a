#!/usr/bin/env bash
# Runs the label core under Wine on the sample four-slot reader and prints the labels it wrote.
set -euo pipefail
cd "$(dirname "$0")/.."
source tests/wine/lib.sh

work=build/demo-labelcore
mkdir -p "$work"
wine_prefix "$PWD/$work/prefix"
trap wine_end EXIT
for letter in E F G H I; do
    wine_map_drive "$letter" "$PWD/$work/drive-$letter" floppy
done
wine_restart
wine_import service/tests/fixtures/sample_reader.reg

echo "labelcore reload clear scan (sample reader on E: to H:, another maker's stick on I:):"
wine_run dist/win64/labelcore.exe reload clear scan
