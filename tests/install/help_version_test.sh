#!/usr/bin/env bash
# Every installed program answers --help and --version on a machine without a display, with the
# one project version; a panel given a display that cannot be reached refuses in one line.
# Usage: help_version_test.sh BIN_DIR VERSION PANELS -- PROGRAM...
set -euo pipefail
bin=$1 version=$2
shift 2
panels=()
while [ "$1" != -- ]; do panels+=("$1"); shift; done
shift
fail() { echo "help/version: $*" >&2; exit 1; }
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export AMP_RUNTIME_DIR
AMP_RUNTIME_DIR=$(mktemp -d)
trap 'rm -rf "$AMP_RUNTIME_DIR"' EXIT

for p in "$@"; do
    out=$("$bin/$p" --version 2>&1) || fail "$p --version ended with status $?: $out"
    [ "$out" = "$p $version" ] || fail "$p --version says \"$out\", not \"$p $version\""
    out=$("$bin/$p" --help 2>&1) || fail "$p --help ended with status $?: $out"
    grep -q "^Usage: $p \[OPTIONS\]" <<<"$out" || fail "$p --help has no usage line: $out"
    grep -q -- "--version" <<<"$out" || fail "$p --help does not name --version"
done

for p in "${panels[@]}"; do
    out=$("$bin/$p" -h 2>&1) || fail "$p -h ended with status $?"
    grep -q "^Usage: $p" <<<"$out" || fail "$p -h is not the help"
    grep -q "127.0.0.1" <<<"$out" || fail "$p --help does not say where the panel goes without a display"
    # Nothing Qt-specific runs for the answers: not even with a display that does not answer.
    out=$(DISPLAY=:97 "$bin/$p" --version 2>&1) || fail "$p --version with an unreachable display: $out"
    set +e
    out=$(DISPLAY=127.0.0.1:97 timeout 20 "$bin/$p" 2>&1)
    status=$?
    set -e
    [ "$status" -eq 1 ] || fail "$p with an unreachable display ended with status $status: $out"
    [ "$out" = "$p: cannot open display 127.0.0.1:97" ] || fail "$p with an unreachable display said: $out"
done
echo "help/version: $* answer, version $version"
