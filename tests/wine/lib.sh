# Shared helpers for the tests that run our programs under Wine. Source it; needs bash.
# Each test gets a throwaway prefix of its own, so tests never see each other's registry.

WINE64=${WINE64:-/usr/lib/wine/wine64}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# wine_prefix DIR: creates a fresh prefix in DIR, boots it and keeps its session alive.
wine_prefix() {
    export WINEPREFIX=$1
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wine_keep_alive
    "$WINE64" wineboot -i >/dev/null 2>&1
}

# Starts the prefix's Wine server persistent, so the session (and any started service) stays
# alive between commands. It must come before the first program of the session.
wine_keep_alive() {
    wineserver -p 2>/dev/null || true
}

# wine_restart: ends the session (services included) and boots it again, so drive type
# changes take effect. Wine's mount manager rewrites SYSTEM\MountedDevices on boot.
wine_restart() {
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    wine_keep_alive
    "$WINE64" wineboot >/dev/null 2>&1
}

# wine_end: ends the session of the current prefix.
wine_end() {
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
}

# wine_map_drive LETTER DIR TYPE: maps drive LETTER to DIR; TYPE is floppy (removable), hd
# (fixed) or cdrom. Call wine_restart afterwards.
wine_map_drive() {
    local letter=${1,,} dir=$2 type=$3
    mkdir -p "$dir"
    ln -sfn "$dir" "$WINEPREFIX/dosdevices/$letter:"
    "$WINE64" reg add 'HKLM\Software\Wine\Drives' /v "${letter^^}:" /t REG_SZ /d "$type" /f >/dev/null
}

# wine_run PROGRAM ARGS...: runs a Windows program, its console output with CR removed.
wine_run() {
    "$WINE64" "$@" | tr -d '\r'
    return "${PIPESTATUS[0]}"
}

# wine_import FILE.reg: imports a .reg file into the prefix's registry.
wine_import() {
    "$WINE64" regedit /S "$(winepath_of "$1")" >/dev/null 2>&1
}

# winepath_of UNIXPATH: the Windows path of a Unix file (through drive Z:).
winepath_of() {
    local p
    p=$(readlink -f "$1")
    printf 'Z:%s' "${p//\//\\}"
}

# reg_export KEY FILE: exports KEY (e.g. 'HKEY_LOCAL_MACHINE\SOFTWARE\...') as UTF-8 text
# (regedit writes UTF-16LE) to FILE; an absent key gives an empty FILE.
reg_export() {
    local key=$1 out=$2 tmp
    tmp=$(mktemp --suffix=.reg)
    rm -f "$tmp"
    "$WINE64" regedit /E "$(winepath_of "$tmp")" "$key" >/dev/null 2>&1 || true
    if [[ -s $tmp ]]; then
        iconv -f UTF-16LE -t UTF-8 "$tmp" | tr -d '\r' | sed '1s/^\xEF\xBB\xBF//' >"$out"
    else
        : >"$out"
    fi
    rm -f "$tmp"
}

# Test bookkeeping: check NAME COMMAND... counts a pass or a failure; finish prints the total
# and fails the script when anything failed.
PASSED=0
FAILED=0
check() {
    local name=$1
    shift
    if "$@"; then
        PASSED=$((PASSED + 1))
        echo "ok   - $name"
    else
        FAILED=$((FAILED + 1))
        echo "FAIL - $name"
    fi
}
finish() {
    echo "$PASSED passed, $FAILED failed"
    [[ $FAILED -eq 0 ]]
}
