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
