#!/usr/bin/env bash
# The maintenance windows as a person uses them: a VBScript client calls ClsUse.Show on a demo
# store reached through Wine's ODBC, and xdotool types into the windows of a virtual display.
# After each step the rows are read back with the sqlite3 command. Screenshots of the browser,
# the editor and the picker are written to SHOTS_DIR.
#
# usage: tests/wine_ui/run.sh x64|x86 BUILD_DIR QUORVEL_COMMAND SHOTS_DIR
#
# Every program runs in processes of the given architecture, through its own loader.
#
# Everything happens in a temporary folder with a fresh Wine prefix and an Xvfb display on a free
# number; both are stopped on the way out, whatever happens.
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "$2" && pwd)"
quorvel="$3"
shots="$4"
for f in "$build/src/com/QuorvelV11.dll" "$build/src/host/quorvel-host.exe" \
    "$build/tests-wine-ui/input_helper.exe" "$quorvel"; do
    [ -e "$f" ] || { echo "wine ui tests: $f is missing; build it first" >&2; exit 1; }
done
mkdir -p "$shots"
shots="$(cd "$shots" && pwd)"

# The system's driver registration, as a shop machine has it (the libsqliteodbc package's). The
# ODBC suites' configuration switches unixODBC's pooling on, under which statements with Chinese
# text fail when they come through Wine's odbc32 ("unrecognized token").
unset ODBCSYSINI ODBCINI

work="$(mktemp -d /tmp/quorvel-wine-ui.XXXXXX)"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
xvfb_pid=""
client_pid=""

cleanup() {
    [ -n "$client_pid" ] && kill "$client_pid" 2>/dev/null
    [ -d "$WINEPREFIX" ] && wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1 || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
# shellcheck source=../wine/lib.sh
source "$here/../wine/lib.sh"
use_arch "$1"
loader_runs || { fail "$arch: $loader does not run on this machine"; summary "wine-ui $arch"; exit 1; }


# ---- a display of our own --------------------------------------------------------------------
start_xvfb 141 190 "$work/xvfb.log"

# ---- prefix, component and store -------------------------------------------------------------
mkdir -p "$work/bin"
cp "$build/src/com/QuorvelV11.dll" "$build/src/host/quorvel-host.exe" \
    "$build/tests-wine-ui/input_helper.exe" "$here/show.vbs" "$work/bin/"
new_prefix
# The windows ask for 宋体; the prefix has no such font, so it stands for an installed CJK one.
# regedit lives in C:\windows, not in the system folder, and HKCU\Software\Wine is the same in
# both registry views. A mapping that silently failed would show only as boxes in screenshots.
[[ "$(fc-list : family)" == *"WenQuanYi Zen Hei Sharp"* ]] || { fail "the font WenQuanYi Zen Hei Sharp is not installed"; exit 1; }
iconv -f UTF-8 -t UTF-16 "$here/fonts.reg" >"$work/fonts.reg"
# A prefix just made may still be settling: one more try before giving up.
for try in 1 2 3; do
    /usr/lib/wine/wine64 'C:\windows\regedit.exe' /S "$work/fonts.reg" >"$work/regedit.out" 2>&1 && break
    echo "     regedit, try $try: status $?: $(tr -d '\r' <"$work/regedit.out" | head -3)"
    [ "$try" == 3 ] && { fail "regedit could not map the windows' font"; exit 1; }
    sleep 2
done
if [[ "$(/usr/lib/wine/wine64 reg query 'HKCU\Software\Wine\Fonts\Replacements' /v SimSun 2>/dev/null)" == \
    *"WenQuanYi Zen Hei Sharp"* ]]; then
    pass "the windows' font is mapped to an installed CJK font"
else
    fail "the windows' font is not mapped"
    exit 1
fi
(cd "$work/bin" && sys regsvr32 /s QuorvelV11.dll) || fail "regsvr32"
db="$work/demo.db"
"$quorvel" init --store "$db" --demo >/dev/null
conn="Driver={SQLite3};Database=$db"

# ---- helpers ---------------------------------------------------------------------------------
hex16() { printf '%s' "$1" | iconv -f UTF-8 -t UTF-16BE | od -An -tx1 | tr -d ' \n'; }
helper() { (cd "$work/bin" && "$loader" input_helper.exe "$1" "$(hex16 "$2")") | tr -d '\r'; }
# Digits and Latin letters drawn as boxes look alike; real glyphs do not.
if glyphs="$(helper glyphs "条码 2912347012500 Scale")"; then
    pass "the windows' font has digits, Latin and Chinese ($glyphs)"
else
    fail "the windows' font draws boxes: $glyphs"
fi
# distinct_columns PNG X Y W H: how many different columns of ink a part of a screenshot has;
# a row of boxes has three or four, a row of digits many.
distinct_columns() {
    convert "$1" -crop "$4x$5+$2+$3" +repage -colorspace gray -threshold 60% txt:- 2>/dev/null |
        awk -F'[,:]' 'NR > 1 { col[$1] = col[$1] ($0 ~ /#000000|gray\(0\)/ ? 1 : 0) }
            END { for (x in col) if (col[x] ~ /1/) seen[col[x]] = 1; n = 0; for (s in seen) n++; print n }'
}
rows() { sqlite3 -cmd '.timeout 10000' -separator '|' "$db" "$1"; }
# expect DESCRIPTION SQL EXPECTED: the rows the statement returns, one per line.
expect() {
    local got
    got="$(rows "$2")"
    if [ "$got" == "$3" ]; then
        pass "$1"
    else
        fail "$1"
        echo "     expected: $(echo "$3" | tr '\n' ' ')"
        echo "     got:      $(echo "$got" | tr '\n' ' ')"
    fi
}
# window_id TITLE: the visible window with exactly this caption, waiting up to 20 s for it.
window_id() {
    local id
    for _ in $(seq 100); do
        id="$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1)"
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.2
    done
    return 1
}
# gone TITLE: waits up to 10 s until no visible window has this caption.
gone() {
    for _ in $(seq 50); do
        xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
        sleep 0.2
    done
    return 1
}
# Keys go to the focused window; each waits for the windows to settle, so that the next key
# meets the state the previous one left.
keys() {
    xdotool key --delay 120 "$@"
    sleep 0.4
}
typed() {
    xdotool type --delay 120 "$1"
    sleep 0.4
}
# click TITLE X Y COUNT: mouse clicks at a point of the window with this caption.
click() {
    local id
    id="$(window_id "$1")" || { fail "no window $1 to click"; return; }
    xdotool mousemove --window "$id" "$2" "$3" click --repeat "$4" --delay 80 1
    sleep 0.6
}
# answer TITLE KEY: gives the message box with this caption the focus and presses KEY in it.
answer() {
    local id
    id="$(window_id "$1")" || { fail "no box $1 to answer"; return; }
    sleep 0.3
    xdotool windowfocus --sync "$id" key "$2"
    sleep 0.4
}
# shot NAME TITLE: the window with this caption, as a PNG file.
shot() {
    local id
    id="$(window_id "$2")" || { fail "screenshot $1: no window $2"; return; }
    sleep 0.5
    if import -window root -crop "$(xdotool getwindowgeometry "$id" | awk '/Geometry/ {print $2}')+$(xdotool getwindowgeometry "$id" | awk -F'[ ,]+' '/Position/ {print $3"+"$4}')" +repage "$shots/$1.png" 2>/dev/null; then
        pass "screenshot $1"
    else
        fail "screenshot $1"
    fi
}
step() {
    echo "-- $*"
}
# The clipboard of another program and an input method's result, through input_helper.exe.
clip() {
    (cd "$work/bin" && "$loader" input_helper.exe clip "$(hex16 "$1")") || fail "clipboard: $1"
}
ime() {
    (cd "$work/bin" && "$loader" input_helper.exe ime "$(hex16 "$1")" "$(hex16 "$2")") ||
        fail "input method: $2"
    sleep 0.4
}
# menu_paste TITLE X Y: the edit box's own menu at that point of the window, and its Paste.
menu_paste() {
    local id
    id="$(window_id "$1")" || { fail "no window $1 for the menu"; return; }
    xdotool mousemove --window "$id" "$2" "$3" click 3
    sleep 0.8
    xdotool key p
    sleep 0.5
}

BROWSER="条形码分析信息"
EDITOR="自定义条形码"
PICKER="请选择"
TESTER="测试条码"
HEADER="select gzid,gzname,dnmid,txmzws from txm_gzzb where gzid='T9'"
LEVELS="select gzid,js,lbid,startws,endws,xsws from txm_gzmx where gzid='T9' order by js"

# ---- the scenario ----------------------------------------------------------------------------
(cd "$work/bin" && exec timeout 300 "$loader" "$(sysexe cscript)" //nologo show.vbs "$conn" >"$work/client.out" 2>&1) &
client_pid=$!

if window_id "$BROWSER" >/dev/null; then
    pass "Show opens the browser"
else
    fail "Show opens the browser"
    echo "     windows: $(xdotool search --onlyvisible --name . getwindowname %@ 2>/dev/null | tr '\n' '/')"
    import -window root "$shots/failure.png" 2>/dev/null
    cat "$work/client.out"
    exit 1
fi
shot browser "$BROWSER"

step "1. Enter opens the editor; the header as a clerk enters it: pasted, typed, by an input method"
keys Return
window_id "$EDITOR" >/dev/null && pass "Enter opens the editor" || fail "Enter opens the editor"
sleep 0.5
clip $'T9\t'  # an id copied with the cell's tab: the tab is refused
keys ctrl+v Return
typed "错字"
keys ctrl+a  # selects the whole field: what is typed next replaces it
typed "称重"
ime "$EDITOR" "条码"
clip "规则"
menu_paste "$EDITOR" 416 18  # the name field
keys Return
typed "店内20"
keys ctrl+a ctrl+x ctrl+v Return  # cut and pasted back: the clipboard held 规则 before
expect "nothing is stored before the save" "$HEADER" ""

step "2. Enter on the empty category field opens the picker; a category is chosen by keyboard"
keys Return
window_id "$PICKER" >/dev/null && pass "the picker opens" || fail "the picker opens"
shot picker "$PICKER"
sleep 0.3
keys Down Return  # the second category offered: B (金额), in the store's order A, B, P, W
gone "$PICKER" && pass "the picker closes on Enter" || fail "the picker closes on Enter"
expect "choosing stores nothing" "$LEVELS" ""

step "3. The end position typed over the one shown, saved; then a second level"
typed "6"
keys Return Return Return  # end -> decimals -> save button -> pressed
expect "the header is stored as entered" "$HEADER" "T9|称重条码规则|店内20|6"
expect "level 1 is stored" "$LEVELS" "T9|1|B|1|6|0"
typed "W"  # a typed id is looked up alone; a single match is taken without asking
keys Return
typed "10"
keys Return
typed "3"
click "$EDITOR" 430 104 1  # the save button
expect "level 2 is stored" "$LEVELS" "T9|1|B|1|6|0
T9|2|W|7|10|3"
expect "the total follows the last level" "$HEADER" "T9|称重条码规则|店内20|10"
shot editor "$EDITOR"
# A drag of the divider after the first data column (the fixed column is 15 pixels wide, the
# grid's border 2, from x = 2) leaves the width as it is: the user does not resize columns.
width() { (cd "$work/bin" && "$loader" input_helper.exe width "$(hex16 "$EDITOR")" 1) | tr -d '\r'; }
w1="$(width)"
if [ -n "$w1" ]; then
    xdotool mousemove --window "$(window_id "$EDITOR")" $((19 + w1)) 132 mousedown 1 \
        mousemove_relative --sync 60 0 mouseup 1
    sleep 0.5
    [ "$(width)" == "$w1" ] && pass "a grid column keeps its width when its divider is dragged" ||
        fail "a grid column was resized by a drag: $w1 -> $(width)"
else
    fail "no grid column to measure"
fi

step "4. F3 loads level 1 (with Alt held: keys count by their code alone); its end changes"
keys alt+F3
typed "4"
keys Return Return Return
expect "level 1 amended and level 2 moved" "$LEVELS" "T9|1|B|1|4|0
T9|2|W|5|8|3"
expect "the total follows" "$HEADER" "T9|称重条码规则|店内20|8"

step "4b. F5: a label scanned into the test window shows what a till gets; Esc closes it"
keys F5
window_id "$TESTER" >/dev/null && pass "F5 opens the test window" || fail "F5 opens the test window"
sleep 0.3
typed "店内2012345678"
keys Return
want="$("$quorvel" parse --store "$db" --rule T9 --categories B,W 店内2012345678 2>&1)"
got="$(helper cells "$TESTER" | awk -F'|' '{ print $7 }' | paste -sd,)"
[ "$got" == "$want" ] && pass "the test window's values are ParseBarCode's ($got)" ||
    fail "the test window's values: expected '$want', got '$got'"
[ "$(helper cells "$TESTER" | head -1)" == "1|B 金额|1|4|5-8|1234|1234" ] &&
    pass "a level's positions, characters, cut and value" ||
    fail "a level's row: $(helper cells "$TESTER" | head -1)"
shot tester "$TESTER"
# The label field: 72 pixels in, 9 down, 300 wide and 21 high at 96 dpi.
ink="$(distinct_columns "$shots/tester.png" 74 11 200 17)"
[ "${ink:-0}" -ge 12 ] && pass "the label's digits render ($ink different columns of ink)" ||
    fail "the label's digits do not render: ${ink:-no} different columns of ink"
keys Escape
gone "$TESTER" && pass "Esc closes the test window" || fail "Esc closes the test window"
expect "testing stores nothing" "$LEVELS" "T9|1|B|1|4|0
T9|2|W|5|8|3"

step "5. Delete a level and answer Yes; Esc back to the browser"
keys F4 Delete
window_id "系统提示" >/dev/null && pass "the deletion asks" || fail "the deletion asks"
answer "系统提示" y
gone "系统提示" || fail "the question closes"
# Level numbers keep their gap and the total waits for the next save.
expect "level 1 deleted and level 2 moved back" "$LEVELS" "T9|2|W|1|4|3"
expect "the total stays until the next save" "$HEADER" "T9|称重条码规则|店内20|8"
keys Escape
gone "$EDITOR" && pass "Esc closes the editor" || fail "Esc closes the editor"

step "6. The rule deleted from the browser"
# The browser's focus is in the grid; the list of rules comes next. T9 is its third entry.
keys Tab Down Down Delete
window_id "系统提示" >/dev/null && pass "the browser asks" || fail "the browser asks"
answer "系统提示" y
gone "系统提示" || fail "the question closes"
expect "the rule's header is gone" "$HEADER" ""
expect "the rule's levels are gone" "$LEVELS" ""
expect "the other rules stay" "select gzid from txm_gzzb order by gzid" "CZ18
R01"

keys Escape
gone "$BROWSER" && pass "Esc closes the browser" || fail "Esc closes the browser"
# Releasing ClsUse closes the shared connection, so the analyser's next call finds it closed.
if window_id "系统提示" >/dev/null; then
    pass "after the release the connection is closed"
    answer "系统提示" Return
else
    fail "after the release the connection is closed"
fi
wait "$client_pid"
rc=$?
client_pid=""
if [ $rc -eq 0 ] && [ "$(tr -d '\r' <"$work/client.out")" == $'closed\nafter release []' ]; then
    pass "Show returns to the client"
else
    fail "Show returns to the client (status $rc)"
    cat "$work/client.out"
fi

step "quorvel-host does what a retail host does"
want="$("$quorvel" parse --store "$db" --rule R01 --categories A,B 1234567890 2>/dev/null)"
got="$(cd "$work/bin" && timeout 120 "$loader" quorvel-host.exe QuorvelV11.GetAnalyseBarCode \
    "ConnString=$conn" ConnectionTime=15 ParseBarCode A,B 1234567890 R01 2>&1 | tr -d '\r')"
if [ -n "$want" ] && [ "$got" == "$want" ]; then
    pass "ParseBarCode through the host answers as the analyser does"
else
    fail "ParseBarCode through the host: expected '$want', got '$got'"
fi
# Thirty rules more: the rule list needs its scroll bar at once, and paging keys.
rows "$(for i in $(seq -w 1 30); do echo "insert into txm_gzzb (gzid,gzname,dnmid,txmzws) values ('Z$i','规则$i','',0);"; done)"
# The host has a window of its own, which must take no input while the browser is open.
(cd "$work/bin" && exec timeout 120 "$loader" quorvel-host.exe --window QuorvelV11.ClsUse \
    "ConnString=$conn" ConnectionTime=15 Show >"$work/host.out" 2>&1) &
client_pid=$!
window_id "$BROWSER" >/dev/null && pass "the host's Show opens the browser" ||
    fail "the host's Show opens the browser"
sleep 0.5
# selected FIELD WANT WHAT: the browser's list item (field 1) or grid row (2) is as wanted.
selected() {
    local got
    got="$(helper selected "$BROWSER" | cut -d' ' -f"$1")"
    [ "$got" == "$2" ] && pass "$3" || fail "$3: got $got"
}
shot browser-many "$BROWSER"
# The list's scroll bar crosses the column 115 pixels in: arrows, thumb and track in several
# colours; where it is not drawn the column has the form's one background colour.
bar="$(convert "$shots/browser-many.png" -crop 1x300+115+100 +repage -unique-colors txt:- 2>/dev/null |
    tail -n +2 | wc -l)"
[ "${bar:-0}" -ge 3 ] && pass "32 rules: the list shows its scroll bar when the browser opens" ||
    fail "32 rules: the list has no scroll bar when the browser opens (${bar:-0} colours)"
keys Tab End
selected 1 31 "End in the rule list"
keys Home
selected 1 0 "Home in the rule list"
keys Next
page="$(helper selected "$BROWSER" | cut -d' ' -f1)"  # a page further down: as many as show
[ "${page:-0}" -gt 1 ] && [ "$page" -lt 31 ] && pass "PgDn in the rule list ($page)" ||
    fail "PgDn in the rule list: got $page"
keys Home
typed "c"  # the list shows R01, CZ18, Z01 ...
selected 1 1 "a typed letter in the rule list"
keys Up Down  # Up and Down as ever: back to R01 and on to CZ18, whose three levels show
keys shift+Tab End
selected 2 2 "End in the grid"
keys Home
selected 2 0 "Home in the grid"
keys Escape
wait "$client_pid"
rc=$?
client_pid=""
[ $rc -eq 0 ] && pass "the host ends when the browser closes" ||
    fail "the host ends when the browser closes (status $rc)"
if [ "$(tr -d '\r' <"$work/host.out")" == "host window disabled during the call, enabled after" ]; then
    pass "the host's window is disabled while the browser is open and enabled after"
else
    fail "the host's window while the browser is open: $(tr -d '\r' <"$work/host.out")"
fi

step "7. A rule entered and saved on a host's SQL Server, with the host's connection string"
# The "SQL Server" ODBC driver every Windows has is FreeTDS here, told the test server's port by
# its configuration file (scripts/odbc-test-env.sh registers it).
if [ -n "${QUORVEL_TEST_TDS_CONN:-}" ] && [ -n "${QUORVEL_TEST_TDS_ODBC:-}" ]; then
    msdb="quorvel_wineui_${arch}_$$"
    echo "create database $msdb" | isql -b -k "$QUORVEL_TEST_TDS_ODBC;Database=master" >/dev/null
    mscs="$QUORVEL_TEST_TDS_CONN;Initial Catalog=$msdb"
    "$quorvel" init --conn "$mscs" --demo >/dev/null
    TDSPORT="$(sed -n 's/.*Port=\([0-9]*\).*/\1/p' <<<"$QUORVEL_TEST_TDS_ODBC")"
    export TDSPORT
    hostconn="Provider=SQLOLEDB.1;Data Source=127.0.0.1;Initial Catalog=$msdb;User ID=babelfish_admin;Password=Admin_Pass1"
    (cd "$work/bin" && exec timeout 200 "$loader" "$(sysexe cscript)" //nologo show.vbs "$hostconn" \
        >"$work/client.out" 2>&1) &
    client_pid=$!
    if window_id "$BROWSER" >/dev/null; then
        pass "SQL Server: Show opens the browser"
        keys Return
        window_id "$EDITOR" >/dev/null && pass "SQL Server: Enter opens the editor" ||
            fail "SQL Server: Enter opens the editor"
        sleep 0.5
        typed "MS1"
        keys Return
        typed "ms"
        keys Return
        typed "21"
        keys Return
        typed "A"  # a single match is taken without asking
        keys Return
        typed "5"
        keys Return Return Return  # end -> decimals -> save button -> pressed
        got="$("$quorvel" parse --conn "$mscs" --rule MS1 --categories A 2112345678 2>&1)"
        [ "$got" == "12345" ] && pass "SQL Server: the saved rule cuts as entered" ||
            fail "SQL Server: the saved rule cuts as entered: got '$got'"
        keys Escape
        gone "$EDITOR" || fail "SQL Server: Esc closes the editor"
        keys Escape
        gone "$BROWSER" || fail "SQL Server: Esc closes the browser"
        window_id "系统提示" >/dev/null && answer "系统提示" Return
    else
        fail "SQL Server: Show opens the browser"
        cat "$work/client.out"
    fi
    wait "$client_pid"
    client_pid=""
    echo "drop database $msdb" | isql -b -k "$QUORVEL_TEST_TDS_ODBC;Database=master" >/dev/null 2>&1
else
    echo "     SKIPPED: no SQL Server-compatible test server was started (scripts/odbc-test-env.sh)"
fi

step "8. GS1 labels read back from real symbols, scanned into the fresh food rule's test window"
# The shipped layout imported as a shop imports it, and once more for a scanner that sends ~ for
# GS. A keyboard-wedge scanner sends GS as Ctrl+], which the label field must keep although an
# edit control drops typed control characters.
# shellcheck source=../gs1_symbols.sh
source "$here/../gs1_symbols.sh"
# scanned TEXT: typed at a scanner's pace, a GS as Ctrl+].
scanned() {
    local rest="$1" gs=$'\x1d'
    while [[ "$rest" == *"$gs"* ]]; do
        [ -n "${rest%%"$gs"*}" ] && xdotool type --delay 20 "${rest%%"$gs"*}"
        xdotool key --delay 20 ctrl+bracketright
        rest="${rest#*"$gs"}"
    done
    [ -n "$rest" ] && xdotool type --delay 20 "$rest"
    sleep 0.4
}
# test_in_window RULE LABEL WHAT [SHOT]: the rule opened from the browser with F3, F5 and the
# label scanned; the values the test window shows must be the table's and ParseBarCode's.
test_in_window() {
    local index
    # The rule's place in the list, which is filled in the order of the browser's own query.
    index="$(rows "select gzid,gzname from txm_Gzzb" | cut -d'|' -f1 | grep -nx "$1" | cut -d: -f1)"
    # A letter typed in the list moves to the next rule that begins with it.
    for _ in 1 2 3; do
        [ "$(helper selected "$BROWSER" | cut -d' ' -f1)" == "$((index - 1))" ] && break
        typed "${1:0:1}"
    done
    [ "$(helper selected "$BROWSER" | cut -d' ' -f1)" == "$((index - 1))" ] &&
        pass "$1 chosen in the rule list by its first letter" || fail "$1 chosen in the rule list"
    keys F3
    window_id "$EDITOR" >/dev/null && pass "F3 opens $1 in the editor" || fail "F3 opens $1 in the editor"
    sleep 0.5
    keys F5
    window_id "$TESTER" >/dev/null && pass "F5 opens $1's test window" || fail "F5 opens $1's test window"
    sleep 0.3
    scanned "$2"
    keys Return
    local got want
    got="$(helper cells "$TESTER" | awk -F'|' '{ print $7 }' | paste -sd,)"
    want="$("$quorvel" parse --store "$db" --rule "$1" --categories "$gs1_categories" "$2" 2>&1)"
    [ "$got" == "$gs1_expected" ] && [ "$got" == "$want" ] &&
        pass "$3 in $1's test window: the table's values, as ParseBarCode gives them ($got)" ||
        fail "$3 in $1's test window: expected '$gs1_expected' (ParseBarCode: '$want'), got '$got'"
    [ -n "${4:-}" ] && shot "$4" "$TESTER"
    keys Escape
    gone "$TESTER" || fail "Esc closes $1's test window"
    keys Escape
    gone "$EDITOR" || fail "Esc closes $1's editor"
}
missing="$(gs1_tools_missing)"
if [ -n "$missing" ]; then
    fail "GS1 labels in the test window: $missing is missing (scripts/install-deps.sh symbols)"
else
    layout="$here/../../layouts/gs1-fresh-food.json"
    gs1_tilde_layout "$layout" "$work/tilde.json"
    "$quorvel" import --store "$db" "$layout" >/dev/null &&
        "$quorvel" import --store "$db" "$work/tilde.json" >/dev/null
    check "the fresh food layout imported, and again for a scanner that sends ~" test $? -eq 0
    read -r gs1_data gs1_expected <<<"$(grep -m1 . <<<"$gs1_labels")"
    # The table's first label as a GS1 Digital Link URI in a plain QR Code, and as an element
    # string in GS1 DataBar Expanded; what the decoder reads is what the scanner types.
    uri="https://id.gs1.org/01/09501101530003/10/AB12?3103=001250&3922=1234&17=270115"
    zint -b 58 --quietzones --scale=4 -d "$uri" -o "$work/uri.png" >/dev/null 2>&1
    uri_read="$(gs1_read zbar "$work/uri.png")"
    check "the Digital Link URI read back from zint's QR Code" test "$uri_read" == "$uri"
    gs1_print 31 "$gs1_data" "$work/databar.png"
    databar_read="$(gs1_read zbar "$work/databar.png")"
    check "the element string read back from zint's DataBar Expanded, with GS" \
        grep -q $'\x1d' <<<"$databar_read"
    GS1LEVELS="select gzid,js,lbid,startws,endws,xsws,bz from txm_gzmx where gzid like 'GS1%' order by gzid,js"
    before="$(rows "$GS1LEVELS")"
    (cd "$work/bin" && exec timeout 200 "$loader" "$(sysexe cscript)" //nologo show.vbs "$conn" \
        >"$work/client.out" 2>&1) &
    client_pid=$!
    if window_id "$BROWSER" >/dev/null; then
        keys Tab  # from the grid to the rule list
        test_in_window GS1FRESH "$uri_read" "the Digital Link URI" tester-gs1
        test_in_window GS1TILDE "$(tr '\035' '~' <<<"$databar_read")" "the DataBar element string, ~ for GS"
        test_in_window GS1FRESH "$databar_read" "the DataBar element string, GS as Ctrl+]"

        step "8b. A GS1 rule typed in by keyboard: category, F6, the AI typed or picked from the list"
        GSK="select gzid,js,lbid,startws,endws,xsws,bz from txm_gzmx where gzid='GSK' order by js"
        keys Return
        window_id "$EDITOR" >/dev/null && pass "Enter opens the editor" || fail "Enter opens the editor"
        sleep 0.5
        typed "GSK"
        keys Return
        typed "生鲜"
        keys Return Return  # no in-store code
        typed "WEIGHT"
        keys Return F6
        typed "310"
        keys Return  # part of an AI: the list of those that begin so
        window_id "$PICKER" >/dev/null && pass "the AI list opens" || fail "the AI list opens"
        shot ai-picker "$PICKER"
        keys Down Down Down Return  # 3100, 3101, 3102, 3103
        gone "$PICKER" || fail "the AI list closes on Enter"
        shot editor-gs1 "$EDITOR"
        keys Return  # the focus is on the save button
        expect "a GS1 level picked from the AI list is stored" "$GSK" "GSK|1|WEIGHT|0|-1|0|GS1:3103"
        typed "ITEM"
        keys Return F6
        typed "01"
        keys Return Return
        expect "a GS1 level typed is stored" "$GSK" "GSK|1|WEIGHT|0|-1|0|GS1:3103
GSK|2|ITEM|0|-1|0|GS1:01"
        keys F5
        window_id "$TESTER" >/dev/null && pass "F5 opens GSK's test window" || fail "F5 opens GSK's test window"
        sleep 0.3
        scanned "$databar_read"
        keys Return
        got="$(helper cells "$TESTER" | awk -F'|' '{ print $7 }' | paste -sd,)"
        want="$("$quorvel" parse --store "$db" --rule GSK --categories WEIGHT,ITEM "$databar_read" 2>&1)"
        [ "$got" == "001.250,09501101530003" ] && [ "$got" == "$want" ] &&
            pass "the rule typed in cuts the scanned label as ParseBarCode does ($got)" ||
            fail "GSK's test window: expected '001.250,09501101530003' (ParseBarCode: '$want'), got '$got'"
        keys Escape
        gone "$TESTER" || fail "Esc closes GSK's test window"
        keys Escape
        gone "$EDITOR" || fail "Esc closes GSK's editor"
        expect "testing the GS1 rules stores nothing" "$GS1LEVELS" "$before"
        keys Escape
        gone "$BROWSER" || fail "Esc closes the browser"
        window_id "系统提示" >/dev/null && answer "系统提示" Return
    else
        fail "Show opens the browser for the GS1 labels"
        cat "$work/client.out"
    fi
    wait "$client_pid"
    rc=$?
    client_pid=""
    [ $rc -eq 0 ] && [ "$(tr -d '\r' <"$work/client.out")" == $'closed\nafter release []' ] &&
        pass "Show returns to the client after the GS1 labels" ||
        fail "Show returns to the client after the GS1 labels (status $rc): $(tr -d '\r' <"$work/client.out" | paste -sd/)"
fi

summary "wine-ui $arch"
