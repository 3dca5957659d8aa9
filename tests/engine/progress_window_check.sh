#!/bin/bash
# The engine's progress window as a real window under the X display. An interactive installation
# (no output= word, no /batch) of a small product whose program element waits for the test (its
# wizard gone through with Enter on every page, and its Finish page at the end):
# while it waits, the window must be up with the product's name (a screenshot is kept as an
# artifact), Cancel is pressed from the keyboard (the window pumps messages while the element
# runs), the element is let go, and the engine must stop before the next element, roll back and
# leave the machine as it was (the product's folder, its registry value and its log gone).
# The same product in batch mode (/batch) must install with no window at all.
# The bar the window paints itself (NT 3.51) is shown once too.
#   progress_window_check.sh <wine-run> <engine.exe> <holdfile.exe> <version> <artifacts> <work>
# Exit code 77 (skipped) without an X display.
set -u
WINE_RUN=$1 ENGINE=$2 HOLDFILE=$3 VERSION=$4 ARTIFACTS=$5 WORK=$6
. "$(dirname "$0")/../support/window_check.sh"

require_display
"$WINE_RUN" --runnable || exit $?

M=$(mktemp -d "$WORK/progress-check.XXXXXX")
ENGINE_PID=""
cleanup() {
    [ -n "$ENGINE_PID" ] && kill "$ENGINE_PID" 2>/dev/null
    touch "$M/release" 2>/dev/null
    "$WINE_RUN" reg delete "HKCU\\Software\\TarvoTests\\$KEY" /f >/dev/null 2>&1
    rm -rf "$M"
}
KEY="ProgressCheck$$"
trap cleanup EXIT

mkdir -p "$M/medium" "$ARTIFACTS"
cp "$ENGINE" "$M/medium/engine-$VERSION.exe"
cp "$HOLDFILE" "$M/medium/holdfile.exe"
printf 'one\r\n' >"$M/medium/one.txt"
printf 'two\r\n' >"$M/medium/two.txt"
DEST=$(winpath "$M/dest")
cat >"$M/medium/product.txt" <<EOF
[Product]
Name = Tarvo Progress Check
Destination = $DEST

[Component Main]
Selected = 1

[WSetupDir Data]
Component = Main
DestName = Data

[WSetupFile One]
Component = Main
SourceDir = <S>
MediaName = one.txt
DestName = one.txt

[WSetupFile Two]
Component = Main
SourceDir = <S>
MediaName = two.txt
DestName = two.txt

[WSetupRegEntry Mark]
Component = Main
RootName = HKEY_CURRENT_USER
KeyPath = Software\\TarvoTests\\$KEY
ValueName = Mark
ValueData = installed
ValueType = STRING

# Holds the installed file until the test lets it go: the installation is then mid-way.
[WSetupExecutable Wait]
Component = Main
DestDir = <S>
DestName = holdfile.exe
Arguments = <D>\\one.txt --share=read --ready=$(winpath "$M/ready") --release=$(winpath "$M/release") --seconds=120
RunMode = 1

[WSetupRuntimeFile Later]
Component = Main
DestName = later.dat
EOF

# start_engine <output file> [arguments...]: starts the engine on the product in the background
# (ENGINE_PID) and waits until its program element holds (the file "ready") or the engine ended.
start_engine() {
    local out=$1
    shift
    rm -f "$M/ready" "$M/release"
    "$WINE_RUN" "$M/medium/engine-$VERSION.exe" "$@" \
        "description=$(winpath "$M/medium/product.txt")" </dev/null >"$out" 2>&1 &
    ENGINE_PID=$!
    # An interactive installation first leads through its wizard: Enter on every page.
    case " $* " in
    *" /batch "*) ;;
    *) wizard_through "$ENGINE_PID" || echo "    (no wizard went by)" ;;
    esac
    for _ in $(seq 1 600); do
        [ -s "$M/ready" ] && break
        kill -0 "$ENGINE_PID" 2>/dev/null || break
        sleep 0.1
    done
}

# 1. Interactive: the window, Cancel while the program element runs, the rollback.
start_engine "$M/interactive.out"
row "the installation reached its program element" held "$(head -c 4 "$M/ready" 2>/dev/null)"

TITLE='^Tarvo Progress Check - Tarvo Setup$'
WID=$(find_window "$TITLE")
row "a visible window named after the product" yes "$([ -n "$WID" ] && echo yes || echo no)"
SHOT="$ARTIFACTS/engine-progress-$VERSION.png"
if [ -n "$WID" ]; then
    sleep 0.5
    import -window root "$SHOT" && echo "screenshot: $SHOT"
    # Space on the focused Cancel button. A key that reaches the window before it has the focus
    # is lost, so it is pressed three times; once taken, the button is disabled.
    for _ in 1 2 3; do
        xdotool windowfocus --sync "$WID" key space 2>/dev/null || true
        sleep 0.5
    done
    import -window root "$ARTIFACTS/engine-progress-$VERSION-cancelling.png" &&
        echo "screenshot after Cancel: $ARTIFACTS/engine-progress-$VERSION-cancelling.png"
fi
row "the engine still in the element when Cancel was pressed" yes \
    "$(kill -0 "$ENGINE_PID" 2>/dev/null && [ ! -e "$M/release" ] && echo yes || echo no)"
touch "$M/release"
for _ in $(seq 1 600); do
    kill -0 "$ENGINE_PID" 2>/dev/null || break
    sleep 0.1
done
wait "$ENGINE_PID"
STATUS=$?
ENGINE_PID=""
tr -d '\r' <"$M/interactive.out" | sed 's/^/    /'
row "exit code: cancelled and rolled back" 7 "$STATUS"
row "stopped between elements, right after the program element" yes \
    "$(grep -q '^install [0-9]* of [0-9]*: Main WSetupExecutable Wait status' "$M/interactive.out" &&
        [ "$(grep -c '^install [0-9]* of ' "$M/interactive.out")" = \
          "$(sed -n 's/^cancelled after \([0-9]*\) of [0-9]*: rolling back.*/\1/p' "$M/interactive.out")" ] &&
        echo yes || echo no)"
row "the program element finished first" yes \
    "$(grep -q '^install [0-9]* of [0-9]*: Main WSetupExecutable Wait status' "$M/interactive.out" && echo yes || echo no)"
row "rollback says the machine was put back" yes \
    "$(grep -q '^rollback: machine put back as it was' "$M/interactive.out" && echo yes || echo no)"
row "the product's folder is gone" no "$([ -e "$M/dest" ] && echo yes || echo no)"
"$WINE_RUN" reg query "HKCU\\Software\\TarvoTests\\$KEY" >/dev/null 2>&1
row "the product's registry key is gone" 1 "$?"
row "the window showed the common progress bar" yes \
    "$(grep -q '^progress window: common progress bar' "$M/interactive.out" && echo yes || echo no)"

# 2. The bar the window paints itself where the system has no common progress bar (NT 3.51):
#    the installation runs to its end.
start_engine "$M/painted.out" bar=painted
WID=$(find_window "$TITLE")
row "painted bar: a visible window" yes "$([ -n "$WID" ] && echo yes || echo no)"
if [ -n "$WID" ]; then
    sleep 0.5
    import -window root "$ARTIFACTS/engine-progress-$VERSION-painted.png" &&
        echo "screenshot: $ARTIFACTS/engine-progress-$VERSION-painted.png"
fi
touch "$M/release"
wizard_finish "$ENGINE_PID"
wait "$ENGINE_PID"
STATUS=$?
ENGINE_PID=""
row "painted bar: installed to the end" 0 "$STATUS"
row "painted bar: the window painted its own bar" yes \
    "$(grep -q '^progress window: painted progress bar' "$M/painted.out" && echo yes || echo no)"
"$WINE_RUN" "$M/medium/engine-$VERSION.exe" mode=remove "log=$DEST\\install.log" \
    "output=$(winpath "$M/remove-painted.out")" </dev/null >/dev/null 2>&1
row "painted bar: removed again" 0 "$?"

# 3. Batch: the same product installs with no window.
start_engine "$M/batch.out" /batch
WINDOWS=$(xdotool search --onlyvisible --name "$TITLE" 2>/dev/null | wc -l)
row "batch: no window while the program element runs" 0 "$WINDOWS"
touch "$M/release"
wait "$ENGINE_PID"
STATUS=$?
ENGINE_PID=""
row "batch: exit code" 0 "$STATUS"
row "batch: the product is installed" yes "$([ -f "$M/dest/two.txt" ] && echo yes || echo no)"
"$WINE_RUN" "$M/medium/engine-$VERSION.exe" mode=remove "log=$DEST\\install.log" \
    "output=$(winpath "$M/remove.out")" </dev/null >/dev/null 2>&1
row "batch: removed again" 0 "$?"

echo "$FAILS failed"
[ "$FAILS" = 0 ]
