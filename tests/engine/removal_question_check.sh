#!/bin/bash
# An interactive removal, as the list of installed programs starts it, under the X display: it
# asks "Remove <product> and all of its components?" first; No changes nothing (exit code 7);
# Yes removes the product with its progress window (no Cancel) and ends with a report of what
# stayed and why: here a document the user put into the product's folder, which keeps the folder.
# Screenshots of the question, the window and the report are kept as artifacts.
#   removal_question_check.sh <wine-run> <engine.exe> <probe.exe> <version> <artifacts> <work>
# Exit code 77 (skipped) without an X display.
set -u
WINE_RUN=$1 ENGINE=$2 PROBE=$3 VERSION=$4 ARTIFACTS=$5 WORK=$6
. "$(dirname "$0")/../support/window_check.sh"
require_display
"$WINE_RUN" --runnable || exit $?

M=$(mktemp -d "$WORK/removal-question.XXXXXX")
KEY="RemovalQuestion$$"
PRODUCT="Tarvo Removal Question $$"
ENGINE_PID=""
cleanup() {
    [ -n "$ENGINE_PID" ] && kill "$ENGINE_PID" 2>/dev/null
    "$WINE_RUN" reg delete "HKCU\\Software\\TarvoTests\\$KEY" /f >/dev/null 2>&1
    "$WINE_RUN" reg delete \
        "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$PRODUCT" /f \
        >/dev/null 2>&1
    rm -rf "$M"
}
trap cleanup EXIT
mkdir -p "$M/medium" "$ARTIFACTS"
cp "$ENGINE" "$M/medium/engine-$VERSION.exe"
printf 'one\r\n' >"$M/medium/one.txt"
printf 'two\r\n' >"$M/medium/two.txt"
DEST=$(winpath "$M/dest")
cat >"$M/medium/product.txt" <<EOF
[Product]
Name = $PRODUCT
Destination = $DEST

[Component Main]
Selected = 1

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
EOF
yes_no() { "$@" && echo yes || echo no; }
running() { [ -n "$ENGINE_PID" ] && kill -0 "$ENGINE_PID" 2>/dev/null; }
key_there() { "$WINE_RUN" reg query "HKCU\\Software\\TarvoTests\\$KEY" >/dev/null 2>&1; }
listed() {
    "$WINE_RUN" reg query \
        "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$PRODUCT" >/dev/null 2>&1
}
BOX=""
find_box() { BOX=$(find_window "^$PRODUCT\$" "$ENGINE_PID"); }
answer_box() { # <key>: pressed on the box until it is gone
    local attempt _
    for attempt in 1 2 3; do
        xdotool windowfocus --sync "$BOX" key "$1" 2>/dev/null || true
        for _ in $(seq 1 50); do
            xdotool search --onlyvisible --name "^$PRODUCT\$" 2>/dev/null | grep -qx "$BOX" ||
                return 0
            sleep 0.1
        done
    done
}
probe() { # <name>: what the box shows, into probe-<name>.txt
    "$WINE_RUN" "$PROBE" "$PRODUCT" 10 </dev/null 2>&1 | tr -d '\r' >"$M/probe-$1.txt"
    sed 's/^/    probe: /' "$M/probe-$1.txt"
}
shot() { import -window root "$ARTIFACTS/engine-removal-$1-$VERSION.png" && echo "screenshot: $1"; }
finish_engine() {
    for _ in $(seq 1 600); do running || break; sleep 0.1; done
    wait "$ENGINE_PID"
    STATUS=$?
    ENGINE_PID=""
}
remove() { # the removal as its registered command runs it: no output=, no /batch
    "$WINE_RUN" "$M/medium/engine-$VERSION.exe" mode=remove "log=$DEST\\install.log" \
        </dev/null >"$M/$1.out" 2>&1 &
    ENGINE_PID=$!
}

"$WINE_RUN" "$M/medium/engine-$VERSION.exe" "description=$(winpath "$M/medium/product.txt")" \
    "output=$(winpath "$M/install.out")" </dev/null >/dev/null 2>&1
row "installed (batch)" 0 "$?"
printf 'my notes\r\n' >"$M/dest/my notes.txt"

echo "== 1. the question, answered No"
remove no
find_box
row "no: a visible box titled with the product's name" yes "$(yes_no test -n "$BOX")"
probe no
row "no: the question" "text: Remove $PRODUCT and all of its components?" \
    "$(grep '^text: ' "$M/probe-no.txt")"
row "no: the buttons" "buttons: Yes No" "$(grep '^buttons: ' "$M/probe-no.txt")"
[ -n "$BOX" ] && shot question && answer_box n
finish_engine
tr -d '\r' <"$M/no.out" | sed 's/^/    /'
row "no: exit code (nothing changed at the user's word)" 7 "$STATUS"
row "no: the product's files are there" "my notes.txt one.txt two.txt" \
    "$(ls "$M/dest" | grep -v '\.log$' | xargs)"
row "no: the log is there" yes "$(yes_no test -f "$M/dest/install.log")"
row "no: the product's registry value is there" yes "$(yes_no key_there)"
row "no: the product is still listed" yes "$(yes_no listed)"

echo "== 2. the question, answered Yes"
remove yes
find_box
[ -n "$BOX" ] && answer_box y
WINDOW=$(find_window "^$PRODUCT - Tarvo Setup\$" "$ENGINE_PID")
[ -n "$WINDOW" ] && shot window
find_box
row "yes: the report at the end" yes "$(yes_no test -n "$BOX")"
probe report
row "yes: the report's first line" "text: $PRODUCT was removed." \
    "$(grep '^text: ' "$M/probe-report.txt")"
row "yes: the report names the folder kept for the user's file" yes \
    "$(yes_no grep -q "$(basename "$M")\\\\dest (it holds what is not the installation's)" \
        "$M/probe-report.txt")"
[ -n "$BOX" ] && shot report && answer_box Return
finish_engine
tr -d '\r' <"$M/yes.out" | sed 's/^/    /'
row "yes: exit code" 0 "$STATUS"
row "yes: only the user's file is left" "my notes.txt" "$(ls "$M/dest" | xargs)"
row "yes: the product's registry value is gone" no "$(yes_no key_there)"
row "yes: the product is no longer listed" no "$(yes_no listed)"

echo "removal question check ($VERSION): $FAILS failed"
[ "$FAILS" = 0 ]
