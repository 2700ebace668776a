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
    # The first boot of a prefix can leave two services.exe behind, which then take turns
    # answering the SCM pipe, each with its own service database; a second boot leaves one.
    service_restart
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
        sed -e 's/^.*OutputDebugStringA "//' -e 's/\\n"$//' || true
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
        sed -n 's/^ *(Default) *REG_SZ *//p' || true
}

# marker_of LETTER: the KQMHMD marker value of a letter key, or nothing.
marker_of() {
    "$WINE64" reg query "$DRIVE_ICONS_KEY\\$1" /v KQMHMD 2>/dev/null | tr -d '\r' |
        sed -n 's/^ *KQMHMD *REG_SZ *//p' || true
}

# service_value NAME: one value of the service entry, as reg query prints its data.
service_value() {
    "$WINE64" reg query "$SERVICE_KEY" /v "$1" 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$1 *REG_[A-Z_]* *//p" || true
}

# eventlog_value NAME: type and data of one value of the event source key ("REG_DWORD 0x7").
eventlog_value() {
    "$WINE64" reg query "$EVENTLOG_KEY" /v "$1" 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$1 *\(REG_[A-Z_]*\) *\(.*\)$/\1 \2/p" || true
}

# service_state: the state the SCM reports for the service (sc query), e.g. RUNNING.
service_state() {
    "$WINE64" sc query KQMIEx64 2>/dev/null | tr -d '\r' | sed -n 's/^ *STATE *: *[0-9]* *//p' || true
}

# import_reader_fixture FILE: imports the reader fixture once the mount manager has written
# its own records of the boot, and again if the records were overwritten after all.
import_reader_fixture() {
    local i
    for i in $(seq 50); do
        "$WINE64" reg query 'HKLM\SYSTEM\MountedDevices' /v '\DosDevices\E:' >/dev/null 2>&1 && break
        sleep 0.2
    done
    for i in 1 2 3; do
        wine_import "$1"
        sleep 0.5
        reader_records_in_place && return 0
    done
    return 1
}

# reader_records_in_place: E: to H: carry the fixture's RemovableMedia device names.
reader_records_in_place() {
    local letter removable=520065006D006F007600610062006C0065004D006500640069006100
    for letter in E F G H; do
        "$WINE64" reg query 'HKLM\SYSTEM\MountedDevices' /v "\\DosDevices\\$letter:" 2>/dev/null |
            grep -q "$removable" || return 1
    done
}
