#!/usr/bin/env bash
# A panel on a bench that is not kind to it, each time mid-stream: the amplifier unplugged and
# plugged back in (the LEDs show it closed and unpowered; POWER and SCROLL stream again), SIGTERM
# (the worker's stop before power-off, status 0), and the window killed through the X server
# (the same, without a crash), and the window destroyed by another X client. Checks the commands
# on the wire, the LEDs' pixels and the chart's.
# Usage: amplifier_faults_e2e.sh PROGRAM AMPSIM OUTDIR
set -euo pipefail
# shellcheck source=tests/e2e/x_session.sh
source "$(dirname "$0")/x_session.sh"
start_x
name=$(basename "$program")

# Dialog units to pixels: x * 1.5, y * 1.625 from the client area's corner; the LEDs sit at the
# switches' left ends.
if [ "$name" = quorvex ]; then
    title="Quorvex Test Utility" power="780 335" scroll="644 336" exit_button="780 422"
    power_led=745,336 scroll_led=608,336 chart=812x300+12+8
    start_up='01 (15 )+09 ' first_power='' power_on='01 09 '
else
    title="Pellion Test Utility" power="682 373" scroll="682 332" exit_button="785 373"
    power_led=648,373 scroll_led=648,333 chart=825x252+10+8
    start_up='' first_power='01 04 15 (15 )?' power_on='01 04 15 (15 )?'
fi

# An ampsim that takes "unplug" and "plug" from a pipe; a fresh wire log each time.
plug_piped_ampsim() {
    rm -f "$work/sim-in"
    mkfifo "$work/sim-in"
    "$ampsim" --model "$name" --log "$work/wire.jsonl" <"$work/sim-in" >"$work/ampsim.log" 2>&1 &
    sim=$!
    pids+=("$sim")
    exec 5>"$work/sim-in"
    for _ in $(seq 100); do ls "$AMP_RUNTIME_DIR"/*.sock >/dev/null 2>&1 && break; sleep 0.1; done
    ls "$AMP_RUNTIME_DIR"/*.sock >/dev/null 2>&1 || fail "ampsim did not plug in: $(cat "$work/ampsim.log")"
}
end_ampsim() {
    exec 5>&-
    kill "$sim" 2>/dev/null || true
    wait "$sim" 2>/dev/null || true
}

click() { xdotool mousemove --window "$window" "$1" "$2" click 1; sleep 0.4; }
# lit SHOT X,Y: the LED there is lit (its green is bright).
lit() { [ "$(convert "$1" -format "%[fx:int(255*p{$2}.g)]" info:)" -gt 150 ]; }

# start_panel: the panel up with its amplifier, powered, streaming.
start_panel() {
    "$program" >"$work/panel.log" 2>&1 &
    panel=$!
    pids+=("$panel")
    window=$(open_window "$title" "start-up" 20)
    if [ "$name" = quorvex ]; then
        wait_sent "^${start_up}\$" "start-up"
    else
        click $power
        wait_sent "^${power_on}\$" "POWER"
    fi
    sleep 0.3
    click $scroll
    wait_sent '0a 0a $' "SCROLL"
    sleep 1
}

# 1. Unplugged mid-stream, plugged back in: POWER and SCROLL stream again.
plug_piped_ampsim
start_panel
echo unplug >&5
sleep 1.5
still_shot "$window" "$work/unplugged.png"
cp "$work/unplugged.png" "$out/$name-unplugged.png"
lit "$work/unplugged.png" $power_led && fail "POWER stays lit with the amplifier unplugged"
lit "$work/unplugged.png" $scroll_led || fail "SCROLL does not show the stream stopped"
kill -0 "$panel" 2>/dev/null || fail "the panel ended when the amplifier went away"
echo plug >&5
sleep 1.5                               # the panel's bus notices the socket again
click $power
click $scroll
sleep 2
import -window "$window" "$work/first.png"
sleep 1
import -window "$window" "$work/second.png"
cp "$work/second.png" "$out/$name-plugged-again.png"
lit "$work/second.png" $power_led || fail "POWER is not lit after it was switched on again"
check_chart "$work/first.png" "$work/second.png" $chart
click $exit_button
expect_exit "$panel" "$work/panel.log"
sent=$(sent_commands)
echo "e2e: unplug and plug: sent $sent"
echo "$sent" | grep -Eq "^${start_up}${first_power}0a 0a ${power_on}0a 0a 0b 02 \$" ||
    fail "expected start-up, SCROLL, POWER and SCROLL again, then 0b 02; got $sent"
end_ampsim

# 2. SIGTERM mid-stream: the worker's stop, then power-off, and status 0.
plug_piped_ampsim
start_panel
kill -TERM "$panel"
expect_exit "$panel" "$work/panel.log"
sent=$(sent_commands)
echo "e2e: SIGTERM: sent $sent"
echo "$sent" | grep -Eq '0a 0a 0b 02 $' || fail "SIGTERM mid-stream: expected 0b then 02 last, got $sent"
end_ampsim

# 3. The window killed through the X server mid-stream: the same order, no crash.
plug_piped_ampsim
start_panel
xdotool windowkill "$window"
expect_exit "$panel" "$work/panel.log"
sent=$(sent_commands)
echo "e2e: windowkill: sent $sent"
echo "$sent" | grep -Eq '0a 0a 0b 02 $' || fail "window killed mid-stream: expected 0b then 02 last, got $sent"
grep -Eq 'terminate called|Segmentation|AddressSanitizer|ThreadSanitizer' "$work/panel.log" &&
    fail "the panel did not end cleanly: $(cat "$work/panel.log")"
end_ampsim

# 4. The window destroyed by another X client, the connection left standing: the same.
plug_piped_ampsim
start_panel
xdotool windowclose "$window"
expect_exit "$panel" "$work/panel.log"
sent=$(sent_commands)
echo "e2e: windowclose: sent $sent"
echo "$sent" | grep -Eq '0a 0a 0b 02 $' || fail "window destroyed mid-stream: expected 0b then 02 last, got $sent"
end_ampsim
echo "e2e: passed"
