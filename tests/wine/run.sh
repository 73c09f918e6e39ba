#!/usr/bin/env bash
# One architecture's Windows DLL under Wine, in processes of that architecture: the DLL inspected
# with the cross tools, registration, script clients (GS1 labels read back from real symbols
# among them), an early-bound client and message boxes under a virtual display.
#
# usage: tests/wine/run.sh x64|x86 BUILD_DIR QUORVEL_COMMAND
#
# Everything happens in a temporary folder: a fresh Wine prefix, a demo store reached through
# Wine's ODBC (which hands over to unixODBC's SQLite3 driver), and an Xvfb display on a free
# number. Xvfb and the wineserver are stopped on the way out, whatever happens.
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "$2" && pwd)"
quorvel="$3"
for f in "$build/src/com/QuorvelV11.dll" "$quorvel"; do
    [ -e "$f" ] || { echo "wine tests: $f is missing; build it first" >&2; exit 1; }
done

# shellcheck source=../wine/lib.sh
source "$here/../wine/lib.sh"
use_arch "$1"
wine_session wine

# ---- a display of our own --------------------------------------------------------------------
start_xvfb 90 140 "$work/xvfb.log"
new_prefix

# ---- files ---------------------------------------------------------------------------------
mkdir -p "$work/bin"
cp "$build/src/com/QuorvelV11.dll" "$build/tests-wine/early_bound_client.exe" \
    "$build/tests-wine/box_text.exe" "$here"/*.vbs "$here"/*.js "$work/bin/"
dll="Z:${work//\//\\}\\bin\\QuorvelV11.dll"  # Wine's drive Z: is the root folder
"$quorvel" init --store "$work/demo.db" --demo >/dev/null
conn="Driver={SQLite3};Database=$work/demo.db"

crlf() { tr -d '\r'; }
# w PROGRAM ARGS...: runs a program of the bin folder, or else the system program of that name,
# in the bin folder. A client that waits on an unexpected message box is ended after two minutes
# rather than hanging the suite.
w() {
    local prog="$1"
    [ -e "$work/bin/$prog" ] || prog="$(sysexe "$prog")"
    (cd "$work/bin" && timeout 120 "$loader" "$prog" "${@:2}")
}
# run_client OUTFILE PROGRAM ARGS...: the program's output without CRs in OUTFILE; its status.
run_client() {
    local outfile="$1"
    shift
    w "$@" >"$outfile.raw" 2>&1
    local rc=$?
    crlf <"$outfile.raw" >"$outfile"
    return $rc
}

# ---- the DLL, inspected without running it ----------------------------------------------------
system_dlls='^(advapi32|kernel32|user32|oleaut32|ole32|odbc32|msvcrt|gdi32|comctl32)\.dll$'
# The export table's names, whole, as hosts look them up: a decorated DllGetClassObject@12 is
# not DllGetClassObject.
exports_of() {  # exports_of OBJDUMP_OUTPUT
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$1" | awk '/^\t\[/ {print $NF}' | sort | tr '\n' ' '
}
wanted_exports="DllCanUnloadNow DllGetClassObject DllInstall DllRegisterServer DllUnregisterServer "
inspect() {  # inspect ARCH_PREFIX DLL FORMAT
    local tools="$1" file="$2" format="$3"
    local dump
    dump="$("$tools-objdump" -p "$file")"
    check "$format: file format" grep -q "file format $format" <<<"$dump"
    local exports
    exports="$(exports_of "$dump")"
    check "$format: exports $wanted_exports(got $exports)" test "$exports" = "$wanted_exports"
    local imports
    imports="$(grep 'DLL Name:' <<<"$dump" | awk '{print $3}')"
    check "$format: needs only system DLLs ($(tr '\n' ' ' <<<"$imports"))" \
        bash -c '! grep -Eiqv "$1" <<<"$2"' _ "$system_dlls" "$imports"
    local rsrc
    "$tools-objcopy" -O binary --only-section=.rsrc "$file" "$work/rsrc.bin"
    rsrc="$(od -An -tx1 -v "$work/rsrc.bin" | tr -d ' \n')"
    check "$format: embeds a TYPELIB resource" grep -q '54005900500045004c0049004200' <<<"$rsrc"
    check "$format: the resource is a type library (MSFT)" grep -q '4d534654' <<<"$rsrc"
    # "VS_VERSION_INFO" in UTF-16
    check "$format: carries a version resource" \
        grep -q '560053005f00560045005200530049004f004e005f0049004e0046004f00' <<<"$rsrc"
}
inspect "$tools" "$work/bin/QuorvelV11.dll" "$pe_format"
if [ "$arch" = x86 ]; then
    # The check itself: stdcall exports without the .def file's names carry their decoration.
    printf '%s\n' 'int __stdcall DllCanUnloadNow(void) { return 0; }' \
        'int __stdcall DllGetClassObject(void* a, void* b, void* c) { return a == b && b == c; }' \
        'int __stdcall DllInstall(int a, void* b) { return a + (b != 0); }' \
        'int __stdcall DllRegisterServer(void) { return 0; }' \
        'int __stdcall DllUnregisterServer(void) { return 0; }' >"$work/decorated.c"
    "$tools-gcc" -shared -o "$work/decorated.dll" "$work/decorated.c"
    decorated="$(exports_of "$("$tools-objdump" -p "$work/decorated.dll")")"
    check "decorated exports ($decorated) fail the export check" test "$decorated" != "$wanted_exports"
fi

# From here on the DLL runs, in processes of its architecture.
if ! loader_runs; then
    fail "$arch: $loader does not run on this machine"
    summary "wine $arch"
    exit 1
fi

run_client "$work/tlb" early_bound_client.exe typelib QuorvelV11.dll
rc=$?
sed "s/^/    $arch typelib: /" "$work/tlb"
check "type library: members, slots and defaults, same as the generated header" \
    test "$rc" -eq 0 -a -s "$work/tlb"

# ---- registration ------------------------------------------------------------------------------
CLSID='{02337FEF-56B4-4301-A7BB-0745AF7DD627}'
IID='{856798BF-AB42-4CDC-A32D-2A0E27C892A3}'
LIBID='{BBC0A775-1E55-47A0-9AB3-A307C083B909}'
reg_value() {  # reg_value KEY [NAME [REG_OPTION]]: prints the value's data, or nothing
    local args=("$1" "${@:3}")
    if [ -n "${2:-}" ]; then args+=(/v "$2"); else args+=(/ve); fi
    sys reg query "${args[@]}" 2>/dev/null | crlf | awk -F'    ' 'NF>=4 {print $4}'
}
key_exists() { sys reg query "$@" >/dev/null 2>&1; }
check_registered() {  # check_registered ROOT LABEL
    local r="$1" label="$2"
    check "$label: InprocServer32 is the DLL" test "$(reg_value "$r\\CLSID\\$CLSID\\InprocServer32")" = "$dll"
    check "$label: ThreadingModel=Apartment" \
        test "$(reg_value "$r\\CLSID\\$CLSID\\InprocServer32" ThreadingModel)" = Apartment
    check "$label: ProgID QuorvelV11.GetAnalyseBarCode" \
        test "$(reg_value "$r\\QuorvelV11.GetAnalyseBarCode\\CLSID")" = "$CLSID"
    check "$label: versioned ProgID QuorvelV11.GetAnalyseBarCode.1" \
        test "$(reg_value "$r\\QuorvelV11.GetAnalyseBarCode.1\\CLSID")" = "$CLSID"
    check "$label: CurVer names the versioned ProgID" \
        test "$(reg_value "$r\\QuorvelV11.GetAnalyseBarCode\\CurVer")" = QuorvelV11.GetAnalyseBarCode.1
    check "$label: class names both ProgIDs" test "$(reg_value "$r\\CLSID\\$CLSID\\ProgID")/$(reg_value "$r\\CLSID\\$CLSID\\VersionIndependentProgID")" = \
        "QuorvelV11.GetAnalyseBarCode.1/QuorvelV11.GetAnalyseBarCode"
    check "$label: type library 1.0 registered for $platform" \
        test "$(reg_value "$r\\TypeLib\\$LIBID\\1.0\\0\\$platform")" = "$dll"
    check "$label: interface marshalled through the type library" \
        test "$(reg_value "$r\\Interface\\$IID\\TypeLib")" = "$LIBID"
}
check_unregistered() {  # check_unregistered ROOT LABEL: in either view
    local left
    left="$(ours_left "$1" | tr '\n' ' ')"
    check "$2: nothing left behind${left:+ (left: $left)}" test -z "$left"
}

M='HKLM\Software\Classes'
U='HKCU\Software\Classes'
w regsvr32 /s QuorvelV11.dll
check "regsvr32 succeeds" test $? -eq 0
check_registered "$M" "per machine"
check "per machine: HKCR shows the class" key_exists "HKCR\\CLSID\\$CLSID"
check "per machine: nothing for the user" not key_exists "$U\\CLSID\\$CLSID"
w regsvr32 /s /u QuorvelV11.dll
check "regsvr32 /u succeeds" test $? -eq 0
check_unregistered "$M" "regsvr32 /u"

# Beside the other architecture's registration (its class and type library entry written by
# hand into the other view): unregistering removes this view's class and interface, and keeps
# the ProgIDs and the type library that the other one still needs.
other='C:\other\QuorvelV11.dll'
w regsvr32 /s QuorvelV11.dll
sys reg add "$M\\CLSID\\$CLSID\\InprocServer32" /ve /d "$other" /f "$other_view" >/dev/null 2>&1
sys reg add "$M\\TypeLib\\$LIBID\\1.0\\0\\$other_platform" /ve /d "$other" /f "$other_view" >/dev/null 2>&1
w regsvr32 /s /u QuorvelV11.dll
check "beside the other: its class gone" not key_exists "$M\\CLSID\\$CLSID"
check "beside the other: its interface gone" not key_exists "$M\\Interface\\$IID"
check "beside the other: its type library entry gone" not key_exists "$M\\TypeLib\\$LIBID\\1.0\\0\\$platform"
check "beside the other: the ProgID stays" \
    test "$(reg_value "$M\\QuorvelV11.GetAnalyseBarCode\\CLSID")" = "$CLSID"
check "beside the other: the other's class stays" \
    test "$(reg_value "$M\\CLSID\\$CLSID\\InprocServer32" "" "$other_view")" = "$other"
check "beside the other: the other's type library entry stays" \
    test "$(reg_value "$M\\TypeLib\\$LIBID\\1.0\\0\\$other_platform" "" "$other_view")" = "$other"
# Once the other is gone too, unregistering leaves nothing in either view.
sys reg delete "$M\\CLSID\\$CLSID" /f "$other_view" >/dev/null 2>&1
sys reg delete "$M\\TypeLib\\$LIBID\\1.0\\0\\$other_platform" /f "$other_view" >/dev/null 2>&1
w regsvr32 /s /u QuorvelV11.dll
check_unregistered "$M" "the last one unregistered"

w regsvr32 /s /n /i:user QuorvelV11.dll
check "regsvr32 /n /i:user succeeds" test $? -eq 0
check_registered "$U" "per user"
check "per user: nothing for the machine" not key_exists "$M\\CLSID\\$CLSID"
w regsvr32 /s /u /n /i:user QuorvelV11.dll
check "regsvr32 /u /n /i:user succeeds" test $? -eq 0
check_unregistered "$U" "per user, undone"
w regsvr32 /s /n /i:everyone QuorvelV11.dll
check "regsvr32 /n /i with an unknown scope fails" test $? -ne 0
check_unregistered "$U" "unknown scope writes nothing for the user"
check_unregistered "$M" "unknown scope writes nothing for the machine"

# Clients below use the machine registration (Wine looks classes up there only).
w regsvr32 /s QuorvelV11.dll

# ---- message boxes -------------------------------------------------------------------------
# run_with_box EXPECTED_OUTPUT TITLE TEXT COMMAND...: runs a client that shows exactly one box;
# finds the box by its caption, checks its text, dismisses it with Return, then compares the
# client's output.
run_with_box() {
    local expected="$1" title="$2" text="$3"
    shift 3
    local out="$work/client.out"
    w "$@" >"$out" 2>&1 &
    local client=$!
    local win
    win="$(timeout 60 xdotool search --sync --name "^$title\$" 2>/dev/null | head -1)"
    if [ -z "$win" ]; then
        fail "box \"$title\" appears"
        wait "$client"
        sed 's/^/    client: /' "$out"
        return
    fi
    pass "box \"$title\" appears"
    local shown
    shown="$(w box_text.exe "$title" | crlf)"
    check "box \"$title\" says \"$text\" (got \"$shown\")" test "$shown" = "$text"
    timeout 15 xdotool windowfocus --sync "$win"
    xdotool key Return
    for _ in $(seq 100); do
        xdotool search --name "^$title\$" >/dev/null 2>&1 || break
        sleep 0.1
    done
    check "box \"$title\" dismissed with Return" bash -c "! xdotool search --name '^$title\$' >/dev/null 2>&1"
    wait "$client"
    local got
    got="$(crlf <"$out")"
    check "client output after the box (got: $(paste -sd/ <<<"$got"))" test "$got" = "$expected"
}

closed='The connection cannot be used to perform this operation. It is either closed or invalid in this context.'
run_with_box $'create 0\nStoreCode [] 0' "系统提示" "$closed" cscript //nologo never_opened.vbs

# ---- script clients on the demo store ------------------------------------------------------
script_client() {  # script_client EXPECTED_FILE SCRIPT [CONN LABEL]
    local got label="${4:-the demo store}"
    run_client "$work/script.out" cscript //nologo "$2" "${3:-$conn}"
    got="$(cat "$work/script.out")"
    if [ "$got" = "$(cat "$1")" ]; then
        pass "$2 on $label"
    else
        fail "$2 on $label"
        diff <(echo "$got") "$1" | sed 's/^/    /'
    fi
}
script_client "$here/parse.expected" parse.vbs
script_client "$here/parse.js.expected" parse.js

# ---- GS1 labels from real symbols ----------------------------------------------------------
# The symbols test's labels (tests/gs1_symbols.sh), printed by zint and read back by the
# decoders, cut by a script host on a store holding the shipped fresh food layout: as decoded
# (GS and all) and behind the identifier a scanner sends, each must give the table's values.
# shellcheck source=../gs1_symbols.sh
source "$here/../gs1_symbols.sh"
gs1_symbols_cut() {
    local missing
    missing="$(gs1_tools_missing)"
    if [ -n "$missing" ]; then
        fail "GS1 symbols: $missing is missing (scripts/install-deps.sh symbols)"
        return
    fi
    local layout="$here/../../layouts/gs1-fresh-food.json" store="$work/gs1.db"
    "$quorvel" init --store "$store" >/dev/null &&
        "$quorvel" import --store "$store" "$layout" >/dev/null &&
        gs1_tilde_layout "$layout" "$work/tilde.json" &&
        "$quorvel" import --store "$store" "$work/tilde.json" >/dev/null
    check "GS1 symbols: a store with the fresh food layout, and again for a scanner sending ~" \
        test $? -eq 0
    local data expected type decoder id rule name img read n=0
    local names=() wanted=()
    : >"$work/bin/scanned.txt"
    while read -r data expected; do
        [ -n "$data" ] || continue
        n=$((n + 1))
        while read -r type decoder id rule name; do
            [ -n "$type" ] || continue
            img="$work/$n-$name.png"
            read=""
            gs1_print "$type" "$data" "$img" && read="$(gs1_read "$decoder" "$img")"
            if [ -z "$read" ]; then
                fail "GS1 symbols: $name $n printed and read back"
                continue
            fi
            printf '%s\t%s\r\n' "$rule" "$read" "$rule" "$id$read" >>"$work/bin/scanned.txt"
            names+=("$name $n" "$name $n behind $id")
            wanted+=("[$expected]" "[$expected]")
        done <<<"$gs1_symbols"
    done <<<"$gs1_labels"
    run_client "$work/gs1.out" cscript //nologo gs1_labels.vbs "Driver={SQLite3};Database=$store" \
        "$gs1_categories" scanned.txt
    local got i
    mapfile -t got <"$work/gs1.out"
    for i in "${!wanted[@]}"; do
        if [ "${got[$i]:-}" = "${wanted[$i]}" ]; then
            pass "GS1 symbols: ParseBarCode cuts ${names[$i]} ${wanted[$i]}"
        else
            fail "GS1 symbols: ParseBarCode cuts ${names[$i]}: expected ${wanted[$i]}, got ${got[$i]:-nothing}"
        fi
    done
    [ "${#got[@]}" -le "${#wanted[@]}" ] || sed 's/^/    gs1 client: /' "$work/gs1.out"
}
gs1_symbols_cut

# ---- the same clients on a host's SQL Server -------------------------------------------------
# The host's own connection string, which reaches the "SQL Server" ODBC driver as on a till (here
# FreeTDS under that name, told the test server's port by TDSPORT).
if [ -n "${QUORVEL_TEST_TDS_CONN:-}" ] && [ -n "${QUORVEL_TEST_TDS_ODBC:-}" ]; then
    msdb="quorvel_wine_${arch}_$$"
    echo "create database $msdb" | isql -b -k "$QUORVEL_TEST_TDS_ODBC;Database=master" >/dev/null
    "$quorvel" init --conn "$QUORVEL_TEST_TDS_CONN;Initial Catalog=$msdb" --demo >/dev/null
    TDSPORT="$(sed -n 's/.*Port=\([0-9]*\).*/\1/p' <<<"$QUORVEL_TEST_TDS_ODBC")"
    export TDSPORT
    hostconn="Provider=SQLOLEDB.1;Data Source=127.0.0.1;Initial Catalog=$msdb;User ID=babelfish_admin;Password=Admin_Pass1"
    script_client "$here/parse.expected" parse.vbs "$hostconn" "a host's SQL Server"
    script_client "$here/parse.js.expected" parse.js "$hostconn" "a host's SQL Server"
else
    echo "SKIPPED: no SQL Server-compatible test server was started (scripts/odbc-test-env.sh)"
fi
run_with_box "$(cat "$here/two_objects.expected")" "系统提示" "$closed" \
    cscript //nologo two_objects.vbs "$conn"

# ---- the early-bound client ----------------------------------------------------------------
run_client "$work/early" early_bound_client.exe object "$conn"
rc=$?
sed 's/^/    early bound: /' "$work/early"
check "early-bound client through the vtable" test "$rc" -eq 0 -a -s "$work/early"

w regsvr32 /s /u QuorvelV11.dll
check_unregistered "$M" "after the clients"

echo
summary "wine $arch"
