#!/usr/bin/env bash
# Installs and runs the drive label service KQMIEx64 under Wine on the sample four-slot reader:
# shows the labels Explorer reads while it runs, stops it, shows them gone, and removes it.
set -euo pipefail
cd "$(dirname "$0")/.."
source tests/wine/lib.sh
source tests/wine/service_lib.sh

work=$PWD/build/demo-service
mkdir -p "$work"
service_prefix "$work/prefix" "$work/trace.log"
trap wine_end EXIT
reader_drives "$work/drives"
service_restart
import_reader_fixture service/tests/fixtures/sample_reader.reg

# What Explorer shows for each letter: DriveIcons\<letter>\DefaultLabel.
show_labels() {
    local letter label
    for letter in E F G H I; do
        label=$(label_of "$letter")
        printf '  %s:  %s\n' "$letter" "${label:-(no label)}"
    done
}

run() {
    echo "> $*"
    wine_run "$@" 2>/dev/null | sed 's/^/  /'
}

echo "Sample reader: Compact Flash, SD, Memory Stick and xD slots on E: to H:;"
echo "another maker's USB stick on I:."
run "$SERVICE_EXE" -v
run "$SERVICE_EXE" -i
run "$WINE64" net start KQMIEx64
echo "Labels while the service runs:"
show_labels
run "$WINE64" net stop KQMIEx64
echo "Labels after the stop:"
show_labels
run "$SERVICE_EXE" -u
echo "The service's trace (debugger output):"
service_traces | sed 's/^/  /'
