#!/usr/bin/env bash
# The Quorvex panel as a technician uses it: a simulated amplifier plugged in with its wire log
# on, the panel on a private X server. Configure: a preset, two step keys and an amplitude, OK;
# About, checked against the amplifier's version record, OK; then SCROLL, Mode to "EEG", two
# screenshots a second apart (the traces must move), and EXIT. Checks the commands and the
# calibration packet on the wire, the dialogs' and the read-outs' pixels, and the chart's.
# Usage: quorvex_panel_e2e.sh QUORVEX AMPSIM OUTDIR
set -euo pipefail
# shellcheck source=tests/e2e/x_session.sh
source "$(dirname "$0")/x_session.sh"
start_x

# A five-digit serial, and versions under ten and over: "%02d" pads only the first.
plug_ampsim "$ampsim" quorvex --serial 10723 --usb-driver 7 --firmware 23

"$program" >"$work/quorvex.log" 2>&1 &
panel=$!
pids+=("$panel")
window=$(open_window "Quorvex Test Utility" "start-up" 20)
# Start-up ends with the calibration packet (power on, version, calibration: 1.5 s of waits).
wait_sent '^01 15 09 $' "start-up"
sleep 0.3

# Dialog units to pixels: x * 1.5, y * 1.625 from the client area's corner.
click() { xdotool mousemove --window "$1" "$2" "$3" click 1; sleep 0.3; }
ink() { convert "$1" -crop "$2" +repage -trim -format '%w %h' info:; }
# at WINDOW X Y WHAT: a dialog stands where its template puts it, from the panel's client corner.
at() {
    local x y
    eval "$(xdotool getwindowgeometry --shell "$window")"
    x=$X y=$Y
    eval "$(xdotool getwindowgeometry --shell "$1")"
    [ $((X - x)) -eq "$2" ] && [ $((Y - y)) -eq "$3" ] || fail "$4 opened at $((X - x)), $((Y - y)), not $2, $3"
}

# The Calibration read-outs, frequency (323, 212, 38, 13) and amplitude (323, 228, 38, 13):
# "10.00" and "50" until OK changes them.
readouts=(frequency 57x21+485+345 amplitude 57x21+485+371)
still_shot "$window" "$work/before.png"

click "$window" 491 425                 # Configure (294, 253, 66, 17)
cal=$(open_window "Calibration Settings" "Configure")
at "$cal" 53 -8 "Calibration Settings"  # (35, -5)
# With no window manager to keep it on the screen its top rows are off it: down for the picture.
xdotool windowmove "$cal" 53 0
still_shot "$cal" "$work/calconfig-opened.png"
click "$cal" 259 215                    # preset "  20.00" (152, 124, 41, 16)
click "$cal" 67 115                     # "+" under the hundreds (35, 64, 19, 13): 120.00
click "$cal" 202 139                    # "-" under the tenths (125, 79, 19, 13): 119.90
click "$cal" 402 65                     # Amplitude: the "15" label, position 3
still_shot "$cal" "$work/calconfig.png"
cp "$work/calconfig.png" "$out/calconfig.png"
press_to_close "$cal" 383 205 "Calibration Settings" "OK"  # (230, 116, 50, 20)
wait_sent '^01 15 09 09 $' "OK after Configure"
still_shot "$window" "$work/after.png"

# 119.9 Hz is the word 128741 (0x01f6e5), trunc(f / 0.000931322575); "15" uV is code 38.
cal_packet=$(sent_packets | grep '^09 ' | sed -n 2p)
[ "$cal_packet" = "09 30 e5 21 f6 32 01 23 00 26" ] ||
    fail "expected the calibration packet 09 30 e5 21 f6 32 01 23 00 26, got $cal_packet"
cp "$work/after.png" "$out/quorvex-calibrated.png"
for ((i = 0; i < ${#readouts[@]}; i += 2)); do
    convert "$work/before.png" -crop "${readouts[i + 1]}" +repage "$work/before-readout.png"
    convert "$work/after.png" -crop "${readouts[i + 1]}" +repage "$work/after-readout.png"
    changed=$(compare -metric AE "$work/before-readout.png" "$work/after-readout.png" null: 2>&1 || true)
    echo "e2e: $changed ${readouts[i]} read-out pixels changed at OK"
    [ "${changed%%.*}" -gt 20 ] 2>/dev/null || fail "the ${readouts[i]} read-out did not change ($changed pixels)"
done

click "$window" 780 384                 # About (490, 228, 60, 17)
about=$(open_window "Quorvex EEG Amplifier" "About")
at "$about" 105 13 "the About box"     # (70, 8)
still_shot "$about" "$work/about.png"
cp "$work/about.png" "$out/about.png"
press_to_close "$about" 397 196 "Quorvex EEG Amplifier" "About"  # OK (240, 112, 49, 17)

# The value labels (209, 41 / 60 / 79, 57, 15) hold "07", "23" and "10723". Without a way to
# read the text, the glyphs check each other: both versions are two digits wide, and the
# serial is five and holds both ("1072" or "7" would not).
usb_crop=85x24+314+67 firmware_crop=85x24+314+98 serial_crop=85x24+314+129
read -r usb_w _ <<<"$(ink "$work/about.png" "$usb_crop")"
read -r firmware_w _ <<<"$(ink "$work/about.png" "$firmware_crop")"
read -r serial_w _ <<<"$(ink "$work/about.png" "$serial_crop")"
echo "e2e: About value widths $usb_w, $firmware_w, $serial_w pixels"
[ "$usb_w" -ge 8 ] && [ "$firmware_w" -ge 8 ] || fail "a version label is empty ($usb_w, $firmware_w pixels)"
[ $((usb_w - firmware_w)) -le 2 ] && [ $((firmware_w - usb_w)) -le 2 ] ||
    fail "the versions differ in digit count ($usb_w, $firmware_w pixels)"
[ $((serial_w * 10)) -ge $((firmware_w * 22)) ] && [ $((serial_w * 10)) -le $((firmware_w * 28)) ] ||
    fail "the serial number is not five digits wide ($serial_w against $firmware_w pixels)"
# Text lands on fractional pixels, so a glyph pair matches where it recurs only closely: about
# 0.02 normalised RMSE against 0.07 for the nearest wrong pair.
convert "$work/about.png" -crop "$serial_crop" +repage "$work/serial.png"
for part in usb firmware; do
    crop=${part}_crop
    convert "$work/about.png" -crop "${!crop}" +repage -trim +repage "$work/$part-ink.png"
    match=$(compare -metric RMSE -dissimilarity-threshold 1 -subimage-search "$work/serial.png" \
                "$work/$part-ink.png" null: 2>&1 || true)
    echo "e2e: the $part version in the serial number: $match"
    error=$(echo "$match" | sed -n 's/.*(\([0-9.e-]*\)) @ \([0-9]*\),.*/\1/p')
    declare "${part}_x=$(echo "$match" | sed -n 's/.* @ \([0-9]*\),.*/\1/p')"
    awk -v e="${error:-1}" 'BEGIN { exit !(e < 0.045) }' ||
        fail "the serial number does not show the $part version's digits ($match)"
done
# "07" is the second and third digits of 10723, "23" the fourth and fifth.
[ "${usb_x:-0}" -lt "${firmware_x:-0}" ] || fail "the serial number's digits are out of order"

click "$window" 644 336                 # SCROLL (399, 198, 60, 17)
click "$window" 358 344                 # Mode: the "EEG" label above the knob (203, 204, 71, 64)
sleep 2
import -window "$window" "$work/first.png"
sleep 1
import -window "$window" "$work/second.png"
cp "$work/second.png" "$out/quorvex.png"
click "$window" 780 422                 # EXIT (490, 251, 60, 17)
expect_exit "$panel" "$work/quorvex.log"
kill "$sim"
wait "$sim" 2>/dev/null || true

sent=$(sent_commands)
echo "e2e: sent $sent"
[ "${sent% }" != "" ] || fail "nothing on the wire"
# Start-up may repeat the version query, and so may About; after them the order is fixed.
echo "$sent" | grep -Eq '^01 15 09 09 15 0a 0a 03 0b 02 $' ||
    fail "expected 01 15 09 09 15 0a 0a 03 0b 02, got $sent"

# The chart (8, 5, 541, 185).
check_chart "$work/first.png" "$work/second.png" 812x300+12+8
echo "e2e: passed"
