# Shared by the Wine test scripts (sourced): result counting, and an Xvfb display of the
# script's own on a free number in a range, so that two suites never share a display.

failures=0
passes=0
check() {  # check DESCRIPTION COMMAND...: passes when the command succeeds
    if "${@:2}"; then pass "$1"; else fail "$1"; fi
}
not() { ! "$@"; }
pass() {
    echo "ok   $*"
    passes=$((passes + 1))
}
fail() {
    echo "FAIL $*"
    failures=$((failures + 1))
}

# start_xvfb FIRST LAST LOGFILE: sets xvfb_pid and exports DISPLAY; exits if no number is free.
start_xvfb() {
    local n display=""
    for n in $(seq "$1" "$2"); do
        if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
            display=":$n"
            break
        fi
    done
    [ -n "$display" ] || { echo "no free X display number" >&2; exit 1; }
    Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$3" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do
        [ -e "/tmp/.X11-unix/X${display#:}" ] && break
        sleep 0.1
    done
    export DISPLAY="$display"
}

# summary NAME: the closing line in the form test runners print; the status says the same.
summary() {
    echo "$1: $passes passed, $failures failed"
    [ "$failures" -eq 0 ]
}

# use_arch x64|x86: the Wine loader and system folder for programs of that architecture. Both
# are named explicitly, because Debian's `wine` command starts the 32-bit loader for every
# program once wine32 is installed. Sets arch, loader, sysdir (Windows path), tools (the cross
# tools' prefix), pe_format, platform (the type library's platform key), other_platform and
# other_view (reg.exe's switch for the other architecture's registry view).
use_arch() {
    arch="$1"
    case "$arch" in
    x64)
        loader=/usr/lib/wine/wine64 sysdir='C:\windows\system32' tools=x86_64-w64-mingw32
        pe_format=pei-x86-64 platform=win64 other_platform=win32 other_view=/reg:32 ;;
    x86)
        loader=/usr/lib/wine/wine sysdir='C:\windows\syswow64' tools=i686-w64-mingw32
        pe_format=pei-i386 platform=win32 other_platform=win64 other_view=/reg:64 ;;
    *) echo "unknown architecture $arch (x64 or x86)" >&2; exit 2 ;;
    esac
}

# loader_runs: whether this machine runs the loader's programs at all (a kernel without 32-bit
# support refuses the 32-bit loader with "Exec format error").
loader_runs() {
    "$loader" --version >/dev/null 2>&1
}

# new_prefix: makes $WINEPREFIX with the 64-bit loader, so that it has both system folders.
new_prefix() {
    /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
}

# sys PROGRAM ARGS...: a system program (regsvr32, cscript, reg, msiexec ...) of the architecture;
# sysexe PROGRAM: its Windows path, for `timeout "$loader" "$(sysexe cscript)" ...`.
sysexe() { echo "$sysdir\\$1.exe"; }
sys() { "$loader" "$(sysexe "$1")" "${@:2}"; }

# wine_session NAME: $work, a temporary folder for a fresh prefix ($WINEPREFIX) and the files of
# the run. On exit, whatever happens, the wineserver and the display stop and the folder goes.
wine_session() {
    work="$(mktemp -d "/tmp/quorvel-$1.XXXXXX")"
    export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    xvfb_pid=""
    trap end_wine_session EXIT
}
end_wine_session() {
    [ -d "$WINEPREFIX" ] && wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1 || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}

# ours_left [ROOT]: every key of ours still under ROOT (default HKLM\Software\Classes), in
# either registry view, one per line (read by the 64-bit reg.exe, which reaches both).
ours_left() {
    local view k
    for view in /reg:64 /reg:32; do
        for k in 'CLSID\{02337FEF-56B4-4301-A7BB-0745AF7DD627}' 'CLSID\{4C528F22-EE1B-42B4-8535-85F533DA15CE}' \
            'Interface\{856798BF-AB42-4CDC-A32D-2A0E27C892A3}' 'Interface\{D289DB0A-EB43-4EFE-A8B9-8E71A91B1B7C}' \
            QuorvelV11.GetAnalyseBarCode QuorvelV11.GetAnalyseBarCode.1 QuorvelV11.ClsUse \
            QuorvelV11.ClsUse.1 'TypeLib\{BBC0A775-1E55-47A0-9AB3-A307C083B909}'; do
            /usr/lib/wine/wine64 reg query "${1:-HKLM\Software\Classes}\\$k" "$view" >/dev/null 2>&1 &&
                echo "$k$view"
        done
    done
}
