#!/usr/bin/env bash
# Both DLLs registered in one prefix, as on 64-bit Windows: unregistering either leaves the other
# created by ProgID from its own architecture's cscript, and nothing of ours is left once both
# are gone.
#
# usage: tests/wine/side_by_side.sh X64_BUILD_DIR X86_BUILD_DIR QUORVEL_COMMAND
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
x64="$(cd "$1" && pwd)"
x86="$(cd "$2" && pwd)"
quorvel="$3"
work="$(mktemp -d /tmp/quorvel-wine-sbs.XXXXXX)"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    [ -d "$WINEPREFIX" ] && wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
# shellcheck source=lib.sh
source "$here/lib.sh"
use_arch x86
loader_runs || { fail "$loader does not run on this machine"; summary "wine side by side"; exit 1; }

new_prefix
mkdir -p "$work/x64" "$work/x86"
cp "$x64/src/com/QuorvelV11.dll" "$work/x64/"
cp "$x86/src/com/QuorvelV11.dll" "$work/x86/"
cp "$here/parse.js" "$work/"
"$quorvel" init --store "$work/demo.db" --demo >/dev/null
conn="Driver={SQLite3};Database=$work/demo.db"
want="$(sed -n 1p "$here/parse.js.expected")"

# run_in ARCH COMMAND...: runs COMMAND with that architecture's loader and system folder.
run_in() { (use_arch "$1" && cd "$work" && timeout 120 "$loader" "$(sysexe "$2")" "${@:3}" 2>&1 | tr -d '\r'); }
creates() {  # creates ARCH: its cscript creates the class by ProgID and parses
    [ "$(run_in "$1" cscript //nologo parse.js "$conn" | head -1)" = "$want" ]
}
ours_left() {  # every key of ours still in either view
    local view k
    for view in /reg:64 /reg:32; do
        for k in 'CLSID\{02337FEF-56B4-4301-A7BB-0745AF7DD627}' 'CLSID\{4C528F22-EE1B-42B4-8535-85F533DA15CE}' \
            'Interface\{856798BF-AB42-4CDC-A32D-2A0E27C892A3}' 'Interface\{D289DB0A-EB43-4EFE-A8B9-8E71A91B1B7C}' \
            QuorvelV11.GetAnalyseBarCode QuorvelV11.GetAnalyseBarCode.1 QuorvelV11.ClsUse QuorvelV11.ClsUse.1 \
            'TypeLib\{BBC0A775-1E55-47A0-9AB3-A307C083B909}'; do
            run_in x64 reg query "HKLM\\Software\\Classes\\$k" "$view" >/dev/null 2>&1 && echo "$k$view"
        done
    done
}

for first in x64 x86; do
    second=x86
    [ "$first" = x86 ] && second=x64
    run_in x64 regsvr32 /s 'x64\QuorvelV11.dll' >/dev/null
    run_in x86 regsvr32 /s 'x86\QuorvelV11.dll' >/dev/null
    check_both="registered both"
    creates x64 && creates x86 && pass "$check_both: each cscript creates its class" ||
        fail "$check_both: each cscript creates its class"
    run_in "$first" regsvr32 /s /u "$first\\QuorvelV11.dll" >/dev/null
    creates "$second" && pass "$first unregistered: $second still creates by ProgID" ||
        fail "$first unregistered: $second still creates by ProgID"
    creates "$first" && fail "$first unregistered: $first no longer creates" ||
        pass "$first unregistered: $first no longer creates"
    run_in "$second" regsvr32 /s /u "$second\\QuorvelV11.dll" >/dev/null
    left="$(ours_left | tr '\n' ' ')"
    [ -z "$left" ] && pass "both unregistered ($first first): nothing of ours left" ||
        fail "both unregistered ($first first): left $left"
done
summary "wine side by side"
