#!/usr/bin/env bash
# The label core with the real Win32 registry layer under Wine: scan, release and clear on the
# sample reader, read back with Wine's own reg tool and the ANSI registry API.
# usage: labelcore_test.sh WORKDIR
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tests/wine/lib.sh"
work=$(mkdir -p "$1" && cd "$1" && pwd)
labelcore=$root/dist/win64/labelcore.exe
regprobe=$root/dist/win64/regprobe.exe
icons='SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\DriveIcons'

wine_prefix "$work/prefix"
trap wine_end EXIT
for letter in E F G H I; do wine_map_drive "$letter" "$work/drive-$letter" floppy; done
wine_map_drive J "$work/drive-J" hd
wine_restart
# After the boot: Wine's mount manager rewrites MountedDevices when a session starts.
wine_import "$root/service/tests/fixtures/sample_reader.reg"
wine_import "$root/service/tests/fixtures/labels_left_over.reg"

probe() { wine_run "$regprobe" "$@"; }
no_key() { ! "$WINE64" reg query "HKLM\\$icons\\$1" >/dev/null 2>&1; }
expect_eq() {
    [[ $1 == "$2" ]] && return 0
    printf '  expected: %q\n  actual:   %q\n' "$2" "$1"
    return 1
}

out=$(wine_run "$labelcore" reload clear scan)
check "start-up scan prints the four reader slots" expect_eq "$out" "E: Compact Flash Drive
F: SD Card Drive
G: Memory Stick Drive
H: xD Card Drive"
for row in "E Compact Flash Drive" "F SD Card Drive" "G Memory Stick Drive" "H xD Card Drive"; do
    letter=${row%% *} label=${row#* }
    size=$((${#label} + 1))
    check "$letter: label is REG_SZ of $size bytes with its NUL" \
        expect_eq "$(probe "$icons\\$letter\\DefaultLabel")" "type 1 size $size text $label"
    check "$letter: marker holds the label" \
        expect_eq "$(probe "$icons\\$letter" KQMHMD)" "type 1 size $size text $label"
done
check "another maker's stick on I: gets no label" no_key I
check "fixed disk J: gets no label" no_key J
check "stale marked label on L: is gone" no_key L
check "the user's unmarked label on K: stays" \
    expect_eq "$(probe "$icons\\K\\DefaultLabel")" "type 1 size 14 text SD Card Drive"
check "a marked but unknown label on N: stays" \
    expect_eq "$(probe "$icons\\N\\DefaultLabel")" "type 1 size 14 text sd card drive"
check "M: keeps its key and marker for the foreign subkey" \
    expect_eq "$(probe "$icons\\M" KQMHMD)" "type 1 size 19 text Memory Stick Drive"
check "M: loses its DefaultLabel" no_key 'M\\DefaultLabel'

# H:'s volume goes away: one release frees the highest entry that no longer leads to a reader.
"$WINE64" reg delete 'HKLM\SYSTEM\MountedDevices' /v '\DosDevices\H:' /f >/dev/null 2>&1
out=$(wine_run "$labelcore" reload release)
check "release after H: went keeps E: to G:" expect_eq "$out" "E: Compact Flash Drive
F: SD Card Drive
G: Memory Stick Drive"
check "release deleted H:'s keys" no_key H
check "release left G:'s label" expect_eq "$(probe "$icons\\G\\DefaultLabel")" \
    "type 1 size 19 text Memory Stick Drive"

out=$(wine_run "$labelcore" reload clear)
check "clear leaves an empty table" expect_eq "$out" ""
for letter in E F G; do
    check "clear deleted $letter:'s keys" no_key $letter
done
check "clear left the user's label" \
    expect_eq "$(probe "$icons\\K\\DefaultLabel")" "type 1 size 14 text SD Card Drive"

out=$(wine_run "$labelcore" arrival)
check "an arrival labels only the first reader slot" expect_eq "$out" "E: Compact Flash Drive"

out=$(wine_run "$labelcore" bogus)
rc=$?
check "an unknown operation prints the usage and exits 2" \
    expect_eq "$rc $out" "2 usage: labelcore [reload|clear|scan|arrival|release]..."

finish
