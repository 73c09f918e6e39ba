#!/usr/bin/env bash
# One architecture's installer under Wine: installed per machine, the script clients of that
# architecture create the classes; a newer version installed over it leaves one product; its
# removal leaves no file and no key of ours.
#
# usage: tests/wine/msi.sh x64|x86 OLDER_MSI NEWER_MSI QUORVEL_COMMAND
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
older="$(realpath "$2")"
newer="$(realpath "$3")"
quorvel="$4"
# shellcheck source=lib.sh
source "$here/lib.sh"
wine_session wine-msi
use_arch "$1"
loader_runs || { fail "$arch: $loader does not run on this machine"; summary "wine msi $arch"; exit 1; }
start_xvfb 191 230 "$work/xvfb.log"
new_prefix

cp "$here"/parse.vbs "$here"/parse.js "$older" "$newer" "$work/"
"$quorvel" init --store "$work/demo.db" --demo >/dev/null
conn="Driver={SQLite3};Database=$work/demo.db"
run() { (cd "$work" && timeout 180 "$loader" "$(sysexe "$1")" "${@:2}" 2>&1 | tr -d '\r'); }
folder="$WINEPREFIX/drive_c/Program Files/QuorvelV11"
[ "$arch" = x86 ] && folder="$WINEPREFIX/drive_c/Program Files (x86)/QuorvelV11"
products() {  # how many products of this architecture's package are installed
    run reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s |
        awk -v name="QuorvelV11 ($arch)" '/DisplayName/ && index($0, name) {n++} END {print n + 0}'
}
clients_work() {  # clients_work LABEL
    local s
    for s in parse.vbs parse.js; do
        local expected="$here/${s%.vbs}.expected"
        [ "$s" = parse.js ] && expected="$here/parse.js.expected"
        if [ "$(run cscript //nologo "$s" "$conn")" = "$(cat "$expected")" ]; then
            pass "$1: $s creates the class and parses"
        else
            fail "$1: $s creates the class and parses"
        fi
    done
}

run msiexec /i "$(basename "$older")" /qn
[ $? -eq 0 ] && pass "msiexec /i $(basename "$older")" || fail "msiexec /i $(basename "$older")"
[ -f "$folder/QuorvelV11.dll" ] && pass "installed in ${folder#"$WINEPREFIX/drive_c/"}" ||
    fail "installed in ${folder#"$WINEPREFIX/drive_c/"}"
inproc="$(run reg query 'HKLM\Software\Classes\CLSID\{02337FEF-56B4-4301-A7BB-0745AF7DD627}\InprocServer32' /ve |
    awk -F'    ' 'NF>=4 {print $4}')"
[[ "$inproc" == *'\QuorvelV11\QuorvelV11.dll' ]] && pass "the class names the installed DLL ($inproc)" ||
    fail "the class names the installed DLL (got '$inproc')"
clients_work "installed"

run msiexec /i "$(basename "$newer")" /qn
[ $? -eq 0 ] && pass "msiexec /i $(basename "$newer") over it" || fail "msiexec /i $(basename "$newer") over it"
n="$(products)"
[ "$n" = 1 ] && pass "one product after the upgrade" || fail "one product after the upgrade (got $n)"
clients_work "upgraded"

run msiexec /x "$(basename "$newer")" /qn
[ $? -eq 0 ] && pass "msiexec /x" || fail "msiexec /x"
left="$( ([ -e "$folder" ] && echo "$folder"); ours_left | tr '\n' ' ')"
[ -z "$left" ] && pass "removed: nothing of ours left" || fail "removed: left $left"
n="$(products)"
[ "$n" = 0 ] && pass "removed: no product left" || fail "removed: no product left (got $n)"
summary "wine msi $arch"
