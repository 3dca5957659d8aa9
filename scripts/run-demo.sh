#!/bin/bash
# The main job: builds both deliverables, makes a demo installation medium under
# build/demo/<tree>/ (the loader, a short disclaimer in setup\desc.txt and a stand-in setup engine
# as ravell32.dll) and runs the loader on it under Wine.
#
#   scripts/run-demo.sh                 batch mode: Quenda.exe /batch setup=<medium>\ravell32.dll
#   scripts/run-demo.sh --interactive   interactive mode: the disclaimer dialog appears (on
#                                       $DISPLAY, or on a private Xvfb when none is set), a
#                                       screenshot is saved as build/demo/<tree>/disclaimer.png
#                                       and the dialog is confirmed with Enter
#
# Either way the script prints the loader's exit code and the command line that the engine
# received. In batch mode it then installs with the plug-in: on a machine prepared with a
# HotSync 1.1 installation (stand-in), the loader starts the reference setup engine (stand-in)
# from a second medium, build/demo/<tree>/hotsync-medium, which loads Morvik.dll and calls its
# installation entry points; a removal of the feature follows, and the script prints and checks
# the action codes, custom macros, HotSync Manager shortcut and conduit table. Last, the sample
# product is laid out on a medium and a CD image by scripts/make-medium.sh, installed from that
# CD, restarted, checked and removed on the 9x and the NT family, each in a Wine prefix of its
# own (examples/sample-product/product-roundtrip.sh), ending with "machine left as it was: yes"
# for each.
#
# All of it runs twice: with what ships, build/i686 (Quenda.exe, Morvik.dll and the product
# engine, with the stand-ins of that tree, built the same way) under 32-bit Wine as Windows 95
# and NT 4.0, and with the x86_64 build of the same sources under wine64 as Windows 98 and 2000.
# The 32-bit Wine is the host's where it runs, and otherwise the userland of
# scripts/i386-userland.sh (on an emulated CPU where the kernel runs no 32-bit program).
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
MODE=batch
TREE=""
while [ $# -gt 0 ]; do
    case "$1" in
        --interactive) MODE=interactive ;;
        --tree) TREE=$2; shift ;;
        -h | --help) sed -n '2,27p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "unknown option: $1 (see --help)" >&2; exit 2 ;;
    esac
    shift
done

if [ -z "$TREE" ]; then
    "$ROOT/scripts/setup-machine.sh"
    "$ROOT/scripts/build.sh"
    XVFB_PID=""
    trap '[ -z "$XVFB_PID" ] || kill "$XVFB_PID" 2>/dev/null || true' EXIT
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
    args=()
    [ "$MODE" = interactive ] && args=(--interactive)
    status=0
    start=$SECONDS
    echo "===== The x86_64 build under wine64, as Windows 98 and 2000 ====="
    "$0" --tree x86_64 "${args[@]}" || status=1
    x86_time=$((SECONDS - start))
    start=$SECONDS
    mode=$("$ROOT/scripts/i386-userland.sh" mode)
    echo
    echo "===== What ships, build/i686, under 32-bit Wine ($mode), as Windows 95 and NT 4.0 ====="
    if [ "$mode" = host ]; then
        "$0" --tree i686 "${args[@]}" || status=1
    else
        "$ROOT/scripts/i386-userland.sh" run "$0" --tree i686 "${args[@]}" || status=1
    fi
    i686_time=$((SECONDS - start))
    echo
    echo "===== Main job ====="
    echo "  x86_64 (wine64, win98 and win2k): $x86_time s; i686 (32-bit Wine: $mode, win95 and nt40): $i686_time s"
    for t in x86_64 i686; do
        for f in "$ROOT/build/demo/$t"/product-*/roundtrip.log; do
            [ -f "$f" ] && echo "  $t $(basename "$(dirname "$f")"): $(grep -h "machine left as it was" "$f" | tail -n 1)"
        done
    done
    if [ "$status" = 0 ]; then
        echo "  The loader, the plug-in and the sample product did what they should with both builds."
    else
        echo "  The main job did NOT do what it should (see above)."
    fi
    exit "$status"
fi

BUILD="$ROOT/build/$TREE"
FAMILIES="win98 win2k"
[ "$TREE" = i686 ] && FAMILIES="win95 nt40"
if ! "$BUILD/wine-run" --runnable 2>/dev/null; then
    echo "This machine cannot run the Wine of $BUILD."
    exit 1
fi
echo "Build run: $BUILD"
DEMO="$ROOT/build/demo/$TREE"
MEDIUM="$DEMO/medium"
ENGINE_BUILT="$BUILD/tests/standins/engine/ravell32.dll"
winpath() { echo "Z:${1//\//\\}"; }

cleanup() {
    # Let Wine's own processes end before the run does.
    WINEPREFIX="$BUILD/wineprefix" timeout 20 /usr/lib/wine/wineserver -w 2>/dev/null || true
}
trap cleanup EXIT

rm -rf "$MEDIUM"
mkdir -p "$MEDIUM/setup" "$DEMO"
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
[ "$STATUS" = 0 ] || exit "$STATUS"
[ "$MODE" = batch ] || exit 0

# An installation end to end with the plug-in: on a machine prepared with a HotSync 1.1
# installation (stand-in), the loader in batch mode starts the reference setup engine (stand-in)
# as ravell32.dll beside itself; the engine loads Morvik.dll from the medium and calls its
# installation entry points, then a removal of the feature calls the removal entry points.
echo
echo "== Installation with the Morvik plug-in on a machine with HotSync 1.1 =="
HS_MEDIUM="$DEMO/hotsync-medium"
STANDINS="$BUILD/tests/bin/standins"
DESK="$STANDINS/hotsyncdesk.exe"
rm -rf "$HS_MEDIUM"
mkdir -p "$HS_MEDIUM/setup"
cp "$BUILD/Quenda.exe" "$BUILD/Morvik.dll" "$HS_MEDIUM/"
cp "$STANDINS/refengine.exe" "$HS_MEDIUM/ravell32.dll"
cp "$ROOT/scripts/demo/hotsync-install.scn" "$HS_MEDIUM/refengine.scn"
cp "$ROOT/scripts/demo/hotsync-removal.scn" "$HS_MEDIUM/removal.scn"
cp "$MEDIUM/setup/desc.txt" "$HS_MEDIUM/setup/desc.txt"
run() { "$BUILD/wine-run" "$@" </dev/null | tr -d '\r'; }

run "$DESK" uninstall >/dev/null
run "$DESK" install 1.1 'C:\Palm'
echo "Before the installation:"
run "$DESK" report
echo "Running (batch): Quenda.exe /batch   (the engine is ravell32.dll beside it)"
set +e
"$BUILD/wine-run" "$HS_MEDIUM/Quenda.exe" /batch </dev/null
HS_STATUS=$?
set -e
echo "Loader exit code: $HS_STATUS"
echo "The engine's results (action codes, Flags16, custom macros):"
sed 's/^/    /' "$HS_MEDIUM/ravell32.result.txt" | tr -d '\r'
echo "After the installation:"
AFTER_INSTALL=$(run "$DESK" report)
echo "$AFTER_INSTALL"

echo "Removing the feature: the reference engine on removal.scn"
run "$STANDINS/refengine.exe" "scenario=$(winpath "$HS_MEDIUM/removal.scn")" \
    "plugin=$(winpath "$HS_MEDIUM/Morvik.dll")" >/dev/null
sed 's/^/    /' "$HS_MEDIUM/ravell32.removal.txt" | tr -d '\r'
echo "After the removal:"
AFTER_REMOVAL=$(run "$DESK" report)
echo "$AFTER_REMOVAL"
run "$DESK" uninstall

# What the plug-in was to do: offer and install the 1.x conduit component, point the custom
# folders at C:\Palm, rewrite the HotSync Manager shortcut to Hsm11.exe, and remove the
# product's two conduit registrations.
RESULT=$(tr -d '\r' <"$HS_MEDIUM/ravell32.result.txt")
ok=1
for expect in "call PostInstall 1" "component QX9_PalmPilot action=7 flags16=3" \
    "component PilotConduit1_1 action=4" "component PilotConduit2_0 action=8" \
    "macro 0 <CUSTPALMDIR,C:\Palm"; do
    grep -qF "$expect" <<<"$RESULT" || { echo "missing in the engine's results: $expect"; ok=0; }
done
REWRITTEN=$(grep -ciF 'Hsm11.exe' <<<"$AFTER_INSTALL" || true)
[ "$REWRITTEN" -ge 2 ] || { echo "the two HotSync Manager shortcuts were not both rewritten"; ok=0; }
grep -qF 'qxabcn90.dll' <<<"$AFTER_REMOVAL" && { echo "a conduit entry was not removed"; ok=0; }
ENTRIES_BEFORE=$(grep -c 'conduit table' <<<"$AFTER_INSTALL" || true)
ENTRIES_AFTER=$(grep -c 'conduit table' <<<"$AFTER_REMOVAL" || true)
echo
echo "== Summary =="
echo "  Loader in batch mode on the demo medium: exit code $STATUS (0: the engine started and ended)."
echo "  HotSync found: 1.1 (Palm Computing keys, C:\Palm)."
echo "  Action codes after the installation calls: $(grep '^component' <<<"$RESULT" |
    sed -E 's/component ([^ ]+) action=([0-9]+).*/\1 \2/' | paste -sd, - | sed 's/,/, /g')."
echo "  Custom folder macros retargeted to C:\Palm: $(grep -c 'C:\\Palm$' <<<"$RESULT" || true) of 3."
echo "  HotSync Manager shortcuts rewritten to C:\Palm\Hsm11.exe: $REWRITTEN."
echo "  Conduit entries: $ENTRIES_BEFORE before the removal, $ENTRIES_AFTER after (the product's were deleted)."
if [ "$HS_STATUS" = 0 ] && [ "$ok" = 1 ]; then
    echo "  Result: the installation and the removal did what they should."
else
    echo "  Result: the demo did NOT do what it should (see above)."
    exit 1
fi

# The sample product, installed, restarted, checked and removed on each platform family, each in
# a Wine prefix of its own (examples/sample-product/product-roundtrip.sh says how).
PRODUCT_OK=1
for family in $FAMILIES; do
    echo
    echo "== The sample product on $family: install, restart, check, remove =="
    TARVO_BUILD="$BUILD" "$ROOT/examples/sample-product/product-roundtrip.sh" "$family" \
        "$DEMO/product-$family" || PRODUCT_OK=0
done
echo
echo "== Main job =="
for family in $FAMILIES; do
    grep -h "machine left as it was" "$DEMO/product-$family/roundtrip.log" 2>/dev/null || true
done
[ "$PRODUCT_OK" = 1 ] || { echo "  The sample product's round trip did NOT do what it should."; exit 1; }
echo "  The loader, the plug-in and the sample product did what they should on both families."
