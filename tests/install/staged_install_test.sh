#!/usr/bin/env bash
# The install a user gets, staged with DESTDIR under /usr: the files where the desktop and Debian
# expect them; the installed ampinfo reading the installed ampsim and the installed device table,
# also after the whole tree has moved; desktop-file-validate and appstreamcli on the desktop
# entries and metainfo; every manual page rendering without a warning and naming every option its
# program's --help names.
# Usage: staged_install_test.sh BUILD_DIR PROGRAM...
set -euo pipefail
build=$1
shift
programs=("$@")
work=$(mktemp -d)
sim=
cleanup() {
    [ -n "$sim" ] && { kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; }
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "install: $*" >&2; exit 1; }
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM AMP_USB_IDS AMP_USB_IDS_FILE AMP_DATA_DIR

DESTDIR="$work/stage" cmake --install "$build" --prefix /usr >"$work/install.log" || fail "cmake --install failed: $(cat "$work/install.log")"
root=$work/stage/usr

for f in \
    bin/quorvex bin/pellion bin/ampsim bin/ampinfo \
    share/ampbench/amp-usb-ids share/ampbench/skins/Tavorin.skf \
    lib/udev/rules.d/70-ampbench-amplifiers.rules \
    share/applications/org.ampbench.quorvex.desktop share/applications/org.ampbench.pellion.desktop \
    share/metainfo/org.ampbench.quorvex.metainfo.xml share/metainfo/org.ampbench.pellion.metainfo.xml \
    share/icons/hicolor/16x16/apps/org.ampbench.quorvex.png share/icons/hicolor/256x256/apps/org.ampbench.pellion.png \
    share/man/man1/quorvex.1.gz share/man/man1/pellion.1.gz share/man/man1/ampsim.1.gz share/man/man1/ampinfo.1.gz; do
    [ -f "$root/$f" ] || fail "not installed: /usr/$f"
done
for p in "${programs[@]}"; do
    [ -x "$root/bin/$p" ] || fail "not installed: /usr/bin/$p"
    [ -f "$root/share/man/man1/$p.1.gz" ] || fail "no manual page for $p"
done
for size in 16 24 32 48 64 128 256; do
    for panel in quorvex pellion; do
        icon=$root/share/icons/hicolor/${size}x${size}/apps/org.ampbench.$panel.png
        [ "$(identify -format '%wx%h' "$icon")" = "${size}x${size}" ] || fail "$icon is not ${size}x${size}"
    done
done
# The icon is the program's own: the red power lamp under the screen (8, 25 in 32 x 32 pixels).
[ "$(convert "$root/share/icons/hicolor/32x32/apps/org.ampbench.quorvex.png" -format '%[pixel:p{8,25}]' info:)" = "srgba(230,40,30,1)" ] ||
    fail "the Quorvex icon is not the program's icon"
grep -qx 'SUBSYSTEM=="usb", ENV{DEVTYPE}=="usb_device", ATTR{idVendor}=="1209", ATTR{idProduct}=="a404", TAG+="uaccess"' \
    "$root/lib/udev/rules.d/70-ampbench-amplifiers.rules" || fail "the udev rule does not give the Quorvex's ids uaccess"

# The desktop's own checkers.
for f in "$root"/share/applications/*.desktop; do
    desktop-file-validate "$f" || fail "desktop-file-validate: $f"
done
for f in "$root"/share/metainfo/*.metainfo.xml; do
    appstreamcli validate --no-net "$f" >"$work/appstream.log" 2>&1 || fail "appstreamcli: $(cat "$work/appstream.log")"
done
grep -q '^Exec=quorvex$' "$root/share/applications/org.ampbench.quorvex.desktop" || fail "the Quorvex entry does not start quorvex"
grep -q '^Icon=org.ampbench.quorvex$' "$root/share/applications/org.ampbench.quorvex.desktop" || fail "the Quorvex entry has another icon"

# Manual pages: rendered by man without a warning, and every option of the program's --help in it.
for page in "$root"/share/man/man1/*.1.gz; do
    p=$(basename "$page" .1.gz)
    MANWIDTH=80 man --warnings -l "$page" >"$work/$p.txt" 2>"$work/$p.warnings" || fail "man cannot render $page"
    [ -s "$work/$p.warnings" ] && fail "man warns about $p.1: $(cat "$work/$p.warnings")"
    grep -q "^NAME" "$work/$p.txt" && grep -q "^       $p - " "$work/$p.txt" || fail "$p.1 has no NAME line"
    for option in $("$root/bin/$p" --help | grep -oE -- '(^|[ ,])--?[a-z][a-z-]+' | sed 's/^[ ,]//' | sort -u); do
        grep -qF -- "$option" "$work/$p.txt" || fail "$p.1 lacks $option, which $p --help names"
    done
done

# The installed ampinfo reads the installed ampsim, and the installed table: a line that only the
# staged copy has is reported with the staged path.
check_ampinfo() {
    local bin=$1
    export AMP_RUNTIME_DIR="$work/run-$RANDOM"
    mkdir -p -m 700 "$AMP_RUNTIME_DIR"
    "$bin/ampsim" --model pellion >"$work/ampsim.log" 2>&1 &
    sim=$!
    for _ in $(seq 100); do ls "$AMP_RUNTIME_DIR"/*.sock >/dev/null 2>&1 && break; sleep 0.1; done
    AMP_BUS=libusb,ampsim "$bin/ampinfo" >"$work/ampinfo.out" 2>"$work/ampinfo.err" ||
        fail "installed ampinfo: $(cat "$work/ampinfo.err")"
    grep -q 'product          "PLLN-2 EEG Amplifier"' "$work/ampinfo.out" || fail "installed ampinfo did not read ampsim: $(cat "$work/ampinfo.out")"
    grep -qF "$(dirname "$bin")/share/ampbench/amp-usb-ids:$extra: not a \`VID:PID model\` line" "$work/ampinfo.err" ||
        fail "installed ampinfo did not read the installed table: $(cat "$work/ampinfo.err")"
    kill "$sim"
    wait "$sim" 2>/dev/null || true
    sim=
}
table=$root/share/ampbench/amp-usb-ids
extra=$(($(wc -l <"$table") + 1))
echo "only-here" >>"$table"
check_ampinfo "$root/bin"
mv "$work/stage/usr" "$work/moved"
check_ampinfo "$work/moved/bin"
echo "install: $(find "$work/moved" -type f | wc -l) files, checked"
