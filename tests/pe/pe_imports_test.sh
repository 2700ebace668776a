#!/usr/bin/env bash
# usage: pe_imports_test.sh OBJDUMP EXE DLL FUNCTION...
# Checks that EXE is a 32-bit (i386) PE image that imports each FUNCTION from DLL.
set -uo pipefail
objdump=$1 exe=$2 dll=$3
shift 3
failed=0
header=$("$objdump" -f "$exe" 2>&1) || { echo "FAIL - $exe is no readable image"; exit 1; }
if grep -q 'file format pei-i386' <<<"$header" && grep -q 'architecture: i386' <<<"$header"; then
    echo "ok   - $(basename "$exe") is a PE32 i386 image"
else
    echo "FAIL - $(basename "$exe") is not a PE32 i386 image: $header"
    failed=1
fi
# The functions listed under the DLL's import directory entry.
imports=$("$objdump" -p "$exe" | awk -v dll="$dll" '
    /DLL Name:/ { current = tolower($3) }
    current == tolower(dll) && NF >= 3 && $1 ~ /^[0-9a-f]+$/ { print $3 }')
for function in "$@"; do
    if grep -qx "$function" <<<"$imports"; then
        echo "ok   - imports $function from $dll"
    else
        echo "FAIL - does not import $function from $dll"
        failed=1
    fi
done
exit $failed
