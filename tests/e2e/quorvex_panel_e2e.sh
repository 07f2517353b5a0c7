#!/usr/bin/env bash
# The Quorvex panel as a technician uses it: a simulated amplifier plugged in with its wire log
# on, the panel on a private X server, SCROLL, Mode to "EEG", two screenshots a second apart
# (the traces must move), then EXIT. Checks the commands on the wire and the chart's pixels.
# Usage: quorvex_panel_e2e.sh QUORVEX AMPSIM OUTDIR
set -euo pipefail
quorvex=$1
ampsim=$2
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

# A display number nobody uses.
for n in $(seq 91 199); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=$n; break; }
done
[ -n "${display:-}" ] || fail "no free X display number"
Xvfb ":$display" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
export DISPLAY=":$display"
unset QT_QPA_PLATFORM
export AMP_RUNTIME_DIR="$work/run" AMP_BUS=ampsim

"$ampsim" --model quorvex --log "$work/wire.jsonl" >"$work/ampsim.log" 2>&1 &
sim=$!
pids+=($sim)
for _ in $(seq 100); do ls "$AMP_RUNTIME_DIR"/*.sock >/dev/null 2>&1 && break; sleep 0.1; done
ls "$AMP_RUNTIME_DIR"/*.sock >/dev/null 2>&1 || fail "ampsim did not plug in: $(cat "$work/ampsim.log")"

"$quorvex" >"$work/quorvex.log" 2>&1 &
panel=$!
pids+=($panel)
window=$(timeout 20 xdotool search --sync --onlyvisible --name "Quorvex Test Utility" | head -1) ||
    fail "the panel did not open: $(cat "$work/quorvex.log")"
sleep 1.5  # start-up: power on, version, calibration (1.5 s of waits)

# Dialog units to pixels: x * 1.5, y * 1.625 from the client area's corner.
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; sleep 0.3; }
click 644 336                           # SCROLL (399, 198, 60, 17)
click 358 344                           # Mode: the "EEG" label above the knob (203, 204, 71, 64)
sleep 2
import -window "$window" "$work/first.png"
sleep 1
import -window "$window" "$work/second.png"
cp "$work/second.png" "$out/quorvex.png"
click 780 422                           # EXIT (490, 251, 60, 17)
for _ in $(seq 100); do kill -0 "$panel" 2>/dev/null || break; sleep 0.1; done
kill -0 "$panel" 2>/dev/null && fail "EXIT did not end the panel"
wait "$panel" || fail "the panel ended with status $?: $(cat "$work/quorvex.log")"
kill "$sim"
wait "$sim" 2>/dev/null || true

# The commands the panel sent, first byte of each packet on the bulk OUT endpoint.
sent=$(grep '"dir": *"out"' "$work/wire.jsonl" | grep '"ep": *"0x01"' |
       sed 's/.*"hex": *"\([0-9a-f]*\).*/\1/' | tr '\n' ' ')
echo "e2e: sent $sent"
expected="01 15 09 0a 0a 03 0b 02 "
[ "${sent% }" != "" ] || fail "nothing on the wire"
# Start-up may repeat the version query; after it the order is fixed.
echo "$sent" | grep -Eq '^01 (15 )+09 0a 0a 03 0b 02 $' || fail "expected $expected, got $sent"

# The chart (8, 5, 541, 185): its pixels changed between the shots, and it holds more than a
# background and a grid.
crop=812x300+12+8
convert "$work/first.png" -crop "$crop" +repage "$work/first-chart.png"
convert "$work/second.png" -crop "$crop" +repage "$work/second-chart.png"
changed=$(compare -metric AE "$work/first-chart.png" "$work/second-chart.png" null: 2>&1 || true)
echo "e2e: $changed chart pixels changed in one second"
[ "${changed%%.*}" -gt 200 ] 2>/dev/null || fail "the traces do not move ($changed pixels changed)"
colours=$(convert "$work/second-chart.png" -format %k info:)
echo "e2e: $colours colours in the chart"
[ "$colours" -ge 4 ] || fail "the chart shows no traces"
echo "e2e: passed"
