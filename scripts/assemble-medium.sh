#!/usr/bin/env bash
# Assembles the driver medium in dist/medium/: the 32-bit Install.exe, the drive label service
# KQMIEx64.exe and an autorun.inf that starts the launcher and shows its icon.
set -euo pipefail
cd "$(dirname "$0")/.."
medium=dist/medium
launcher=dist/win32/Install.exe
service=dist/win32/KQMIEx64.exe

if [[ ! -f $launcher ]]; then
    echo "assemble-medium: $launcher is missing; build the win32 preset first" >&2
    exit 1
fi
rm -rf "$medium"
mkdir -p "$medium"
cp "$launcher" "$medium/"
if [[ -f $service ]]; then
    cp "$service" "$medium/"
else
    echo "assemble-medium: warning: $service not built yet; the medium lacks the service" >&2
fi
# Windows reads autorun.inf as ANSI text with CR LF line ends.
printf '%s\r\n' '[autorun]' 'open=Install.exe' 'icon=Install.exe,0' 'label=Kardelle' \
    >"$medium/autorun.inf"
echo "assemble-medium: $(ls "$medium" | tr '\n' ' ')in $medium/"
