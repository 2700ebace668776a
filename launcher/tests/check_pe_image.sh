#!/usr/bin/env bash
# Checks that a 32-bit Install.exe loads on Windows 98 SE: PE versions 4.0, a GUI program, and
# only imports from the allowed list.  check_pe_image.sh OBJDUMP EXE ALLOWED_LIST
set -euo pipefail
objdump=$1 exe=$2 allowed=$3
dump=$("$objdump" -p "$exe")
status=0

field() { awk -v k="$1" '$1 == k { print $2; exit }' <<<"$dump"; }
for f in MajorOSystemVersion:4 MinorOSystemVersion:0 MajorSubsystemVersion:4 \
    MinorSubsystemVersion:0; do
    name=${f%%:*} want=${f##*:}
    got=$(field "$name")
    if [[ $got != "$want" ]]; then
        echo "FAIL - $name is ${got:-missing}, Windows 98 needs $want"
        status=1
    fi
done
if [[ $(field Subsystem) != 00000002 ]]; then
    echo "FAIL - not a Windows GUI program (Subsystem $(field Subsystem))"
    status=1
fi

# Import table: "DLL Name: X" followed by "hint name" lines.
imports=$(awk '
    /^\tDLL Name: / { dll = $3; next }
    /^\t[0-9a-f]+\t +[0-9]+  / && dll != "" { print dll "!" $3; next }
    /^$/ { dll = "" }' <<<"$dump" | sort -u)
if [[ -z $imports ]]; then
    echo "FAIL - no import table read from $exe"
    exit 1
fi
unexpected=$(comm -23 <(echo "$imports") <(grep -v '^#' "$allowed" | grep . | sort -u))
if [[ -n $unexpected ]]; then
    echo "FAIL - imports not on the Windows 98 SE list:"
    sed 's/^/  /' <<<"$unexpected"
    status=1
fi
if grep -Eq '^Entry d [0-9a-f]*[1-9a-f][0-9a-f]* ' <<<"$dump"; then
    echo "FAIL - delay imports are not checked; the launcher has none"
    status=1
fi
[[ $status -eq 0 ]] && echo "ok   - $(wc -l <<<"$imports") imports, all on the list; PE versions 4.0"
exit $status
