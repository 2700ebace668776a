#!/usr/bin/env bash
# The setup launcher Install.exe under Wine, on an Xvfb display of its own, in a throwaway prefix.
#   launcher_test.sh GROUP INSTALL_EXE TEST_PROGRAMS WORK_DIR
# GROUP: screens (layout, pictures, pointer), install (INSTALL on each Windows version),
# manual (MANUAL and READER), others (single instance, ways to end it, about box, missing picture).
# Screenshots and dumps go to test-output/launcher/.
set -uo pipefail
group=$1
INSTALL_EXE=$(readlink -f "$2")
PROGRAMS=$(readlink -f "$3")
WORK=$4
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
# shellcheck source=lib.sh
source "$here/lib.sh"
# shellcheck source=launcher_lib.sh
source "$here/launcher_lib.sh"

OUT=$root/test-output/launcher
rm -rf "$WORK"
mkdir -p "$WORK" "$OUT"
WORK=$(readlink -f "$WORK")
trap launcher_cleanup EXIT

case $group in
    screens) first_display=71 ;;
    install) first_display=73 ;;
    manual) first_display=75 ;;
    others) first_display=77 ;;
    *) echo "unknown group $group" >&2; exit 2 ;;
esac
launcher_display "$first_display" || exit 1
launcher_prefix "$WORK/prefix"

STUB_LOG=$WORK/stub.log
: >"$STUB_LOG"
KQ_STUB_LOG="$(winepath_of "$WORK")\\stub.log"
export KQ_STUB_LOG

INSTALLERS=(DRVPK98.exe DRVPKME.exe DRVPK2K.exe DRVPK2KS.exe DRVPKXP.exe DRVPKXP64.exe)

# make_medium DIR: the launcher, stand-ins for the six installers and both manuals.
make_medium() {
    mkdir -p "$1"
    cp "$INSTALL_EXE" "$1/Install.exe"
    local name
    for name in "${INSTALLERS[@]}"; do cp "$PROGRAMS/launcher_stub.exe" "$1/$name"; done
    printf '%%PDF-1.4\n%% manual\n' >"$1/ReadMe.PDF"
    printf '%%PDF-1.4\n%% manual (Japanese)\n' >"$1/ReadMeJ.PDF"
}

# register_viewers: .pdf, http and https open stand-ins that record what they were given.
register_viewers() {
    mkdir -p "$WORK/bin"
    cp "$PROGRAMS/launcher_stub.exe" "$WORK/bin/PdfViewer.exe"
    cp "$PROGRAMS/launcher_stub.exe" "$WORK/bin/Browser.exe"
    local bin
    bin=$(winepath_of "$WORK/bin")
    wreg add 'HKCR\.pdf' /ve /d KQTest.PDF /f
    wreg add 'HKCR\KQTest.PDF\shell\open\command' /ve /d "\"$bin\\PdfViewer.exe\" \"%1\"" /f
    local scheme
    for scheme in http https; do
        wreg delete "HKCR\\$scheme\\shell\\open\\ddeexec" /f
        wreg add "HKCR\\$scheme\\shell\\open\\command" /ve /d "\"$bin\\Browser.exe\" \"%1\"" /f
    done
}

# set_version NAME: the Windows version Wine reports to Install.exe.
set_version() {
    wreg add 'HKCU\Software\Wine\AppDefaults\Install.exe' /v Version /d "$1" /f
}

# log_text: the stand-ins' log as UTF-8 (a Japanese session writes code page 932).
log_text() {
    iconv -f CP932 -t UTF-8 "$STUB_LOG" 2>/dev/null || cat "$STUB_LOG"
}

# wait_log TEXT [SECONDS]: a line of the log holds TEXT.
wait_log() {
    local i
    for ((i = 0; i < ${2:-10} * 10; i++)); do
        log_text | grep -Fq -- "$1" && return 0
        sleep 0.1
    done
    echo "  no log line with '$1'; log:" >&2
    log_text | sed 's/^/    /' >&2
    return 1
}

# no_box_and_no_start SECONDS: neither a message box nor a started program within SECONDS.
no_box_and_no_start() {
    if message_box "$(($1 * 1000))"; then
        echo "  unexpected message: $BOX_TEXT" >&2
        close_box
        return 1
    fi
    [[ ! -s $STUB_LOG ]] || { echo "  unexpected start: $(log_text)" >&2; return 1; }
}

# box_says TEXT: the launcher's message box comes up with exactly TEXT, a stop icon and one OK
# button; it is closed again and the dialog is still open.
box_says() {
    message_box 8000 || { echo "  no message box" >&2; return 1; }
    local dump ok=0
    dump=$(probe dump "$BOX")
    same_text "$(grep -v '^$' <<<"$BOX_TEXT")" "$1" || ok=1
    grep -Eq '^child id=[-0-9]+ class=Static .*style=0x[0-9a-f]{7}3 ' <<<"$dump" ||
        { echo "  no icon in the box" >&2; ok=1; }
    [[ $(grep -c 'class=Button' <<<"$dump") == 1 ]] && grep -q 'class=Button .*text=OK$' <<<"$dump" ||
        { echo "  buttons are not just OK: $dump" >&2; ok=1; }
    close_box || ok=1
    probe gone "$DIALOG" 500 >/dev/null && { echo "  dialog closed" >&2; ok=1; }
    return $ok
}

muldiv() { echo $((($1 * $2 + $3 / 2) / $3)); }

# rect_of DUMP ID: "x y w h" of the child ID in client pixels.
rect_of() {
    sed -n "s/^child id=$2 class=[^ ]* rect=\([-0-9]*\),\([-0-9]*\),\([0-9]*\),\([0-9]*\) .*/\1 \2 \3 \4/p" <<<"$1"
}

# check_layout DUMP LANGUAGE: client size and every control where its template puts it, in
# the dialog units of the dialog's font; buttons and picture at their pictures' sizes.
check_layout() {
    local dump=$1 ok=0 w h bx by x y cw ch
    # Japanese: client, EXIT, MANUAL, INSTALL, READER in dialog units.
    local -a t
    if [[ $2 == ja ]]; then t=(235 139 80 112 125 78 35 78 178 111); else t=(263 137 93 110 146 77 41 78 197 113); fi
    read -r _ _ w h <<<"$(rect_of "$dump" 1002)"
    for ((bx = 1; bx < 40; bx++)); do [[ $(muldiv 187 $bx 4) == "$w" ]] && break; done
    for ((by = 1; by < 80; by++)); do [[ $(muldiv 30 $by 8) == "$h" ]] && break; done
    cw=$(sed -n 's/^client=[-0-9]*,[-0-9]*,\([0-9]*\),\([0-9]*\) .*/\1/p' <<<"$dump")
    ch=$(sed -n 's/^client=[-0-9]*,[-0-9]*,\([0-9]*\),\([0-9]*\) .*/\2/p' <<<"$dump")
    same_text "client $cw x $ch" "client $(muldiv "${t[0]}" $bx 4) x $(muldiv "${t[1]}" $by 8)" || ok=1
    local -a rows=("1 ${t[2]} ${t[3]} 130 30" "3 ${t[4]} ${t[5]} 130 30" "1000 ${t[6]} ${t[7]} 130 30"
        "-1 7 7 380 40" "1001 ${t[8]} ${t[9]} 90 32" "1002 35 41 $w $h")
    local row id dx dy pw ph
    for row in "${rows[@]}"; do
        read -r id dx dy pw ph <<<"$row"
        same_text "control $id: $(rect_of "$dump" "$id")" \
            "control $id: $(muldiv "$dx" $bx 4) $(muldiv "$dy" $by 8) $pw $ph" || ok=1
    done
    same_text "$(sed -n 's/^child id=\([-0-9]*\) .*/\1/p' <<<"$dump" | tr '\n' ' ')" \
        "1 3 1000 -1 1001 1002 " || ok=1
    return $ok
}

# same_pixels SHOT X Y PICTURE: the screenshot shows PICTURE 1:1 at X, Y.
same_pixels() {
    local size diff
    size=$(/usr/bin/identify -format '%wx%h' "$4")
    /usr/bin/convert "$1" -crop "${size}+$2+$3" +repage "$WORK/crop.png"
    diff=$(/usr/bin/compare -metric AE "$WORK/crop.png" "$4" null: 2>&1) || true
    [[ $diff == 0 ]] && return 0
    echo "  $(basename "$4") at $2,$3: $diff pixels differ" >&2
    return 1
}

# check_screen LANGUAGE: screenshot of the dialog; pictures 1:1, background without its last
# column and row, notice and layout.
check_screen() {
    local language=$1 dump cx cy cw ch shot="$WORK/root-$1.png"
    sleep 2
    dump=$(probe dump "$DIALOG")
    echo "$dump" >"$OUT/dialog-$language.txt"
    /usr/bin/import -window root "$shot"
    read -r cx cy cw ch <<<"$(sed -n 's/^client=\([-0-9]*\),\([-0-9]*\),\([0-9]*\),\([0-9]*\) .*/\1 \2 \3 \4/p' <<<"$dump")"
    local wx wy ww wh
    read -r wx wy ww wh <<<"$(sed -n 's/.* window id=0 class=#32770 rect=\([-0-9]*\),\([-0-9]*\),\([0-9]*\),\([0-9]*\) .*/\1 \2 \3 \4/p' <<<"$dump")"
    /usr/bin/convert "$shot" -crop "${ww}x${wh}+$wx+$wy" +repage "$OUT/dialog-$language.png"

    check "$language: caption, frame and taskbar button" bash -c '
        grep -q " window id=0 class=#32770 .* text=Kardelle$" <<<"$1" &&
        style=$(sed -n "s/.* window id=0 .*style=\(0x[0-9a-f]*\) .*/\1/p" <<<"$1") &&
        ex=$(sed -n "s/^client=[^ ]* exstyle=\(0x[0-9a-f]*\) .*/\1/p" <<<"$1") &&
        (( (style & 0x00C80000) == 0x00C80000 && (style & 0x00070000) == 0 &&
           (ex & 0x00040000) != 0 ))' _ "$dump"
    check "$language: layout in dialog units" check_layout "$dump" "$language"
    local row id picture x y w h
    for row in "1000 install" "3 manual" "1 exit" "1001 reader" "-1 banner"; do
        read -r id picture <<<"$row"
        read -r x y w h <<<"$(rect_of "$dump" "$id")"
        check "$language: $picture picture 1:1 on screen" \
            same_pixels "$shot" $((cx + x)) $((cy + y)) "$root/launcher/res/$picture.bmp"
    done
    /usr/bin/convert "$shot" -crop "$(sed -n 's/^client=[-0-9]*,[-0-9]*,\([0-9]*\),\([0-9]*\) .*/\1x\2/p' <<<"$dump")+$cx+$cy" +repage "$WORK/client-$language.png"
    check "$language: background's last column and row never shown" \
        bash -c '! /usr/bin/convert "$1" txt:- | grep -qi "#FF00FF"' _ "$WORK/client-$language.png"
    check "$language: background stretched over the whole client area" bash -c '
        top=$(/usr/bin/convert "$1" -crop 1x1+2+2 -format "%[hex:u.p{0,0}]" info:)
        bottom=$(/usr/bin/convert "$1" -gravity SouthWest -crop 1x1+2+1 +repage -format "%[hex:u.p{0,0}]" info:)
        [[ ${top:0:6} == FAFCFF && ${bottom:0:6} == 1C3668 ]] || { echo "  corners $top $bottom" >&2; false; }' \
        _ "$WORK/client-$language.png"
    check "$language: focus starts on EXIT" same_text "$(probe focus "$DIALOG")" 1
    # Pointer: one pointer over all four buttons (the hand: cursor 136, hot spot at the
    # fingertip), another over the notice, the banner and the bare background.
    check "$language: cursor 136 is a 32 x 32 hand with its hot spot at 12, 1" same_text \
        "$(probe rescursor "$(winepath_of "$INSTALL_EXE")" 136)" "hotspot=12,1 size=32x32"
    local hand="" spot
    for id in 1000 3 1 1001; do
        read -r x y w h <<<"$(rect_of "$dump" "$id")"
        spot=$(probe cursor $((cx + x + w / 2)) $((cy + y + h / 2)))
        [[ -z $hand ]] && hand=$spot
        check "$language: hand pointer over control $id" \
            bash -c '[[ -n $1 && $1 == "$2" ]]' _ "$spot" "$hand"
    done
    for spot in 1002 -1 background; do
        if [[ $spot == background ]]; then
            x=4 y=$((ch - 4)) w=0 h=0
        else
            read -r x y w h <<<"$(rect_of "$dump" "$spot")"
            x=$((x + 3)) y=$((y + 3))
        fi
        check "$language: no hand over $spot" bash -c '[[ -n $1 && $1 != "$2" ]]' _ \
            "$(probe cursor $((cx + x)) $((cy + y)))" "$hand"
    done
}

NOTICE_EN="If the driver has already been installed into the system, the installation process will perform uninstallation."
NOTICE_JA="すでにドライバがインストールされている場合に、インストールボタンを押すと、インストールされているドライバを削除します。"

# Dialog templates exactly as the launcher ships them: styles, fonts, captions, controls.
check_templates() {
    local exe ok=0
    exe=$(winepath_of "$INSTALL_EXE")
    same_text "$(probe template "$exe" 102 1033)" "$(cat <<'T'
dialog style=0x90c800c0 exstyle=0x00040000 rect=0,0,263,137 menu= class= caption=Kardelle
font 9 0 0 1 MS Sans Serif
item id=1 style=0x5001000b exstyle=0x00000000 rect=93,110,74,20 class=BUTTON text=EXIT
item id=3 style=0x5001000b exstyle=0x00000000 rect=146,77,74,20 class=BUTTON text=MANUAL
item id=1000 style=0x5001000b exstyle=0x00000000 rect=41,78,74,20 class=BUTTON text=INSTALL
item id=-1 style=0x5000000e exstyle=0x00000000 rect=7,7,217,53 class=STATIC text=#132
item id=1001 style=0x5001000b exstyle=0x00000000 rect=197,113,50,17 class=BUTTON text=READER
item id=1002 style=0x50020000 exstyle=0x00000000 rect=35,41,187,30 class=STATIC text=static
T
)" || ok=1
    same_text "$(probe template "$exe" 102 1041)" "$(cat <<'T'
dialog style=0x90c800c0 exstyle=0x00040000 rect=0,0,235,139 menu= class= caption=Kardelle
font 9 0 0 1 ＭＳ Ｐゴシック
item id=1 style=0x5001000b exstyle=0x00000000 rect=80,112,74,20 class=BUTTON text=EXIT
item id=3 style=0x5001000b exstyle=0x00000000 rect=125,78,74,20 class=BUTTON text=MANUAL
item id=1000 style=0x5001000b exstyle=0x00000000 rect=35,78,74,20 class=BUTTON text=INSTALL
item id=-1 style=0x5000000e exstyle=0x00000000 rect=7,7,217,53 class=STATIC text=#132
item id=1001 style=0x5001000b exstyle=0x00000000 rect=178,111,50,17 class=BUTTON text=READER
item id=1002 style=0x50020000 exstyle=0x00000000 rect=35,41,187,30 class=STATIC text=static
T
)" || ok=1
    same_text "$(probe template "$exe" 100 0)" "$(cat <<'T'
dialog style=0x80c800c0 exstyle=0x00000000 rect=0,0,235,55 menu= class= caption=Porticoのﾊﾞｰｼﾞｮﾝ情報
font 9 0 0 0 ＭＳ Ｐゴシック
item id=-1 style=0x50000003 exstyle=0x00000000 rect=11,17,20,20 class=STATIC text=#128
item id=-1 style=0x50020080 exstyle=0x00000000 rect=40,10,119,8 class=STATIC text=Portico Version 1.01
item id=-1 style=0x50000000 exstyle=0x00000000 rect=40,25,119,8 class=STATIC text=(C) 2003 Kardelle Co., Ltd.
item id=1 style=0x50030001 exstyle=0x00000000 rect=178,7,50,14 class=BUTTON text=OK
T
)" || ok=1
    # Main dialog and both string blocks in English and Japanese; the about box, the pictures,
    # icon and cursor once, for every language.
    local row type id size palette
    for row in "5 102 1033 1041" "6 7 1033 1041" "6 876 1033 1041" "5 100 0" "2 129 0" "2 132 0" \
        "2 133 0" "2 134 0" "2 135 0" "2 138 0" "14 128 0" "12 136 0"; do
        read -r type id _ <<<"$row"
        same_text "resource $type/$id: $(probe languages "$exe" "$type" "$id")" \
            "resource $type/$id: ${row#"$type $id "} " || ok=1
    done
    # Pictures: 40-byte header, 8 bits per pixel, the sizes of their roles.
    for row in "129 400x200 256" "132 380x40 26" "133 130x30 256" "134 130x30 256" \
        "135 130x30 256" "138 90x32 256"; do
        read -r id size palette <<<"$row"
        local info
        info=$(probe bitmapinfo "$exe" "$id")
        if [[ $palette == 26 ]]; then
            same_text "bitmap $id: $info" "bitmap $id: header=40 size=$size bpp=8 palette=26" || ok=1
        else
            same_text "bitmap $id: ${info% palette=*}" "bitmap $id: header=40 size=$size bpp=8" || ok=1
        fi
    done
    same_text "$(probe icongroup "$exe" 128 | tr '\n' ' ')" "32x32 colours=16 bpp=4 16x16 colours=16 bpp=4 " ||
        ok=1
    return $ok
}

# check_pressed: holding the mouse button down on a button shows the same picture.
check_pressed() {
    local dump cx cy x y w h shot="$WORK/pressed.png" ok=0
    dump=$(probe dump "$DIALOG")
    read -r cx cy <<<"$(sed -n 's/^client=\([-0-9]*\),\([-0-9]*\),.*/\1 \2/p' <<<"$dump")"
    read -r x y w h <<<"$(rect_of "$dump" 1000)"
    : >"$STUB_LOG"
    xdotool mousemove $((cx + x + w / 2)) $((cy + y + h / 2)) mousedown 1
    sleep 1
    /usr/bin/import -window root "$shot"
    # Let go outside the button, so nothing is clicked.
    xdotool mousemove $((cx + 2)) $((cy + 2)) mouseup 1
    same_pixels "$shot" $((cx + x)) $((cy + y)) "$root/launcher/res/install.bmp" || ok=1
    return $ok
}

group_screens() {
    make_medium "$WORK/medium"
    check "resources: dialog templates, languages, pictures, icon" check_templates
    local language notice
    for language in en ja; do
        notice=$NOTICE_EN
        [[ $language == ja ]] && notice=$NOTICE_JA
        check "$language: dialog opens" launcher_start "$WORK/medium" "$language" || continue
        check_screen "$language"
        check "$language: notice text" same_text \
            "$(sed -n 's/^child id=1002 class=Static .* text=//p' "$OUT/dialog-$language.txt")" "$notice"
        [[ $language == en ]] && check "a pressed button keeps its picture" check_pressed
        launcher_stop
    done
}

# install_case LANGUAGE VERSION EXPECTED: EXPECTED is "start NAME", "message TEXT" or "nothing".
install_case() {
    local language=$1 version=$2 expected=$3
    set_version "$version"
    : >"$STUB_LOG"
    launcher_start "$WORK/medium" "$language" || { echo "  no dialog" >&2; return 1; }
    probe click "$DIALOG" 1000 >/dev/null
    local ok=0
    case $expected in
        start\ *)
            local name=${expected#start }
            wait_log "$name|$name" || ok=1
            no_box_and_no_start_other "$name" || ok=1
            ;;
        message\ *) box_says "${expected#message }" || ok=1 ;;
        nothing) no_box_and_no_start 3 || ok=1 ;;
    esac
    probe gone "$DIALOG" 300 >/dev/null && { echo "  dialog closed" >&2; ok=1; }
    launcher_stop
    return $ok
}

# no_box_and_no_start_other NAME: after NAME started, no message and nothing else started.
no_box_and_no_start_other() {
    if message_box 1500; then
        echo "  unexpected message: $BOX_TEXT" >&2
        close_box
        return 1
    fi
    same_text "$(log_text)" "$1|$1"
}

group_install() {
    make_medium "$WORK/medium"
    local row
    while IFS='|' read -r language version expected; do
        check "INSTALL on $version ($language): $expected" install_case "$language" "$version" "$expected"
    done <<'CASES'
en|win98|start DRVPK98.exe
en|winme|start DRVPKME.exe
en|win2k|start DRVPK2KS.exe
en|winxp|start DRVPKXP.exe
en|win95|message Windows 95 is not supported
en|nt40|message Windows NT is not supported
en|win2003|message Windows Server 2003 is not supported
en|winxp64|message Windows Server 2003 is not supported
en|vista|nothing
en|win10|nothing
ja|win2003|message Windows Server 2003 は、サポートされておりません。
ja|nt40|message Windows NT は、サポートされておりません
ja|win95|message Windows 95 は、サポートされておりません
ja|win98|start DRVPK98.exe
CASES

    # Missing installer: the message names exactly that file; the dialog stays.
    rm "$WORK/medium/DRVPKXP.exe"
    check "INSTALL on winxp, installer missing" install_case en winxp "message File : DRVPKXP.exe not found"
    check "INSTALL on winxp, installer missing (ja)" install_case ja winxp "message ファイル DRVPKXP.exe が見つかりません"

    # Two clicks, two starts; the launcher does not wait for the installer.
    set_version win98
    : >"$STUB_LOG"
    if check "two clicks: dialog opens" launcher_start "$WORK/medium" en; then
        probe click "$DIALOG" 1000 >/dev/null
        wait_log "DRVPK98.exe" >/dev/null
        probe click "$DIALOG" 1000 >/dev/null
        check "two clicks start the installer twice" bash -c '
            for i in $(seq 100); do [[ $(grep -c "^DRVPK98.exe|DRVPK98.exe$" "$1") == 2 ]] && exit 0; sleep 0.1; done
            cat "$1" >&2; exit 1' _ "$STUB_LOG"
        launcher_stop
    fi
}

# manual_case LANGUAGE DIR EXPECTED: MANUAL from DIR; EXPECTED "opens FILE" or "message TEXT".
manual_case() {
    local language=$1 dir=$2 expected=$3 ok=0
    : >"$STUB_LOG"
    launcher_start "$dir" "$language" || { echo "  no dialog" >&2; return 1; }
    probe click "$DIALOG" 3 >/dev/null
    case $expected in
        opens\ *)
            wait_log "PdfViewer.exe|\"$(winepath_of "$WORK/bin")\\PdfViewer.exe\" \"$(winepath_of "$dir")\\${expected#opens }\"" || ok=1
            if message_box 1500; then echo "  unexpected message: $BOX_TEXT" >&2; close_box; ok=1; fi
            ;;
        message\ *) box_says "${expected#message }" || ok=1 ;;
    esac
    launcher_stop
    return $ok
}

# reader_case LANGUAGE ADDRESS: READER hands ADDRESS to the shell.
reader_case() {
    local ok=0
    : >"$STUB_LOG"
    launcher_start "$WORK/medium" "$1" || return 1
    probe click "$DIALOG" 1001 >/dev/null
    wait_log "Browser.exe|\"$(winepath_of "$WORK/bin")\\Browser.exe\" \"$2\"" || ok=1
    if message_box 1500; then echo "  unexpected message: $BOX_TEXT" >&2; close_box; ok=1; fi
    launcher_stop
    return $ok
}

group_manual() {
    make_medium "$WORK/medium"
    # 表 and ソ end in 0x5C in code page 932.
    local jdir="$WORK/ソフト表"
    make_medium "$jdir"
    register_viewers

    check "MANUAL opens ReadMe.PDF" manual_case en "$WORK/medium" "opens ReadMe.PDF"
    check "MANUAL (ja) opens ReadMeJ.PDF" manual_case ja "$WORK/medium" "opens ReadMeJ.PDF"
    check "MANUAL (ja) from a folder with 0x5C second bytes" manual_case ja "$jdir" "opens ReadMeJ.PDF"
    # Only a 0x5C second byte after the last real backslash can mislead the search: the
    # launcher's own name.
    cp "$INSTALL_EXE" "$jdir/表示.exe"
    LAUNCHER_PROGRAM=表示.exe check "MANUAL (ja) of a launcher named 表示.exe" \
        manual_case ja "$jdir" "opens ReadMeJ.PDF"
    check "READER opens the English page" reader_case en "http://www.adobe.com/products/acrobat/readstep.html"
    check "READER (ja) opens the Japanese page" reader_case ja "http://www.adobe.co.jp/products/acrobat/readstep.html"

    rm "$WORK/medium/ReadMe.PDF" "$jdir/ReadMeJ.PDF"
    check "MANUAL without the file" manual_case en "$WORK/medium" "message File : ReadMe.PDF not found"
    check "MANUAL (ja) without the file" manual_case ja "$jdir" "message ファイル ReadMeJ.PDF が見つかりません"
    LAUNCHER_PROGRAM=表示.exe BOX_CAPTION=表示 check "message box of 表示.exe is captioned 表示" \
        manual_case ja "$jdir" "message ファイル ReadMeJ.PDF が見つかりません"

    # A launcher path longer than its 260-byte buffer cannot lead to the manual beside it: the
    # launcher says the manual is not found instead of opening a cut path.
    local deep="$WORK/long/$(printf 'd%.0s' {1..100})/$(printf 'e%.0s' {1..100})/$(printf 'f%.0s' {1..60})"
    make_medium "$deep"
    cp "$INSTALL_EXE" "$deep/Setup.exe"
    LAUNCHER_PROGRAM=Setup.exe BOX_CAPTION=Setup check "MANUAL from a path over 260 bytes" \
        manual_case en "$deep" "message File : ReadMe.PDF not found"

    make_medium "$WORK/medium"
    wreg delete 'HKCR\.pdf' /f
    check "MANUAL without a PDF viewer" manual_case en "$WORK/medium" "message Acrobat Reader not found"
    check "MANUAL (ja) without a PDF viewer" manual_case ja "$WORK/medium" "message Acrobat Readerが見つかりません。"
}

# count_dialogs: visible "Kardelle" dialogs on the desktop.
count_dialogs() {
    probe list | grep -c ' class=#32770 .* text=Kardelle$'
}

# dialogs_become N: within 10 seconds there are N dialogs.
dialogs_become() {
    local i
    for ((i = 0; i < 50; i++)); do
        [[ $(count_dialogs) == "$1" ]] && return 0
        sleep 0.2
    done
    probe list >&2
    return 1
}

# second_copy DIR PROGRAM: PROGRAM from DIR ends at once, with no window, while one runs.
second_copy_ends() {
    local pid i
    (cd "$WORK" && exec "$WINE64" "$1/$2" >/dev/null 2>&1) &
    pid=$!
    for ((i = 0; i < 100; i++)); do
        kill -0 $pid 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 $pid 2>/dev/null; then
        echo "  second copy still running" >&2
        kill $pid
        return 1
    fi
    same_text "$(count_dialogs)" 1
}

group_others() {
    make_medium "$WORK/medium"
    make_medium "$WORK/other"
    cp "$INSTALL_EXE" "$WORK/other/Setup.exe"

    # Japanese: the about box has Japanese texts only, which an English ANSI session cannot show.
    if check "first copy opens" launcher_start "$WORK/medium" ja; then
        local first=$LAUNCHER_PID
        check "second copy, same folder, ends at once" second_copy_ends "$WORK/medium" Install.exe
        check "second copy, other folder, same name, ends at once" second_copy_ends "$WORK/other" Install.exe
        check "the first copy is still open" bash -c 'kill -0 "$1"' _ "$first"
        local dialog=$DIALOG
        (cd "$WORK" && exec "$WINE64" "$WORK/other/Setup.exe" >/dev/null 2>&1) &
        local setup=$!
        check "a launcher of another name runs beside it" dialogs_become 2
        kill $setup 2>/dev/null
        wait $setup 2>/dev/null
        DIALOG=$dialog
        LAUNCHER_PID=$first

        # About box: WM_SYSCOMMAND with the low four bits ignored.
        local wparam about
        for wparam in 0x10 0x1F; do
            probe post "$DIALOG" 0x0112 $wparam 0 >/dev/null
            about=$(probe wait 'Porticoのﾊﾞｰｼﾞｮﾝ情報' '#32770' 8000)
            check "about box opens on WM_SYSCOMMAND $wparam" test -n "$about"
            [[ -n $about ]] || continue
            if [[ $wparam == 0x10 ]]; then
                sleep 1
                probe dump "$about" >"$OUT/about.txt"
                local r
                r=$(sed -n 's/.* window id=0 class=#32770 rect=\([-0-9]*\),\([-0-9]*\),\([0-9]*\),\([0-9]*\) .*/\3x\4+\1+\2/p' "$OUT/about.txt")
                /usr/bin/import -window root "$WORK/about-root.png"
                /usr/bin/convert "$WORK/about-root.png" -crop "$r" +repage "$OUT/about.png"
                check "about box texts" bash -c '
                    grep -q "class=Static .*text=Portico Version 1.01$" "$1" &&
                    grep -q "class=Static .*text=(C) 2003 Kardelle Co., Ltd.$" "$1" &&
                    grep -Eq "^child id=1 class=Button .*style=0x5[0-9a-f]{6}1 .*text=OK$" "$1" &&
                    grep -Eq "^child id=-1 class=Static .*style=0x[0-9a-f]{7}3 " "$1"' _ "$OUT/about.txt"
            fi
            probe click "$about" 1 >/dev/null
            check "about box OK ends it, the dialog stays" bash -c '
                "$1" "$2" gone "$3" 5000 && ! "$1" "$2" gone "$4" 300' _ "$WINE64" \
                "$PROGRAMS/launcher_probe.exe" "$about" "$DIALOG"
        done
        probe post "$DIALOG" 0x0112 0x20 0 >/dev/null
        check "WM_SYSCOMMAND 0x20 opens no about box" bash -c '! "$@"' _ \
            "$WINE64" "$PROGRAMS/launcher_probe.exe" wait 'Porticoのﾊﾞｰｼﾞｮﾝ情報' '#32770' 2000

        probe click "$DIALOG" 1 >/dev/null
        check "EXIT ends the program" launcher_ended 10
    fi

    if check "dialog opens for Enter" launcher_start "$WORK/medium" ja; then
        check "Enter on EXIT ends the program" bash -c '
            [[ $("$1" "$2" focus "$3" | tr -d "\r") == 1 ]] && "$1" "$2" key "$3" 0x0D' _ \
            "$WINE64" "$PROGRAMS/launcher_probe.exe" "$DIALOG"
        check "... and it has ended" launcher_ended 10
    fi
    if check "dialog opens for Esc" launcher_start "$WORK/medium" en; then
        probe key "$DIALOG" 0x1B >/dev/null
        check "Esc ends the program" launcher_ended 10
    fi
    if check "dialog opens for the close box" launcher_start "$WORK/medium" en; then
        local point
        point=$(probe closebox "$DIALOG")
        check "close box found" test -n "$point"
        # shellcheck disable=SC2086
        [[ -n $point ]] && xdotool mousemove $point click 1
        check "the close box ends the program" launcher_ended 10
    fi

    # A build without the EXIT picture: no dialog, and the program ends.
    cp "$PROGRAMS/InstallNoExitPicture.exe" "$WORK/medium/"
    (cd "$WORK" && exec "$WINE64" "$WORK/medium/InstallNoExitPicture.exe" >/dev/null 2>&1) &
    LAUNCHER_PID=$!
    check "missing button picture: the program ends" launcher_ended 15
    check "missing button picture: no dialog was shown" bash -c '! "$@"' _ \
        "$WINE64" "$PROGRAMS/launcher_probe.exe" wait Kardelle '#32770' 500
}


"group_$group"
launcher_stop
finish
