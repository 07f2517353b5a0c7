#!/usr/bin/env bash
# `make run` on a machine without a display: scripts/run-panel plugs in a simulated Quorvex and
# starts the panel, which serves itself over VNC on 127.0.0.1 and says where in one line. Checks
# that only the loopback address listens, that Debian's vncsnapshot takes the panel from the
# first frame it gets (red and blue in place), that a viewer keeping the server's pixel format
# is served as well, that a second panel takes another port, and, with a small viewer of our
# own, that clicks reach the panel: SCROLL starts the stream on the wire and the traces move,
# EXIT powers the amplifier off and ends the run.
# Usage: vnc_panel_e2e.sh RUN_PANEL BIN_DIR VNC_CLIENT OUTDIR
set -euo pipefail
run_panel=$1 bin=$2 client=$3 out=$4
mkdir -p "$out"
work=$(mktemp -d)
pids=()
# run-panel waits for the panel before its own trap unplugs ampsim: its children go first.
cleanup() {
    for p in "${pids[@]}"; do
        for child in $(pgrep -P "$p"); do kill "$child" 2>/dev/null || true; done
        kill "$p" 2>/dev/null || true
    done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "e2e: $*" >&2
    cat "$work"/*.log >&2 2>/dev/null || true
    exit 1
}

unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export AMP_RUNTIME_DIR="$work/run" AMP_BUS=ampsim
mkdir -p -m 700 "$AMP_RUNTIME_DIR"

AMP_BIN=$bin AMPSIM_ARGS="--log $work/wire.jsonl" "$run_panel" quorvex >"$work/run.log" 2>&1 &
run=$!
pids+=("$run")

# served_port LOG WHAT: the port of the one line the panel prints, waited for up to 20 seconds.
served_port() {
    local line
    for _ in $(seq 200); do
        line=$(grep -E '^no display: the panel is served at 127\.0\.0\.1:[0-9]+ \(any VNC viewer\)$' "$1" || true)
        [ -n "$line" ] && { echo "$line" | sed 's/.*:\([0-9]*\) .*/\1/'; return; }
        sleep 0.1
    done
    fail "$2 did not say where it is served"
}
port=$(served_port "$work/run.log" "quorvex")
panel=$(pgrep -P "$run" -x quorvex) || fail "no quorvex under run-panel"
echo "e2e: served at 127.0.0.1:$port"

sent_commands() {
    grep '"dir": *"out"' "$work/wire.jsonl" | grep '"ep": *"0x01"' |
        sed 's/.*"hex": *"\([0-9a-f]*\).*/\1/' | tr '\n' ' '
}
wait_sent() {
    for _ in $(seq 100); do sent_commands | grep -Eq "$1" && return; sleep 0.1; done
    fail "$2: sent $(sent_commands)"
}
wait_sent '^01 (15 )+09 $' "start-up"

# Every listening socket of the panel is on the loopback address (IPv4, IPv6 or IPv4-mapped).
inodes=$(find "/proc/$panel/fd" -lname 'socket:*' -printf '%l\n' | sed 's/socket:\[\([0-9]*\)\]/\1/' | sort -u)
listening=$(awk 'FNR > 1 && $4 == "0A" { print $10, $2 }' /proc/net/tcp /proc/net/tcp6 |
    while read -r inode local; do echo "$inodes" | grep -qx "$inode" && echo "$local"; done)
[ -n "$listening" ] || fail "the panel listens nowhere"
echo "$listening" | grep -Evq '^(0100007F|00000000000000000000000001000000|0000000000000000FFFF00000100007F):' &&
    fail "the panel listens beyond the loopback address: $listening"
echo "$listening" | grep -q ":$(printf %04X "$port")$" || fail "nothing listens on port $port: $listening"

# The first frame Debian's viewer gets, taken as it comes (-allowblank): the panel, drawn.
timeout 20 vncsnapshot -quiet -allowblank "127.0.0.1::$port" "$work/first.png" >"$work/vncsnapshot.log" 2>&1 ||
    fail "vncsnapshot failed"
read -r size deviation < <(identify -format '%wx%h %[fx:standard_deviation]\n' "$work/first.png")
[ "$size" = 842x457 ] || fail "the VNC screen is $size, not the panel's 842x457"
awk -v d="$deviation" 'BEGIN { exit !(d > 0.1) }' || fail "a blank frame (standard deviation $deviation)"
cp "$work/first.png" "$out/vnc-first-frame.png"

# colour FILE X Y: the pixel as "R G B", 0-255.
colour() { convert "$1" -format "%[fx:int(255*p{$2,$3}.r)] %[fx:int(255*p{$2,$3}.g)] %[fx:int(255*p{$2,$3}.b)]" info:; }
# near FILE X Y R G B WHAT: within 24 of each channel (the screen has 16-bit colour).
near() {
    local got r g b
    got=$(colour "$1" "$2" "$3")
    read -r r g b <<<"$got"
    [ $((r > $4 ? r - $4 : $4 - r)) -le 24 ] && [ $((g > $5 ? g - $5 : $5 - g)) -le 24 ] &&
        [ $((b > $6 ? b - $6 : $6 - b)) -le 24 ] || fail "$7: $got at $2,$3, expected about $4 $5 $6"
}
# The chart's pale screen, the panel's dark face, the EXIT button's face: where the Quorvex
# panel has them, in their colours (red and blue not swapped).
near "$work/first.png" 400 150 216 220 216 "chart screen"
near "$work/first.png" 575 330 52 54 58 "panel face"
near "$work/first.png" 13 150 24 24 112 "chart frame"

# A viewer that keeps the server's pixel format (16 bits) gets the panel too, and the panel lives.
"$client" --server-format "$port" shot "$work/server-format.ppm" || fail "the viewer failed"
near "$work/server-format.ppm" 13 150 24 24 112 "chart frame in the server's format"
kill -0 "$panel" || fail "a viewer in the server's pixel format ended the panel"

# A second panel while the first serves: the next free port, not the first one's.
"$bin/pellion" >"$work/pellion.log" 2>&1 &
second=$!
pids+=("$second")
second_port=$(served_port "$work/pellion.log" "pellion")
[ "$second_port" -gt "$port" ] || fail "the second panel took port $second_port, the first has $port"
kill "$second"

# Clicks through VNC: SCROLL (399, 198, 60, 17 dialog units) starts the stream.
"$client" "$port" shot "$work/before.ppm" click 643 335 wait 300 || fail "the viewer failed"
wait_sent '^01 (15 )+09 0a 0a $' "SCROLL clicked through VNC"
sleep 1
"$client" "$port" shot "$work/streaming1.ppm" wait 1000 shot "$work/streaming2.ppm" || fail "the viewer failed"
convert "$work/streaming2.ppm" "$out/vnc-streaming.png"
convert "$work/streaming1.ppm" -crop 806x290+18+14 +repage "$work/chart1.png"
convert "$work/streaming2.ppm" -crop 806x290+18+14 +repage "$work/chart2.png"
changed=$(compare -metric AE "$work/chart1.png" "$work/chart2.png" null: 2>&1 || true)
echo "e2e: $changed chart pixels changed in one second"
[ "${changed%%.*}" -gt 200 ] 2>/dev/null || fail "the traces do not move over VNC ($changed pixels changed)"

# EXIT (490, 251, 60, 17): stream stopped, power off, the panel and the run end by themselves.
"$client" "$port" click 780 422 || fail "the viewer failed"
for _ in $(seq 100); do kill -0 "$run" 2>/dev/null || break; sleep 0.1; done
kill -0 "$run" 2>/dev/null && fail "EXIT clicked through VNC did not end the run"
wait "$run" || fail "run-panel ended with status $?"
wait_sent '^01 (15 )+09 0a 0a 0b 02 $' "EXIT clicked through VNC"
echo "e2e: sent $(sent_commands)"
