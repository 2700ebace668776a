# Helpers for the tests and the demo that run KQMIEx64 as a service under Wine. Source it after
# lib.sh.

SERVICE_EXE=${SERVICE_EXE:-$PWD/dist/win64/KQMIEx64.exe}
SERVICE_KEY='HKLM\SYSTEM\CurrentControlSet\Services\KQMIEx64'
EVENTLOG_KEY='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\KQMIEx64'
DRIVE_ICONS_KEY='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\DriveIcons'

# service_prefix DIR TRACEFILE: a fresh prefix whose session is booted with +debugstr, so the
# debugger output of every service it starts lands in TRACEFILE.
service_prefix() {
    export WINEPREFIX=$1
    SERVICE_TRACE=$2
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    : >"$SERVICE_TRACE"
    wine_keep_alive
    WINEDEBUG=+debugstr "$WINE64" wineboot -i >/dev/null 2>>"$SERVICE_TRACE"
}

# service_restart: ends the session and boots it again with the trace still captured.
service_restart() {
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    wine_keep_alive
    WINEDEBUG=+debugstr "$WINE64" wineboot >/dev/null 2>>"$SERVICE_TRACE"
}

# service_traces: the service's trace lines captured so far, as it wrote them.
service_traces() {
    grep -a 'OutputDebugStringA "\[KQMIEx64\]' "$SERVICE_TRACE" |
        sed -e 's/^.*OutputDebugStringA "//' -e 's/\\n"$//'
}

# reader_drives DIR: maps the sample reader's letters E: to I: as removable drives.
reader_drives() {
    local letter
    for letter in e f g h i; do
        wine_map_drive "$letter" "$1/$letter" floppy
    done
}

# label_of LETTER: the label Explorer shows for a letter (DriveIcons\X\DefaultLabel), or
# nothing.
label_of() {
    "$WINE64" reg query "$DRIVE_ICONS_KEY\\$1\\DefaultLabel" /ve 2>/dev/null | tr -d '\r' |
        sed -n 's/^ *(Default) *REG_SZ *//p'
}

# marker_of LETTER: the KQMHMD marker value of a letter key, or nothing.
marker_of() {
    "$WINE64" reg query "$DRIVE_ICONS_KEY\\$1" /v KQMHMD 2>/dev/null | tr -d '\r' |
        sed -n 's/^ *KQMHMD *REG_SZ *//p'
}

# service_value NAME: one value of the service entry, as reg query prints its data.
service_value() {
    "$WINE64" reg query "$SERVICE_KEY" /v "$1" 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$1 *REG_[A-Z_]* *//p"
}

# eventlog_value NAME: type and data of one value of the event source key ("REG_DWORD 0x7").
eventlog_value() {
    "$WINE64" reg query "$EVENTLOG_KEY" /v "$1" 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$1 *\(REG_[A-Z_]*\) *\(.*\)$/\1 \2/p"
}

# service_state: the state the SCM reports for the service (sc query), e.g. RUNNING.
service_state() {
    "$WINE64" sc query KQMIEx64 2>/dev/null | tr -d '\r' | sed -n 's/^ *STATE *: *[0-9]* *//p'
}
