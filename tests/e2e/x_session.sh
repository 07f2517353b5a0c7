# shellcheck shell=bash
# Sourced by the end-to-end scripts, run as SCRIPT PROGRAM AMPSIM OUTDIR: a work folder and the
# processes to end with it, a private X server, a simulated amplifier with its wire log, and the
# checks on what came out of a run.
# shellcheck disable=SC2034  # the sourcing script's to use
program=$1 ampsim=$2
out=$3
mkdir -p "$out"
work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "e2e: $*" >&2; exit 1; }

# start_x: Xvfb on a display number it finds free itself, so that runs side by side never share
# one; the programs reach amplifiers only through ampsim sockets in a folder of their own.
start_x() {
    local display=
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    pids+=("$!")
    for _ in $(seq 100); do grep -q . "$work/display" && break; sleep 0.1; done
    display=$(head -1 "$work/display")
    [ -n "$display" ] || fail "the X server did not start: $(cat "$work/xvfb.log")"
    export DISPLAY=":$display"
    unset QT_QPA_PLATFORM
    export AMP_RUNTIME_DIR="$work/run" AMP_BUS=ampsim
    mkdir -p -m 700 "$AMP_RUNTIME_DIR"
}

# plug_ampsim AMPSIM MODEL [OPTION...]: plugs a simulated amplifier in, its wire log in
# $work/wire.jsonl; its pid in $sim.
plug_ampsim() {
    "$1" --model "$2" --log "$work/wire.jsonl" "${@:3}" >"$work/ampsim.log" 2>&1 &
    sim=$!
    pids+=("$sim")
    for _ in $(seq 100); do ls "$AMP_RUNTIME_DIR"/*.sock >/dev/null 2>&1 && break; sleep 0.1; done
    ls "$AMP_RUNTIME_DIR"/*.sock >/dev/null 2>&1 || fail "ampsim did not plug in: $(cat "$work/ampsim.log")"
}

# The commands sent, first byte of each packet on the bulk OUT endpoint, as "01 15 ... ".
sent_commands() {
    grep '"dir": *"out"' "$work/wire.jsonl" | grep '"ep": *"0x01"' |
        sed 's/.*"hex": *"\([0-9a-f]*\).*/\1/' | tr '\n' ' '
}

# The packets sent on the bulk OUT endpoint whole, one a line, as "09 30 e5 ...".
sent_packets() {
    grep '"dir": *"out"' "$work/wire.jsonl" | grep '"ep": *"0x01"' |
        sed 's/.*"hex": *"\([0-9a-f ]*\)".*/\1/'
}

# wait_sent REGEX WHAT: up to ten seconds for the commands sent so far to match.
wait_sent() {
    for _ in $(seq 100); do sent_commands | grep -Eq "$1" && return; sleep 0.1; done
    fail "$2: sent $(sent_commands)"
}

# open_window NAME WHAT [SECONDS]: the id of a window that is showing, waited for up to ten
# seconds or SECONDS; the programs' output if it does not come.
open_window() {
    timeout "${3:-10}" xdotool search --sync --onlyvisible --name "$1" | head -1 | grep . ||
        { cat "$work"/*.log >&2; fail "no window \"$1\" ($2)"; }
}

# press_to_close WINDOW X Y NAME WHAT: a click that closes the window NAME. Clicked again after
# two seconds, twice at most: on a loaded machine a late layout can let a click fall beside.
press_to_close() {
    local try
    for try in 1 2 3; do
        xdotool mousemove --window "$1" "$2" "$3" click 1 2>/dev/null || true
        for _ in $(seq 20); do xdotool search --onlyvisible --name "$4" >/dev/null 2>&1 || return 0; sleep 0.1; done
        echo "e2e: click $try left \"$4\" open ($5)"
    done
    fail "the window \"$4\" stayed ($5)"
}

# still_shot WINDOW FILE: a screenshot once two in a row agree, so a repaint still under way on a
# busy machine is not taken for the program's picture; the last one after two seconds.
still_shot() {
    import -window "$1" "$2"
    for _ in $(seq 10); do
        sleep 0.2
        import -window "$1" "$work/still.png"
        [ "$(compare -metric AE "$2" "$work/still.png" null: 2>&1 || true)" = 0 ] && return
        mv "$work/still.png" "$2"
    done
}

# expect_exit PID LOG: the program ends by itself within ten seconds, with status 0.
expect_exit() {
    for _ in $(seq 100); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$1" 2>/dev/null && fail "EXIT did not end the panel"
    wait "$1" || fail "the panel ended with status $?: $(cat "$2")"
}

# check_chart FIRST SECOND CROP: the chart's pixels changed between two screenshots, and it
# holds more than a background and a grid.
check_chart() {
    local changed colours
    convert "$1" -crop "$3" +repage "$work/first-chart.png"
    convert "$2" -crop "$3" +repage "$work/second-chart.png"
    changed=$(compare -metric AE "$work/first-chart.png" "$work/second-chart.png" null: 2>&1 || true)
    echo "e2e: $changed chart pixels changed in one second"
    [ "${changed%%.*}" -gt 200 ] 2>/dev/null || fail "the traces do not move ($changed pixels changed)"
    colours=$(convert "$work/second-chart.png" -format %k info:)
    echo "e2e: $colours colours in the chart"
    [ "$colours" -ge 4 ] || fail "the chart shows no traces"
}
