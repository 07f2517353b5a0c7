#!/usr/bin/env bash
# The panels under a real X server: each program on a private Xvfb against a simulated amplifier
# at 64 and 1024 packets per second, SCROLL clicked, and the CPU time of the panel and of the X
# server over the streaming, as shares of one core beside the goals. Then the same share with the
# stream stopped (what is left to draw after a stop, and idle), the panel's memory before and
# after, the panel's context switches per packet (threads woken and put to sleep), and the offscreen
# pipeline's figure for comparison.
# Usage: bench_display.sh QUORVEX PELLION AMPSIM BENCH_PIPELINE
# BENCH_SECONDS sets the streaming time of a row (default 20).
set -uo pipefail
declare -A panel_program=([quorvex]=$1 [pellion]=$2)
ampsim=$3 pipeline=$4
seconds=${BENCH_SECONDS:-20}

for tool in Xvfb xdotool import compare; do
    if ! command -v "$tool" >/dev/null; then
        echo "display benchmark skipped: $tool is not installed (scripts/install-deps installs it)"
        exit 0
    fi
done

work=$(mktemp -d)
pids=()
stop_all() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
    pids=()
}
trap 'stop_all; rm -rf "$work"' EXIT

# CPU time of every thread of a process so far, in microseconds, from the scheduler's own count.
cpu_us() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ns += $1} END {printf "%d", ns / 1000}'; }
rss_kb() { awk '/^VmRSS/ {print $2}' /proc/"$1"/status 2>/dev/null; }
# Context switches of every thread of a process so far: each is a thread put to sleep or woken.
switches() { cat /proc/"$1"/task/*/status 2>/dev/null | awk '/ctxt_switches/ {n += $2} END {printf "%d", n}'; }
now_us() { date +%s%6N; }
share() { awk -v c="$1" -v t="$2" 'BEGIN {printf "%.2f", (t > 0) ? 100 * c / t : 0}'; }

# click WINDOW "X Y": a left click at window coordinates.
click() { xdotool mousemove --window "$1" "${2% *}" "${2#* }" click 1; }

# The chart's pixels moved between two screenshots half a second apart.
chart_moves() {
    import -window "$1" -crop "$2" +repage "$work/a.png" 2>/dev/null
    sleep 0.5
    import -window "$1" -crop "$2" +repage "$work/b.png" 2>/dev/null
    local changed
    changed=$(compare -metric AE "$work/a.png" "$work/b.png" null: 2>&1 || true)
    [ "${changed%%.*}" -gt 100 ] 2>/dev/null
}

# row PROGRAM RATE PACKETS GOAL: one program at one rate on its own X server and amplifier.
row() {
    local program=$1 rate=$2 packets=$3 goal=$4
    local display="" x panel window scroll power chart
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    x=$!
    pids+=("$x")
    for _ in $(seq 300); do display=$(head -1 "$work/display" 2>/dev/null); [ -n "$display" ] && break; sleep 0.1; done
    if [ -z "$display" ]; then
        printf '%-8s %8s   the X server did not start\n' "$program" "$packets"
        stop_all
        return
    fi
    export DISPLAY=":$display" AMP_RUNTIME_DIR="$work/run-$program-$rate" AMP_BUS=ampsim
    unset QT_QPA_PLATFORM
    mkdir -m 700 "$AMP_RUNTIME_DIR"
    "$ampsim" --model "$program" --rate "$rate" >"$work/ampsim.log" 2>&1 &
    pids+=("$!")
    for _ in $(seq 100); do ls "$AMP_RUNTIME_DIR"/*.sock >/dev/null 2>&1 && break; sleep 0.1; done
    "${panel_program[$program]}" >"$work/panel.log" 2>&1 &
    panel=$!
    pids+=("$panel")
    window=$(timeout 60 xdotool search --sync --onlyvisible --name "${program^} Test Utility" | head -1)
    if [ -z "$window" ]; then
        printf '%-8s %8s   the panel did not open: %s\n' "$program" "$packets" "$(tail -1 "$work/panel.log")"
        stop_all
        return
    fi
    # Window coordinates of SCROLL, POWER and the chart; the Quorvex powers itself on at start-up.
    if [ "$program" = quorvex ]; then
        scroll="644 336" power="" chart="811x300+12+8"
    else
        scroll="682 332" power="682 373" chart="825x252+12+8"
    fi
    sleep 3
    if [ -n "$power" ]; then
        click "$window" "$power"
        sleep 2
    fi
    local idle0 idlet0 idle
    idle0=$(cpu_us "$panel") idlet0=$(now_us)
    sleep 3
    idle=$(share $(($(cpu_us "$panel") - idle0)) $(($(now_us) - idlet0)))
    # A click can fall beside the switch on a loaded machine: clicked again while the chart stands.
    local started=no
    for _ in 1 2 3; do
        click "$window" "$scroll"
        sleep 1
        if chart_moves "$window" "$chart" || { sleep 1 && chart_moves "$window" "$chart"; }; then
            started=yes
            break
        fi
    done
    if [ "$started" = no ]; then
        printf '%-8s %8s   the stream did not start\n' "$program" "$packets"
        stop_all
        return
    fi
    sleep 1
    local p0 x0 t0 r0 c0 p1 x1 t1 r1 c1
    p0=$(cpu_us "$panel") x0=$(cpu_us "$x") t0=$(now_us) r0=$(rss_kb "$panel") c0=$(switches "$panel")
    sleep "$seconds"
    p1=$(cpu_us "$panel") x1=$(cpu_us "$x") t1=$(now_us) r1=$(rss_kb "$panel") c1=$(switches "$panel")
    click "$window" "$scroll"
    sleep 0.5
    local s0 sx0 st0 after afterx moving
    s0=$(cpu_us "$panel") sx0=$(cpu_us "$x") st0=$(now_us)
    sleep 3
    after=$(share $(($(cpu_us "$panel") - s0)) $(($(now_us) - st0)))
    afterx=$(share $(($(cpu_us "$x") - sx0)) $(($(now_us) - st0)))
    if chart_moves "$window" "$chart"; then moving=yes; else moving=no; fi

    local ps xs sum verdict perpacket
    perpacket=$(awk -v c=$((c1 - c0)) -v t=$((t1 - t0)) -v r="$packets" 'BEGIN {printf "%.1f", c / (t / 1e6 * r)}')
    ps=$(share $((p1 - p0)) $((t1 - t0)))
    xs=$(share $((x1 - x0)) $((t1 - t0)))
    sum=$(awk -v a="$ps" -v b="$xs" 'BEGIN {printf "%.2f", a + b}')
    verdict=$(awk -v s="$sum" -v g="$goal" 'BEGIN {print (s < g) ? "pass" : "FAIL"}')
    printf '%-8s %8s %9s %9s %9s %8s %7s %8s   %5s %5s %6s %5s   %6s -> %6s\n' "$program" "$packets" "$ps" "$xs" "$sum" \
        "< $goal" "$verdict" "$perpacket" "$after" "$afterx" "$moving" "$idle" "$r0" "$r1"
    stop_all
}

echo "panels under Xvfb, ${seconds} s of streaming a row; CPU time as % of one core, from the scheduler"
load=$(cut -d' ' -f1 /proc/loadavg)
awk -v l="$load" 'BEGIN {exit !(l > 1.0)}' &&
    echo "note: the machine is busy (load average $load): shares run high; measure on an idle machine"
printf '%-8s %8s %9s %9s %9s %8s %7s %8s   %5s %5s %6s %5s   %s\n' program packet/s panel "X server" sum goal result \
    switches "after stop:" "" chart idle "panel RSS kB"
printf '%-8s %8s %9s %9s %9s %8s %7s %8s   %5s %5s %6s %5s   %s\n' "" "" "" "" "" "" "" /packet panel X moves "" \
    "start -> end"
for program in quorvex pellion; do
    row "$program" 256 64 1.5
    row "$program" 4096 1024 10
done

# The same data path without a display server, for comparison.
figure=$(QT_QPA_PLATFORM=offscreen "$pipeline" 2>/dev/null | sed -n 's/.*CPU share of the process: \([0-9.]*\) %.*/\1/p')
echo "offscreen pipeline (bench_pipeline, Quorvex, 64 packets/s, one process): ${figure:-?} % of one core"
