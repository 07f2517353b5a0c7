# Sourced by the end-to-end scripts: a work folder and the processes to end with it, a private X
# server, a simulated amplifier with its wire log, and the checks on what came out of a run.
work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "e2e: $*" >&2; exit 1; }

# start_x FIRST LAST: Xvfb on the first free display number of the range; the programs reach
# amplifiers only through ampsim sockets in a folder of their own.
start_x() {
    local n display=
    for n in $(seq "$1" "$2"); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=$n; break; }
    done
    [ -n "$display" ] || fail "no free X display number"
    Xvfb ":$display" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
    export DISPLAY=":$display"
    unset QT_QPA_PLATFORM
    export AMP_RUNTIME_DIR="$work/run" AMP_BUS=ampsim
    mkdir -p -m 700 "$AMP_RUNTIME_DIR"
}

# plug_ampsim AMPSIM MODEL: plugs a simulated amplifier in, its wire log in $work/wire.jsonl;
# its pid in $sim.
plug_ampsim() {
    "$1" --model "$2" --log "$work/wire.jsonl" >"$work/ampsim.log" 2>&1 &
    sim=$!
    pids+=($sim)
    for _ in $(seq 100); do ls "$AMP_RUNTIME_DIR"/*.sock >/dev/null 2>&1 && break; sleep 0.1; done
    ls "$AMP_RUNTIME_DIR"/*.sock >/dev/null 2>&1 || fail "ampsim did not plug in: $(cat "$work/ampsim.log")"
}

# The commands sent, first byte of each packet on the bulk OUT endpoint, as "01 15 ... ".
sent_commands() {
    grep '"dir": *"out"' "$work/wire.jsonl" | grep '"ep": *"0x01"' |
        sed 's/.*"hex": *"\([0-9a-f]*\).*/\1/' | tr '\n' ' '
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
