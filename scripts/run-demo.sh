#!/bin/bash
# The main job: builds both deliverables, makes a demo installation medium under build/demo/
# (the loader, a short disclaimer in setup\desc.txt and a stand-in setup engine as
# ravell32.dll) and runs the loader on it under Wine.
#
#   scripts/run-demo.sh                 batch mode: Quenda.exe /batch setup=<medium>\ravell32.dll
#   scripts/run-demo.sh --interactive   interactive mode: the disclaimer dialog appears (on
#                                       $DISPLAY, or on a private Xvfb when none is set), a
#                                       screenshot is saved as build/demo/disclaimer.png and
#                                       the dialog is confirmed with Enter
#
# Either way the script prints the loader's exit code and the command line that the engine
# received. The medium holds the x86_64 build of the loader (this machine runs only 64-bit
# Windows programs); the 32-bit product is build/i686/Quenda.exe.
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
MODE=batch
case "${1:-}" in
    "") ;;
    --interactive) MODE=interactive ;;
    -h | --help) sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "unknown option: $1 (see --help)" >&2; exit 2 ;;
esac

"$ROOT/scripts/setup-machine.sh"
"$ROOT/scripts/build.sh"

BUILD="$ROOT/build/x86_64"
DEMO="$ROOT/build/demo"
MEDIUM="$DEMO/medium"
ENGINE_BUILT="$BUILD/tests/standins/engine/ravell32.dll"
winpath() { echo "Z:${1//\//\\}"; }

XVFB_PID=""
cleanup() {
    if [ -n "$XVFB_PID" ]; then
        # Let Wine's own processes on the private display end before the display goes.
        WINEPREFIX="$BUILD/wineprefix" timeout 20 /usr/lib/wine/wineserver -w 2>/dev/null || true
        kill "$XVFB_PID" 2>/dev/null || true
    fi
}
trap cleanup EXIT
if [ "$MODE" = interactive ] && [ -z "${DISPLAY:-}" ]; then
    # A private X display, set before the first Wine process of this run.
    FIFO=$(mktemp -u)
    mkfifo "$FIFO"
    Xvfb -displayfd 5 -nolisten tcp -screen 0 1024x768x24 5>"$FIFO" >/dev/null 2>&1 &
    XVFB_PID=$!
    read -r DISPLAY_NUMBER <"$FIFO"
    rm -f "$FIFO"
    export DISPLAY=":$DISPLAY_NUMBER"
    echo "Started Xvfb on $DISPLAY"
fi

rm -rf "$MEDIUM"
mkdir -p "$MEDIUM/setup"
cp "$BUILD/Quenda.exe" "$MEDIUM/Quenda.exe"
cp "$ENGINE_BUILT" "$MEDIUM/ravell32.dll"
cat >"$MEDIUM/setup/desc.txt" <<'TEXT'
Tarvo Setup demo medium.

This demonstration installs nothing: the setup engine on this medium is a stand-in that
records the command line it receives.

Press OK to start the setup engine.
TEXT
echo "Demo medium: $MEDIUM"
ls -l "$MEDIUM" "$MEDIUM/setup" | sed 's/^/    /'

"$BUILD/wine-run" --init
ENGINE_WIN="$(winpath "$MEDIUM/ravell32.dll")"
if [ "$MODE" = batch ]; then
    # Wine quotes an argument that holds a blank as a whole, which would hide the key word:
    # with a blank in the medium's path the loader finds its default engine beside itself.
    case "$ENGINE_WIN" in
        *" "*) set -- /batch -demo ;;
        *) set -- /batch "setup=$ENGINE_WIN" -demo ;;
    esac
    echo "Running (batch): Quenda.exe $*"
    set +e
    "$BUILD/wine-run" "$MEDIUM/Quenda.exe" "$@" </dev/null
    STATUS=$?
    set -e
else
    echo "Running (interactive): Quenda.exe -demo"
    "$BUILD/wine-run" "$MEDIUM/Quenda.exe" -demo </dev/null &
    QUENDA_PID=$!
    WID=$(timeout 60 xdotool search --sync --onlyvisible --name '^Tarvo Setup$' | head -n 1)
    if [ -z "$WID" ]; then
        echo "The disclaimer dialog did not appear."
        kill "$QUENDA_PID" 2>/dev/null || true
        exit 1
    fi
    sleep 0.5
    import -window root "$DEMO/disclaimer.png"
    echo "Screenshot of the disclaimer dialog: $DEMO/disclaimer.png"
    xdotool windowfocus --sync "$WID" key Return
    set +e
    wait "$QUENDA_PID"
    STATUS=$?
    set -e
    # Not in batch mode the loader does not wait for the engine: give it a moment.
    for _ in $(seq 1 100); do
        [ -s "$MEDIUM/ravell32.log" ] && break
        sleep 0.1
    done
fi

echo "Loader exit code: $STATUS (0 engine started, 1 engine could not be started, 2 given up)"
if [ -f "$MEDIUM/ravell32.cmdline.txt" ]; then
    echo "The setup engine received the command line:"
    echo "    [$(cat "$MEDIUM/ravell32.cmdline.txt")]"
    echo "Engine log ($MEDIUM/ravell32.log):"
    sed 's/^/    /' "$MEDIUM/ravell32.log"
else
    echo "The setup engine did not record a start."
    exit 1
fi
exit "$STATUS"
