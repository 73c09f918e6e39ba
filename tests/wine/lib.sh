# Shared by the Wine test scripts (sourced): result counting, and an Xvfb display of the
# script's own on a free number in a range, so that two suites never share a display.

failures=0
passes=0
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
