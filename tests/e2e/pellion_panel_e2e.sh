#!/usr/bin/env bash
# The Pellion panel as a technician meets it: started with no amplifier attached (one message,
# the window stays), POWER clicked and refused again, then a simulated Pellion plugged in while
# the window is open; POWER, SCROLL, Mode to "EEG", Notch Filter to "OFF", two screenshots a
# second apart, EXIT. Checks the messages, the commands on the wire and the chart's pixels.
# Usage: pellion_panel_e2e.sh PELLION AMPSIM OUTDIR
set -euo pipefail
# shellcheck source=tests/e2e/x_session.sh
source "$(dirname "$0")/x_session.sh"
start_x

# The message box is a window of its own, named after the program; OK sits at its lower right.
boxes=0
dismiss_box() {
    local box
    box=$(timeout 10 xdotool search --sync --onlyvisible --name '^pellion$' | head -1) || fail "no message box ($1)"
    still_shot "$box" "$work/box$boxes.png"
    eval "$(xdotool getwindowgeometry --shell "$box")"
    press_to_close "$box" $((WIDTH - 38)) $((HEIGHT - 22)) '^pellion$' "$1"
    boxes=$((boxes + 1))
}

"$program" >"$work/pellion.log" 2>&1 &
panel=$!
pids+=("$panel")
dismiss_box "start-up with no amplifier"
window=$(timeout 20 xdotool search --sync --onlyvisible --name "Pellion Test Utility" | head -1) ||
    fail "the panel did not stay open: $(cat "$work/pellion.log")"

# Dialog units to pixels: x * 1.5, y * 1.625 from the client area's corner.
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; sleep 0.3; }
# power_led FILE: "lit" or "dark", from the green in the middle of POWER's LED (648, 373).
power_led() {
    local green
    green=$(convert "$1" -crop 5x5+646+371 +repage -resize 1x1 -format '%[fx:int(100*g)]' info:)
    [ "$green" -ge 70 ] && echo lit || echo dark
}
click 682 373                           # POWER (425, 221, 60, 17): still no amplifier
dismiss_box "POWER with no amplifier"
kill -0 "$panel" 2>/dev/null || fail "the panel ended without an amplifier"
# The latching switch lit its LED on the press; the refused power-on puts it out again.
still_shot "$window" "$work/refused.png"
[ "$(power_led "$work/refused.png")" = dark ] || fail "POWER lit after a refused power-on"

plug_ampsim "$ampsim" pellion
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
[ "$(power_led "$work/second.png")" = lit ] || fail "POWER dark while the amplifier is on and streaming"
click 785 373                           # EXIT (497, 221, 53, 17)
expect_exit "$panel" "$work/pellion.log"
kill "$sim"
wait "$sim" 2>/dev/null || true

[ "$boxes" -eq 2 ] || fail "expected two messages, saw $boxes"
sent=$(sent_commands)
echo "e2e: sent $sent"
# Nothing at start-up; power-on is 1, 4 and one version query (the simulator answers it).
# The worker's own start may go out after a switch's command on a busy machine.
echo "$sent" | grep -Eq '^01 04 15 0a (0a 03 14|03 0a 14|03 14 0a) 0b 02 $' ||
    fail "expected 01 04 15 0a 0a 03 14 0b 02, got $sent"

# The chart (7, 5, 550, 155).
check_chart "$work/first.png" "$work/second.png" 825x252+10+8
echo "e2e: passed"
