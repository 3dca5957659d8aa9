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
# received. In batch mode the sample product then is laid out on a medium and a CD image by
# scripts/make-medium.sh, installed from that CD by the toolkit's engine, which hosts the
# handheld-sync plug-in (Morvik.dll), restarted, checked and removed on the 9x and the NT family,
# each once without HotSync and once on a machine prepared with the HotSync 1.1 stand-in
# installation (the plug-in installs the fitting conduit component into HotSync's folder,
# refreshes HotSync's shortcuts, and the removal takes the conduit entries away), each in a Wine
# prefix of its own (examples/sample-product/product-roundtrip.sh), ending with "machine left as
# it was: yes" for each; and on Windows 98 and 2000 from the other media make-medium.sh makes: the
# single file for download (x86_64) and the diskette set (i686).
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
        -h | --help) sed -n '2,26p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "unknown option: $1 (see --help)" >&2; exit 2 ;;
    esac
    shift
done

if [ -z "$TREE" ]; then
    "$ROOT/scripts/setup-machine.sh"
    "$ROOT/scripts/build.sh"
    XVFB_PID=""
    trap '[ -z "$XVFB_PID" ] || kill "$XVFB_PID" 2>/dev/null || true' EXIT
    if [ -z "${DISPLAY:-}" ]; then
        # A private X display, set before the first Wine process of this run (the disclaimer
        # dialog, and the prompts for the next diskette).
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

# The sample product, installed, restarted, checked and removed on each platform family, each in
# a Wine prefix of its own (examples/sample-product/product-roundtrip.sh says how).
# The product carries the handheld-sync feature and the plug-in (Morvik.dll of this tree), which
# the toolkit's engine hosts: each family once on a machine without HotSync and once on one with
# the HotSync 1.1 stand-in installation.
# Then the other media of the era: on win98 and win2k, the x86_64 build installs from the single
# file for download and the i686 build (what ships, small enough for diskettes) from the set of
# diskettes, changing them at the engine's prompts on the X display.
RUNS=()
for family in $FAMILIES; do
    RUNS+=("$family|$family|" "$family|$family-hotsync|--hotsync")
done
for family in win98 win2k; do
    if [ "$TREE" = i686 ]; then
        RUNS+=("$family|$family-floppies|--from=floppies")
    else
        RUNS+=("$family|$family-single|--from=single")
    fi
done
PRODUCT_OK=1
for run in "${RUNS[@]}"; do
    IFS='|' read -r family name option <<<"$run"
    echo
    echo "== The sample product on $family${option:+ ($option)}: install, restart, check, remove =="
    TARVO_BUILD="$BUILD" "$ROOT/examples/sample-product/product-roundtrip.sh" "$family" \
        "$DEMO/product-$name" $option || PRODUCT_OK=0
done
echo
echo "== Main job =="
for run in "${RUNS[@]}"; do
    IFS='|' read -r family name option <<<"$run"
    grep -h "conduit component installed: .*(as expected" "$DEMO/product-$name/roundtrip.log" \
        2>/dev/null || true
    grep -h "machine left as it was" "$DEMO/product-$name/roundtrip.log" 2>/dev/null | tail -n 1 ||
        true
done
[ "$PRODUCT_OK" = 1 ] || { echo "  The sample product's round trip did NOT do what it should."; exit 1; }
echo "  The loader, the plug-in and the sample product did what they should on both families."
