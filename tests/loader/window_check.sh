#!/bin/bash
# The loader's disclaimer dialog as a real window under the X display: starts the loader
# interactively from a temporary medium folder, waits for the "Tarvo Setup" window, checks its
# heading and body from inside Wine (quenda_dialog_probe) and its icon, saves a screenshot,
# presses Enter and checks that the engine was started.
#   window_check.sh <wine-run> <Quenda.exe> <engine.exe> <probe.exe> <version> <artifacts> <work>
# Exit code 77 (skipped) without an X display.
set -u
WINE_RUN=$1 QUENDA=$2 ENGINE=$3 PROBE=$4 VERSION=$5 ARTIFACTS=$6 WORK=$7
. "$(dirname "$0")/../support/window_check.sh"

require_display
"$WINE_RUN" --runnable || exit $?

fail() { echo "FAILED: $*"; exit 1; }

MEDIUM=$(mktemp -d "$WORK/window-check.XXXXXX")
QUENDA_PID=""
cleanup() {
    [ -n "$QUENDA_PID" ] && kill "$QUENDA_PID" 2>/dev/null
    rm -rf "$MEDIUM"
}
trap cleanup EXIT

LOADER="$MEDIUM/Quenda-$VERSION.exe"
cp "$QUENDA" "$LOADER"
cp "$ENGINE" "$MEDIUM/ravell32.dll"
mkdir -p "$MEDIUM/setup" "$ARTIFACTS"
printf 'Tarvo Setup window check (%s).\nThis product comes with no warranty.\n\nPress OK to go on.\n' \
    "$VERSION" >"$MEDIUM/setup/desc.txt"

"$WINE_RUN" "$LOADER" -window-check </dev/null >/dev/null 2>&1 &
QUENDA_PID=$!

WID=$(find_window '^Tarvo Setup$')
[ -n "$WID" ] || fail "no visible \"Tarvo Setup\" window within 60 s"
echo "dialog window: $WID"

"$WINE_RUN" "$PROBE" "$(winpath "$MEDIUM/setup/desc.txt")" </dev/null || fail "dialog content"

# The application icon, as Wine hands it to the X window.
ICONS=$(xprop -id "$WID" _NET_WM_ICON | grep -o 'Icon ([0-9]* x [0-9]*)' | sort -u | tr '\n' ' ')
echo "window icons: $ICONS"
case "$ICONS" in *"Icon (32 x 32)"*) ;; *) fail "the dialog shows no 32 x 32 icon" ;; esac

SHOT="$ARTIFACTS/quenda-disclaimer-$VERSION.png"
import -window root "$SHOT" && echo "screenshot: $SHOT"

# Enter goes to the dialog's focused OK button.
press_until_ended "$WID" Return "$QUENDA_PID" || fail "the loader did not end after OK"
wait "$QUENDA_PID"
STATUS=$?
QUENDA_PID=""
[ "$STATUS" = 0 ] || fail "loader exit code $STATUS"

for _ in $(seq 1 200); do
    [ -s "$MEDIUM/ravell32.log" ] && break
    sleep 0.1
done
[ -s "$MEDIUM/ravell32.log" ] || fail "the engine was not started"
RECEIVED=$(cat "$MEDIUM/ravell32.cmdline.txt")
[ "$RECEIVED" = " -window-check" ] || fail "the engine received \"$RECEIVED\""
echo "engine started with \"$RECEIVED\""
echo "PASSED"
