#!/bin/bash
# The whole test suite: installs what is missing, builds both targets, then runs the tests of
# build/i686 under 32-bit Wine (as Windows 95 and NT 4.0, some also as NT 3.51) and those of
# build/x86_64 under wine64 (as Windows 98 and 2000), with a private Xvfb display for the window
# checks, and ends with every i686 result set beside its x86_64 twin's. Arguments go to both
# ctest runs (e.g. -R name).
#
# The i686 tree's 32-bit Wine is the host's where it runs, and otherwise the 32-bit userland of
# scripts/i386-userland.sh (prepared once into a cache folder, reused later): natively where the
# kernel runs 32-bit programs, on an emulated CPU where it refuses them. On the emulated CPU
# every test gets TARVO_I386_TIMEOUT_SCALE (default 6) times its time limit, test cases that
# the emulator cannot deliver faithfully (hardware exception codes) report themselves not
# runnable there, and the tests named in TARVO_I386_EMULATED_EXCLUDE are left out (named at the
# end; the kill points take some 16 minutes there, and the x86_64 tree runs them).
#   TARVO_TREES="i686" (or "x86_64") runs the tests of one tree only.
#   TARVO_TIMEOUT_SCALE=<n> gives every test n times its time limit.
#   TARVO_I386=emulate runs the i686 tree on the emulated CPU even where the kernel would not need
#   it. TARVO_REQUIRE_ALL_TREES=1 fails the run when a tree cannot run at all.
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
WINESERVER=/usr/lib/wine/wineserver
EMULATED_EXCLUDE=${TARVO_I386_EMULATED_EXCLUDE-product_killpoints}

# Per tree: a persistent server keeps every test program from starting Wine cold. Wine's
# system processes must not inherit ctest's output pipe. Wine's desktop process takes the
# standard error of the program that first needs it and ends a second after its last client:
# keep it alive with a client whose output goes nowhere, so that neither it nor the windows it
# opens ever hold a test's output pipe (ctest would wait for it).
start_prefix() {
    local tree=$1
    "$tree/wine-run" --runnable || return 1
    "$tree/wine-run" --init
    WINEPREFIX="$tree/wineprefix" $WINESERVER -p </dev/null >/dev/null 2>&1
    "$tree/wine-run" wineboot </dev/null >/dev/null 2>&1 || true
    local ready="$tree/tests/harness/desktop_keeper.ready"
    rm -f "$ready"
    "$tree/wine-run" "$tree/tests/harness/desktop_keeper.exe" "Z:${ready//\//\\}" \
        </dev/null >/dev/null 2>&1 &
    for _ in $(seq 100); do [ -f "$ready" ] && break; sleep 0.1; done
}

# Runs one tree's tests into $tree/Testing/run-tests.log; exit 77 when its Wine cannot start.
# A test that fails is run once more: Wine's start-up under a loaded machine occasionally fails
# a program before it runs. A real fault fails both times; an intermittent one may pass the
# second time, and every test that needed the second run is named at the end of the summary.
run_tree() {
    local tree=$1 scale=${TARVO_TIMEOUT_SCALE:-1} status=0
    shift
    local log="$tree/Testing/run-tests.log"
    mkdir -p "$tree/Testing"
    rm -f "$log" "$tree/Testing/not-runnable.txt"
    local args=()
    if [ -n "${TARVO_EMULATED_CPU:-}" ]; then
        scale=$((scale * ${TARVO_I386_TIMEOUT_SCALE:-6}))
        [ -n "$EMULATED_EXCLUDE" ] && args=(-E "$EMULATED_EXCLUDE")
    fi
    if ! start_prefix "$tree"; then
        echo "its Wine cannot start here: every test of the tree is skipped" >"$log"
        return 77
    fi
    # The limits are scaled from those CMake wrote (kept aside), so that a later run without
    # scaling gets them back. A file without the mark is CMake's own, written again since.
    find "$tree" -name CTestTestfile.cmake | while read -r f; do
        grep -q '^# limits scaled by run-tests.sh' "$f" || cp "$f" "$f.unscaled"
        {
            echo '# limits scaled by run-tests.sh'
            perl -pe 's/ TIMEOUT "(\d+)"/" TIMEOUT \"" . ($1 * '"$scale"') . "\""/ge' \
                "$f.unscaled"
        } >"$f.scaled"
        mv "$f.scaled" "$f"
    done
    set +e
    (cd "$tree" && ctest --output-on-failure -j "${CTEST_JOBS:-2}" --repeat until-pass:2 \
        "${args[@]}" "$@") 2>&1 | tee "$log"
    status=${PIPESTATUS[0]}
    set -e
    WINEPREFIX="$tree/wineprefix" $WINESERVER -k >/dev/null 2>&1 || true
    return "$status"
}

if [ "${1:-}" = --tree ]; then
    # Inside the 32-bit userland: one tree, on the display and build the caller prepared.
    tree=$2
    shift 2
    run_tree "$tree" "$@"
    exit $?
fi

start=$SECONDS
"$ROOT/scripts/setup-machine.sh"
echo "== set-up: $((SECONDS - start)) s"
start=$SECONDS
"$ROOT/scripts/build.sh"
echo "== build of both trees: $((SECONDS - start)) s"

# One X display for the whole run, exported before the first Wine process.
XVFB_FIFO=$(mktemp -u)
mkfifo "$XVFB_FIFO"
Xvfb -displayfd 5 -nolisten tcp -screen 0 1024x768x24 5>"$XVFB_FIFO" >/dev/null 2>&1 &
XVFB_PID=$!
read -r DISPLAY_NUMBER <"$XVFB_FIFO"
rm -f "$XVFB_FIFO"
export DISPLAY=":$DISPLAY_NUMBER"

TREES=""
for t in ${TARVO_TREES:-i686 x86_64}; do TREES="$TREES $ROOT/build/$t"; done
cleanup() {
    for tree in $TREES; do
        WINEPREFIX="$tree/wineprefix" $WINESERVER -k >/dev/null 2>&1 || true
    done
    kill "$XVFB_PID" >/dev/null 2>&1 || true
}
trap cleanup EXIT

status=0
unrunnable=""
i686_mode=""
for tree in $TREES; do
    name=$(basename "$tree")
    start=$SECONDS
    set +e
    if [ "$name" = i686 ]; then
        i686_mode=$("$ROOT/scripts/i386-userland.sh" mode)
        echo "== i686: $tree (32-bit Wine: $i686_mode)"
        if [ "$i686_mode" = host ]; then
            run_tree "$tree" "$@"
        else
            "$ROOT/scripts/i386-userland.sh" run "$ROOT/scripts/run-tests.sh" --tree "$tree" "$@"
        fi
    else
        echo "== $name: $tree"
        run_tree "$tree" "$@"
    fi
    tree_status=$?
    set -e
    echo "== $name: $((SECONDS - start)) s"
    if [ "$tree_status" = 77 ]; then
        unrunnable="$unrunnable $name"
    elif [ "$tree_status" != 0 ]; then
        status=$tree_status
    fi
done

echo
summary=(python3 "$ROOT/scripts/tree-summary.py")
for tree in $TREES; do summary+=("$(basename "$tree")=$tree"); done
[ -n "$i686_mode" ] && summary+=("--i686-mode=$i686_mode")
[ "$i686_mode" = chroot+qemu ] && [ -n "$EMULATED_EXCLUDE" ] &&
    summary+=("--i686-excluded=$EMULATED_EXCLUDE")
"${summary[@]}" || status=1
if [ -n "$unrunnable" ]; then
    echo "NOT RUN on this machine (its Wine cannot start here; every test of the tree was" \
        "skipped):$unrunnable"
    # A machine that must prove the product build (TARVO_REQUIRE_ALL_TREES=1) fails here.
    [ "${TARVO_REQUIRE_ALL_TREES:-0}" = 1 ] && status=1
fi
exit "$status"
