#!/usr/bin/env bash
# The Pellion panel as a technician meets it: started with no amplifier attached (one message,
# the window stays), POWER clicked and refused again, then a simulated Pellion plugged in while
# the window is open; POWER, SCROLL, Mode to "EEG", Notch Filter to "OFF", two screenshots a
# second apart, EXIT. Checks the messages, the commands on the wire and the chart's pixels.
# Usage: pellion_panel_e2e.sh PELLION AMPSIM OUTDIR
set -euo pipefail
pellion=$1
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

for n in $(seq 201 299); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=$n; break; }
done
[ -n "${display:-}" ] || fail "no free X display number"
Xvfb ":$display" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
export DISPLAY=":$display"
unset QT_QPA_PLATFORM
export AMP_RUNTIME_DIR="$work/run" AMP_BUS=ampsim
mkdir -p -m 700 "$AMP_RUNTIME_DIR"

# The message box is a window of its own, named after the program; OK sits at its lower right.
boxes=0
dismiss_box() {
    local box
    box=$(timeout 10 xdotool search --sync --onlyvisible --name '^pellion$' | head -1) || fail "no message box ($1)"
    import -window "$box" "$work/box$boxes.png"
    eval "$(xdotool getwindowgeometry --shell "$box")"
    xdotool mousemove --window "$box" $((WIDTH - 38)) $((HEIGHT - 22)) click 1
    for _ in $(seq 50); do xdotool search --onlyvisible --name '^pellion$' >/dev/null 2>&1 || break; sleep 0.1; done
    xdotool search --onlyvisible --name '^pellion$' >/dev/null 2>&1 && fail "the message box stayed ($1)"
    boxes=$((boxes + 1))
}

"$pellion" >"$work/pellion.log" 2>&1 &
panel=$!
pids+=($panel)
dismiss_box "start-up with no amplifier"
window=$(timeout 20 xdotool search --sync --onlyvisible --name "Pellion Test Utility" | head -1) ||
    fail "the panel did not stay open: $(cat "$work/pellion.log")"

# Dialog units to pixels: x * 1.5, y * 1.625 from the client area's corner.
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; sleep 0.3; }
click 682 373                           # POWER (425, 221, 60, 17): still no amplifier
dismiss_box "POWER with no amplifier"
kill -0 "$panel" 2>/dev/null || fail "the panel ended without an amplifier"

"$ampsim" --model pellion --log "$work/wire.jsonl" >"$work/ampsim.log" 2>&1 &
sim=$!
pids+=($sim)
for _ in $(seq 100); do ls "$AMP_RUNTIME_DIR"/*.sock >/dev/null 2>&1 && break; sleep 0.1; done
ls "$AMP_RUNTIME_DIR"/*.sock >/dev/null 2>&1 || fail "ampsim did not plug in: $(cat "$work/ampsim.log")"
sleep 1.5                               # the panel's bus notices the new socket

click 682 373                           # POWER: on (250 ms and the version query)
sleep 1
xdotool search --onlyvisible --name '^pellion$' >/dev/null 2>&1 && fail "POWER still finds no amplifier"
click 682 332                           # SCROLL (425, 196, 60, 17)
click 376 302                           # Mode: the "EEG" label above the knob (215, 178, 71, 64)
click 536 318                           # Notch Filter: the "OFF" label right of the knob (299, 178, 71, 64)
sleep 2
import -window "$window" "$work/first.png"
sleep 1
import -window "$window" "$work/second.png"
cp "$work/second.png" "$out/pellion.png"
click 785 373                           # EXIT (497, 221, 53, 17)
for _ in $(seq 100); do kill -0 "$panel" 2>/dev/null || break; sleep 0.1; done
kill -0 "$panel" 2>/dev/null && fail "EXIT did not end the panel"
wait "$panel" || fail "the panel ended with status $?: $(cat "$work/pellion.log")"
kill "$sim"
wait "$sim" 2>/dev/null || true

[ "$boxes" -eq 2 ] || fail "expected two messages, saw $boxes"
sent=$(grep '"dir": *"out"' "$work/wire.jsonl" | grep '"ep": *"0x01"' |
       sed 's/.*"hex": *"\([0-9a-f]*\).*/\1/' | tr '\n' ' ')
echo "e2e: sent $sent"
# Nothing at start-up; power-on is 1, 4, the version query (once more only after a bad reply).
echo "$sent" | grep -Eq '^01 04 15 (15 )?0a 0a 03 14 0b 02 $' ||
    fail "expected 01 04 15 0a 0a 03 14 0b 02, got $sent"

# The chart (7, 5, 550, 155): its pixels changed between the shots, and it holds traces.
crop=825x252+10+8
convert "$work/first.png" -crop "$crop" +repage "$work/first-chart.png"
convert "$work/second.png" -crop "$crop" +repage "$work/second-chart.png"
changed=$(compare -metric AE "$work/first-chart.png" "$work/second-chart.png" null: 2>&1 || true)
echo "e2e: $changed chart pixels changed in one second"
[ "${changed%%.*}" -gt 200 ] 2>/dev/null || fail "the traces do not move ($changed pixels changed)"
colours=$(convert "$work/second-chart.png" -format %k info:)
echo "e2e: $colours colours in the chart"
[ "$colours" -ge 4 ] || fail "the chart shows no traces"
echo "e2e: passed"
