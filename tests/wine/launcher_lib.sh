# Helpers for the launcher's Wine tests: an X display of their own, a virtual desktop, the
# medium folder with stand-in programs, the probe. Source after lib.sh.

LAUNCHER_XVFB_PID=
LAUNCHER_PID=

# launcher_display FIRST: starts Xvfb on the first free display from FIRST up to :79.
launcher_display() {
    local n
    for ((n = $1; n <= 79; n++)); do
        [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
        Xvfb ":$n" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
        LAUNCHER_XVFB_PID=$!
        sleep 1
        if kill -0 "$LAUNCHER_XVFB_PID" 2>/dev/null; then
            export DISPLAY=:$n
            return 0
        fi
    done
    echo "no free X display between :$1 and :79" >&2
    return 1
}

# launcher_cleanup: ends what the test started (launcher, Wine session, Xvfb).
launcher_cleanup() {
    [[ -n $LAUNCHER_PID ]] && kill "$LAUNCHER_PID" 2>/dev/null
    [[ -n ${WINEPREFIX:-} ]] && wine_end
    [[ -n $LAUNCHER_XVFB_PID ]] && kill "$LAUNCHER_XVFB_PID" 2>/dev/null
    wait 2>/dev/null || true
}

# launcher_prefix DIR: fresh prefix whose programs share one 640 x 400 virtual desktop, which
# draws the frames and captions.
launcher_prefix() {
    wine_prefix "$1"
    "$WINE64" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    "$WINE64" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 640x400 /f \
        >/dev/null 2>&1
    wine_restart
}

# probe ARGS...: runs the test probe; output without CR.
probe() {
    "$WINE64" "$PROGRAMS/launcher_probe.exe" "$@" 2>/dev/null | tr -d '\r'
    return "${PIPESTATUS[0]}"
}

# wreg ARGS...: reg.exe of the prefix, quiet.
wreg() {
    "$WINE64" reg "$@" >/dev/null 2>&1
}

# launcher_start DIR LANGUAGE [PROGRAM]: starts DIR/PROGRAM ($LAUNCHER_PROGRAM, Install.exe) in LANGUAGE (en or ja)
# from another working folder, and waits for its dialog; sets DIALOG. False when none comes.
launcher_start() {
    local dir=$1 language=$2 program=${3:-${LAUNCHER_PROGRAM:-Install.exe}} locale=C.UTF-8
    [[ $language == ja ]] && locale=ja_JP.UTF-8
    (cd "$WORK" && exec env LANG=$locale LC_ALL=$locale "$WINE64" "$dir/$program" \
        >>"$WORK/launcher.out" 2>&1) &
    LAUNCHER_PID=$!
    DIALOG=$(probe wait Kardelle '#32770' 20000) || DIALOG=
    [[ -n $DIALOG ]]
}

# launcher_ended [SECONDS]: the launcher's process has ended within SECONDS (10).
launcher_ended() {
    local i
    for ((i = 0; i < ${1:-10} * 10; i++)); do
        if ! kill -0 "$LAUNCHER_PID" 2>/dev/null; then
            wait "$LAUNCHER_PID" 2>/dev/null
            LAUNCHER_PID=
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# launcher_stop: ends the running launcher with EXIT, by force when it does not go.
launcher_stop() {
    [[ -z $LAUNCHER_PID ]] && return 0
    [[ -n ${DIALOG:-} ]] && probe click "$DIALOG" 1 >/dev/null
    launcher_ended 10 || { kill "$LAUNCHER_PID" 2>/dev/null; launcher_ended 5; }
    LAUNCHER_PID=
}

# message_box [MS]: waits for the launcher's message box (caption $BOX_CAPTION, "Install"); sets BOX and
# BOX_TEXT (the texts of its statics, one a line).
message_box() {
    BOX=$(probe wait "${BOX_CAPTION:-Install}" '#32770' "${1:-8000}") || BOX=
    BOX_TEXT=
    [[ -n $BOX ]] || return 1
    BOX_TEXT=$(probe dump "$BOX" | sed -n 's/^child id=[-0-9]* class=Static .* text=//p')
    return 0
}

# close_box: presses the message box's OK button and waits until it is gone.
close_box() {
    [[ -n ${BOX:-} ]] || return 0
    probe click "$BOX" 1 >/dev/null
    probe gone "$BOX" 5000
}

# has_line FILE TEXT: FILE has a line that is exactly TEXT.
has_line() {
    grep -Fxq -- "$2" "$1" 2>/dev/null
}

# wait_line FILE TEXT [SECONDS]: waits until has_line.
wait_line() {
    local i
    for ((i = 0; i < ${3:-10} * 10; i++)); do
        has_line "$1" "$2" && return 0
        sleep 0.1
    done
    echo "  $1 has no line '$2':" >&2
    sed 's/^/    /' "$1" >&2 2>/dev/null || true
    return 1
}

# same_text GOT WANT: equal, and says so when not.
same_text() {
    [[ $1 == "$2" ]] && return 0
    printf '  got:  %s\n  want: %s\n' "$1" "$2" >&2
    return 1
}
