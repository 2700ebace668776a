#!/usr/bin/env bash
# Shows the setup launcher at work: starts dist/win64/Install.exe under Xvfb in a throwaway Wine
# prefix, in English and in Japanese, and saves screenshots to test-output/launcher/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
# shellcheck source=../tests/wine/lib.sh
source tests/wine/lib.sh
# shellcheck source=../tests/wine/launcher_lib.sh
source tests/wine/launcher_lib.sh

exe=$root/dist/win64/Install.exe
PROGRAMS=$root/build/win64/launcher/test-programs
[[ -x $PROGRAMS/launcher_probe.exe ]] || PROGRAMS=$root/build/launcher-win64/launcher/test-programs
if [[ ! -f $exe || ! -f $PROGRAMS/launcher_probe.exe ]]; then
    echo "demo-launcher: build the win64 preset first" >&2
    exit 1
fi
WORK=$(mktemp -d /tmp/demo-launcher.XXXXXX)
OUT=$root/test-output/launcher
mkdir -p "$OUT" "$WORK/medium"
cp "$exe" "$WORK/medium/Install.exe"
trap 'launcher_cleanup; rm -rf "$WORK"' EXIT

launcher_display 76
launcher_prefix "$WORK/prefix"
for language in en ja; do
    if ! launcher_start "$WORK/medium" "$language"; then
        echo "demo-launcher: the dialog did not open ($language)" >&2
        exit 1
    fi
    sleep 2
    rect=$(probe dump "$DIALOG" |
        sed -n 's/.* window id=0 class=#32770 rect=\([-0-9]*\),\([-0-9]*\),\([0-9]*\),\([0-9]*\) .*/\3x\4+\1+\2/p')
    /usr/bin/import -window root "$WORK/screen.png"
    /usr/bin/convert "$WORK/screen.png" -crop "$rect" +repage "$OUT/demo-$language.png"
    echo "demo-launcher: $OUT/demo-$language.png"
    launcher_stop
done
