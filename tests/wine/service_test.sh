#!/usr/bin/env bash
# KQMIEx64 under Wine with its real service control manager.
#
# usage: service_test.sh commands|service|spaced-path WORKDIR EXE
#   commands     -v, -i, -u and the hand-over to the dispatcher; the service entry and the
#                event source key as written to the registry
#   service      net start / net stop on the sample reader: labels, the trace of the start,
#                -u on the running service
#   spaced-path  installed from a directory whose path holds a space: quoted entry, starts
set -uo pipefail
cd "$(dirname "$0")/../.."
source tests/wine/lib.sh
scenario=$1
mkdir -p "$2"
workdir=$(readlink -f "$2")
SERVICE_EXE=$(readlink -f "$3")
source tests/wine/service_lib.sh

FIXTURE=service/tests/fixtures/sample_reader.reg
mkdir -p "$workdir"
trap wine_end EXIT

# run_program OUTFILE ARGS...: runs the program, its console lines into OUTFILE; the exit code.
run_program() {
    local out=$1
    shift
    timeout 60 "$WINE64" "$SERVICE_EXE" "$@" 2>/dev/null | tr -d '\r' >"$out"
    return "${PIPESTATUS[0]}"
}

# same TEXT FILE: the file holds exactly TEXT (lines separated by \n).
same() {
    diff <(printf '%s\n' "$1") "$2" >/dev/null
}

# exits_zero_with NAME EXPECTED ARGS...: a program run exits 0 and prints exactly EXPECTED.
exits_zero_with() {
    local name=$1 expected=$2 out="$workdir/out.txt" code
    shift 2
    run_program "$out" "$@"
    code=$?
    check "$name: exit code 0" test "$code" -eq 0
    if [[ -z $expected ]]; then
        check "$name: prints nothing" test ! -s "$out"
    else
        check "$name: prints \"${expected//$'\n'/\\n}\"" same "$expected" "$out"
        same "$expected" "$out" || sed 's/^/       printed: /' "$out"
    fi
}

winpath=""
program_path() { winpath=$(winepath_of "$SERVICE_EXE"); }

# The reader's letters mapped removable, the fixture imported after the boot, plus a marked
# label left by an earlier run on J (no reader slot now) and a user's own label on K.
reader_setup() {
    reader_drives "$workdir/drives"
    service_restart
    import_reader_fixture "$FIXTURE" || echo "the reader fixture did not stay in place"
    "$WINE64" reg add "$DRIVE_ICONS_KEY\\J" /v KQMHMD /t REG_SZ /d "SD Card Drive" /f >/dev/null
    "$WINE64" reg add "$DRIVE_ICONS_KEY\\J\\DefaultLabel" /ve /t REG_SZ /d "SD Card Drive" /f \
        >/dev/null
    "$WINE64" reg add "$DRIVE_ICONS_KEY\\K\\DefaultLabel" /ve /t REG_SZ /d "My Photos" /f >/dev/null
}

slot_labels_are() {
    [[ "$(label_of E)|$(marker_of E)" == "Compact Flash Drive|Compact Flash Drive" &&
        "$(label_of F)|$(marker_of F)" == "SD Card Drive|SD Card Drive" &&
        "$(label_of G)|$(marker_of G)" == "Memory Stick Drive|Memory Stick Drive" &&
        "$(label_of H)|$(marker_of H)" == "xD Card Drive|xD Card Drive" ]]
}
no_label_on() {
    local letter
    for letter in "$@"; do
        "$WINE64" reg query "$DRIVE_ICONS_KEY\\$letter" >/dev/null 2>&1 && return 1
    done
    return 0
}

no_service_entry() { ! "$WINE64" reg query "$SERVICE_KEY" >/dev/null 2>&1; }

# wait_state STATE: the SCM reports STATE within 10 s.
wait_state() {
    local i
    for i in $(seq 50); do
        [[ $(service_state) == "$1" ]] && return 0
        sleep 0.2
    done
    return 1
}

# traces_match EXPECTED: the captured trace holds these lines in this order, each with the prefix
# "[KQMIEx64](<thread id>): ", one thread for the service thread's lines, one status handle.
traces_match() {
    local expected=$1
    service_traces >"$workdir/traces.txt"
    python3 - "$workdir/traces.txt" "$expected" <<'PY'
import re, sys
lines = open(sys.argv[1], encoding="latin-1").read().splitlines()
want = [w for w in sys.argv[2].splitlines() if w]
prefix = re.compile(r"^\[KQMIEx64\]\((\d+)\): (.*)$")
threads, at = {}, 0
for line in lines:
    m = prefix.match(line)
    if not m or at == len(want):
        continue
    role, text = want[at].split(" ", 1)
    pattern = "^" + re.escape(text).replace("HANDLE", r"(\d+)") + "$"
    t = re.match(pattern, m.group(2))
    if t:
        if threads.setdefault(role, m.group(1)) != m.group(1):
            sys.exit(f"{text}: thread {m.group(1)}, expected {threads[role]}")
        if t.groups() and threads.setdefault("handle", t.group(1)) != t.group(1):
            sys.exit(f"{text}: status handle {t.group(1)}")
        at += 1
if at != len(want):
    sys.exit(f"missing from the trace: {want[at]}")
if threads.get("main") == threads.get("service"):
    sys.exit("the service thread is the main thread")
PY
}

# wait_trace TEXT: a trace line ending in TEXT appears within 10 s (the service process ends a
# moment after the SCM saw it stop).
wait_trace() {
    local i
    for i in $(seq 50); do
        service_traces | grep -qF -- "$1" && return 0
        sleep 0.2
    done
    return 1
}

case $scenario in
commands)
    service_prefix "$workdir/prefix" "$workdir/trace.log"
    program_path
    exits_zero_with "-v, not installed" $'KQMIEx64 Version 1.11\nThe service is not installed' -v
    exits_zero_with "-u, not installed" "KQMIEx64 is not installed" -u
    exits_zero_with "-i" "KQMIEx64 installed" -i
    check "entry: own process" test "$(service_value Type)" = 0x10
    check "entry: automatic start" test "$(service_value Start)" = 0x2
    check "entry: LocalSystem" test "$(service_value ObjectName)" = LocalSystem
    check "entry: the program path, unquoted" test "$(service_value ImagePath)" = "$winpath"
    check "event source: EventMessageFile is the program (REG_EXPAND_SZ)" \
        test "$(eventlog_value EventMessageFile)" = "REG_EXPAND_SZ $winpath"
    check "event source: TypesSupported 7" test "$(eventlog_value TypesSupported)" = "REG_DWORD 0x7"
    exits_zero_with "-i again" "KQMIEx64 is already installed" -I
    exits_zero_with "-v, installed" $'KQMIEx64 Version 1.11\nThe service is currently installed' -v x
    exits_zero_with "-u, stopped service" \
        "KQMIEx64 removed. (You must delete the file ($winpath) yourself.)" -u
    check "entry gone" no_service_entry
    check "event source key stays" test "$(eventlog_value TypesSupported)" = "REG_DWORD 0x7"
    exits_zero_with "-u again" "KQMIEx64 is not installed" -u
    # Outside the SCM the dispatcher gives up; Wine waits about 10 s for it first.
    exits_zero_with "no arguments, outside the SCM" ""
    ;;
service)
    service_prefix "$workdir/prefix" "$workdir/trace.log"
    program_path
    reader_setup
    exits_zero_with "-i" "KQMIEx64 installed" -i
    "$WINE64" net start KQMIEx64 >"$workdir/net.txt" 2>&1
    check "net start: running" wait_state RUNNING
    check "every reader slot labelled and marked (E: to H:)" slot_labels_are
    check "the other maker's stick on I: not labelled" no_label_on I
    check "the marked label left on J: is gone" no_label_on J
    check "the user's own label on K: stays" test "$(label_of K)|$(marker_of K)" = "My Photos|"
    check "trace of the start" traces_match "
main Calling StartServiceCtrlDispatcher()
service Entering CNTService::ServiceMain()
service Entering CNTService::Initialize()
service CNTService::SetStatus(HANDLE, 2)
service CNTService::SetStatus(HANDLE, 4)
service Leaving CNTService::Initialize()"
    "$WINE64" net stop KQMIEx64 >"$workdir/net.txt" 2>&1
    check "net stop: stopped" wait_state STOPPED
    check "the service process ends" wait_trace "CNTService::~CNTService()"
    check "net stop removes every label the service wrote" no_label_on E F G H J
    check "net stop leaves the user's own label" test "$(label_of K)|$(marker_of K)" = "My Photos|"
    # Once SERVICE_STOPPED is out the dispatcher returns and the process ends, so the service
    # thread's "Leaving CNTService::ServiceMain()" may or may not make it to the output.
    check "trace of the stop" traces_match "
handler CNTService::Handler(1)
handler CNTService::SetStatus(HANDLE, 3)
handler RUDuvAz::OnStop()
handler Updating status (HANDLE, 3)
service CNTService::SetStatus(HANDLE, 1)
main Returned from StartServiceCtrlDispatcher()
main CNTService::~CNTService()"
    "$WINE64" net start KQMIEx64 >"$workdir/net.txt" 2>&1
    check "started again: running" wait_state RUNNING
    check "started again: labels back" slot_labels_are
    exits_zero_with "-u, running service" \
        "KQMIEx64 removed. (You must delete the file ($winpath) yourself.)" -u
    check "-u stopped the service first: labels gone" no_label_on E F G H
    check "entry gone" no_service_entry
    exits_zero_with "-u again" "KQMIEx64 is not installed" -u
    ;;
spaced-path)
    service_prefix "$workdir/prefix" "$workdir/trace.log"
    spaced="$workdir/Program Files/KQM"
    mkdir -p "$spaced"
    cp "$SERVICE_EXE" "$spaced/KQMIEx64.exe"
    SERVICE_EXE="$spaced/KQMIEx64.exe"
    program_path
    reader_setup
    exits_zero_with "-i from a path with a space" "KQMIEx64 installed" -i
    check "entry: the program path in quotes" test "$(service_value ImagePath)" = "\"$winpath\""
    check "event source: EventMessageFile unquoted" \
        test "$(eventlog_value EventMessageFile)" = "REG_EXPAND_SZ $winpath"
    "$WINE64" net start KQMIEx64 >"$workdir/net.txt" 2>&1
    check "the quoted entry starts" wait_state RUNNING
    check "and labels the reader slots" slot_labels_are
    exits_zero_with "-u" "KQMIEx64 removed. (You must delete the file ($winpath) yourself.)" -u
    check "labels gone after -u" no_label_on E F G H
    ;;
*)
    echo "unknown scenario: $scenario" >&2
    exit 2
    ;;
esac
finish
