#!/bin/bash
# The interactive installation's wizard as real windows under the X display, driven from the
# keyboard (Enter, Esc, Tab, Space and the mnemonic keys). A product of three components (Main
# Fixed, Extra and Docs) with a licence and a program group:
#   1. every page (a screenshot of each is kept as an artifact): the licence holds Next until it
#      is accepted; a destination that is no full path is refused with a message and the page
#      stays; another destination typed, Extra left out (the space figure shown must be the sum
#      of the chosen files' sizes), a program group typed: the files are in the chosen folder,
#      Extra's is not, the group folder holds the link, the entry names the chosen folder;
#   2. Cancel on each page, answered Yes, changes nothing (exit code 7); answered No, the page
#      stays; the licence declined and Cancel changes nothing.
# With "destination" as the last argument (NT 3.51, the old shell) only the destination page is
# gone through: no folder browser there, the typed folder is installed to. With "cp932" (run
# under the double-byte code page 932) the description's destination has a double-byte name:
# the page shows it, hands it on through its edit field, and the files go there.
#   wizard_check.sh <wine-run> <engine.exe> <version> <artifacts> <work> [all|destination|cp932]
# Exit code 77 (skipped) without an X display.
set -u
WINE_RUN=$1 ENGINE=$2 VERSION=$3 ARTIFACTS=$4 WORK=$5 SCOPE=${6:-all}
. "$(dirname "$0")/../support/window_check.sh"

require_display
"$WINE_RUN" --runnable || exit $?
"$WINE_RUN" --init </dev/null >/dev/null 2>&1
PREFIX=${TARVO_WINEPREFIX:-$WORK/wineprefix}

M=$(mktemp -d "$WORK/wizard-check.XXXXXX")
PRODUCT="Tarvo Wizard Check"
GROUP="Tarvo Wizard Typed $$"
UNINSTALL_KEY="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$PRODUCT"
ENGINE_PID=""
cleanup() {
    [ -n "$ENGINE_PID" ] && kill "$ENGINE_PID" 2>/dev/null
    "$WINE_RUN" reg delete "$UNINSTALL_KEY" /f </dev/null >/dev/null 2>&1
    find "$PREFIX/drive_c" -depth -type d -name "$GROUP" -exec rm -rf {} + 2>/dev/null
    rm -rf "$M"
}
trap cleanup EXIT

mkdir -p "$M/medium" "$ARTIFACTS"
cp "$ENGINE" "$M/medium/engine-$VERSION.exe"
head -c 1000 /dev/zero | tr '\0' m >"$M/medium/main.dat"
head -c 300 /dev/zero | tr '\0' e >"$M/medium/extra.dat"
head -c 20 /dev/zero | tr '\0' d >"$M/medium/docs.dat"
printf 'The licence of the wizard check.\r\nAccept it to install.\r\n' >"$M/medium/licence.txt"
cat >"$M/medium/product.txt" <<EOF2
[Product]
Name = $PRODUCT
Destination = $(winpath "$M/default")
Group = Tarvo Wizard Default
Licence = licence.txt
Types = Typical, Custom

[Component Main]
Fixed = 1

[Component Extra]
Types = Typical, Custom

[Component Docs]
Types = Typical

[WSetupFile Main]
Component = Main
SourceDir = <S>
MediaName = main.dat
DestName = main.dat

[WSetupFile Extra]
Component = Extra
SourceDir = <S>
MediaName = extra.dat
DestName = extra.dat

[WSetupFile Docs]
Component = Docs
SourceDir = <S>
MediaName = docs.dat
DestName = docs.dat
EOF2
# The link that shows the program group (only where the group page is gone through).
[ "$SCOPE" = all ] && cat >>"$M/medium/product.txt" <<EOF2

[WSetupShortcut Link]
Component = Main
LinkName = Wizard Link
DestName = main.dat
EOF2

OUT="$M/run.out"
# What the machine holds of the product: its folders, its group and its entry.
state() {
    (cd "$M" && find default chosen 2>/dev/null | sort)
    find "$PREFIX/drive_c" -type d -name "$GROUP" 2>/dev/null
    "$WINE_RUN" reg query "$UNINSTALL_KEY" </dev/null >/dev/null 2>&1 && echo "entry"
}
start() {
    : >"$OUT"
    "$WINE_RUN" "$M/medium/engine-$VERSION.exe" "description=$(winpath "$M/medium/product.txt")" \
        </dev/null >"$OUT" 2>&1 &
    ENGINE_PID=$!
    WID=$(find_window "^$PRODUCT - Setup Wizard\$" "$ENGINE_PID")
}
page() { tr -d '\r' <"$OUT" | sed -n 's/^wizard page //p' | tail -n 1; }
# wait_page <name>: until the wizard shows that page (up to 30 s)
wait_page() {
    for _ in $(seq 1 150); do
        [ "$(page)" = "$1" ] && return 0
        kill -0 "$ENGINE_PID" 2>/dev/null || return 1
        sleep 0.2
    done
    return 1
}
key() {
    xdotool windowfocus --sync "$WID" key "$@" 2>/dev/null
    sleep 0.6
}
typed() {
    xdotool windowfocus --sync "$WID" type --delay 30 "$1" 2>/dev/null
    sleep 0.4
}
shot() { import -window root "$ARTIFACTS/wizard-$VERSION-$1.png" && echo "screenshot: $ARTIFACTS/wizard-$VERSION-$1.png"; }
finish() { # <what>: the engine's exit code, once it ended
    for _ in $(seq 1 600); do
        kill -0 "$ENGINE_PID" 2>/dev/null || break
        sleep 0.1
    done
    wait "$ENGINE_PID"
    STATUS=$?
    ENGINE_PID=""
}
# The question box (titled with the product's name) answered with <key>.
answer() {
    local box
    box=$(find_window "^$PRODUCT\$" "$ENGINE_PID")
    [ -n "$box" ] || return 1
    [ -n "${2:-}" ] && { sleep 0.3; shot "$2"; }
    xdotool windowfocus --sync "$box" key "$1" 2>/dev/null
    sleep 0.8
}
# Enter on each page up to <page>, the licence accepted on the way.
go_to() {
    local target=$1
    wait_page welcome || return 1
    [ "$target" = welcome ] && return 0
    key Return
    wait_page licence || return 1
    [ "$target" = licence ] && return 0
    key alt+a
    key Return
    wait_page destination || return 1
    [ "$target" = destination ] && return 0
    key Return
    wait_page components || return 1
    [ "$target" = components ] && return 0
    key Return
    wait_page group || return 1
    [ "$target" = group ] && return 0
    key Return
    wait_page ready
}
CHOSEN="$M/chosen"
installed_with() { # <file> under the chosen folder
    [ -f "$CHOSEN/$1" ] && echo yes || echo no
}

BEFORE=$(state)

if [ "$SCOPE" = cp932 ]; then
    # The description in the code page's own bytes, its destination named in double-byte
    # characters.
    CHOSEN="$M/製品フォルダ"
    while IFS= read -r line; do
        case "$line" in
        "Destination = "*) printf 'Destination = %s\n' "$(winpath "$CHOSEN")" ;;
        *) printf '%s\n' "$line" ;;
        esac
    done <"$M/medium/product.txt" | iconv -f UTF-8 -t CP932 >"$M/medium/product932.txt"
    mv "$M/medium/product932.txt" "$M/medium/product.txt"
fi
if [ "$SCOPE" = destination ] || [ "$SCOPE" = cp932 ]; then
    start
    go_to destination
    row "the destination page is shown" destination "$(page)"
    shot "destination-$SCOPE"
    if [ "$SCOPE" = destination ]; then
        row "the old shell: Browse is disabled, the edit field chooses" yes \
            "$(grep -q '^wizard browse: the edit field alone' "$OUT" && echo yes || echo no)"
        typed "$(winpath "$CHOSEN")"
    fi
    key Return
    wait_page components
    key Return
    wait_page group
    key Return
    wait_page ready
    key Return
    wait_page finish
    WID=$(find_window "^$PRODUCT - Setup Wizard\$" "$ENGINE_PID")
    press_until_ended "$WID" Return "$ENGINE_PID"
    finish
    tr -d '\r' <"$OUT" | sed 's/^/    /'
    row "installed" 0 "$STATUS"
    row "the folder of the page holds the product" yes "$(installed_with main.dat)"
    row "and its log" yes "$(installed_with install.log)"
    row "the description's folder was not used" no "$([ -e "$M/default" ] && echo yes || echo no)"
    "$WINE_RUN" "$M/medium/engine-$VERSION.exe" mode=remove "log=$(winpath "$CHOSEN")\\install.log" \
        "output=$(winpath "$M/remove.out")" </dev/null >/dev/null 2>&1
    row "removed again" 0 "$?"
    echo "$FAILS failed"
    [ "$FAILS" = 0 ]
    exit
fi

# 1. Every page, and the choices made on them.
start
row "a wizard window named after the product" yes "$([ -n "$WID" ] && echo yes || echo no)"
wait_page welcome
shot welcome
key Return
wait_page licence
shot licence
key Return
row "Next waits until the licence is accepted" licence "$(page)"
key alt+a
key Return
wait_page destination
shot destination
typed 'relative\folder'
key Return
answer Return destination-refused
row "a folder that is no full path is refused" yes \
    "$(grep -q '^wizard refused destination relative\\folder: it is not a full path' "$OUT" && echo yes || echo no)"
row "the page stays" destination "$(page)"
typed "$(winpath "$M/chosen")"
key Return
wait_page components
shot components
row "the figure of the type's components" "needed 1320" \
    "$(tr -d '\r' <"$OUT" | sed -n 's/^wizard space [^ ]* \(needed [0-9]*\) .*/\1/p' | tail -n 1)"
# Main has the caret; Extra is the next one down.
key Down
key space
sleep 0.5
shot components-extra-left-out
row "Extra left out: the chosen components" "Main,Docs" \
    "$(tr -d '\r' <"$OUT" | sed -n 's/^wizard chosen \([^ ]*\) .*/\1/p' | tail -n 1)"
row "the figure shown is the sum of the chosen files (1000 + 20)" "needed 1020" \
    "$(tr -d '\r' <"$OUT" | sed -n 's/^wizard space [^ ]* \(needed [0-9]*\) .*/\1/p' | tail -n 1)"
key Return
wait_page group
shot group
typed "$GROUP"
key Return
wait_page ready
shot ready
key alt+b
wait_page group
row "Back goes to the group page" group "$(page)"
key Return
wait_page ready
key Return
wait_page finish
WID=$(find_window "^$PRODUCT - Setup Wizard\$" "$ENGINE_PID")
sleep 0.3
shot finish
press_until_ended "$WID" Return "$ENGINE_PID"
finish
tr -d '\r' <"$OUT" | sed 's/^/    /'
row "installed" 0 "$STATUS"
row "the chosen folder holds Main's file" yes "$(installed_with main.dat)"
row "the chosen folder holds Docs's file" yes "$(installed_with docs.dat)"
row "Extra, left out, is not installed" no "$(installed_with extra.dat)"
row "the log is in the chosen folder" yes "$(installed_with install.log)"
row "the description's folder was not used" no "$([ -e "$M/default" ] && echo yes || echo no)"
LINK=$(find "$PREFIX/drive_c" -path "*/$GROUP/*" -iname 'Wizard Link*' 2>/dev/null | head -n 1)
row "the typed program group holds the link" yes "$([ -n "$LINK" ] && echo yes || echo no)"
row "the entry names the chosen folder" yes \
    "$("$WINE_RUN" reg query "$UNINSTALL_KEY" /v InstallLocation </dev/null 2>/dev/null | tr -d '\r' |
        grep -qF "$(winpath "$M/chosen")" && echo yes || echo no)"
row "the installation shows in what the checks compare" changed \
    "$([ "$BEFORE" = "$(state)" ] && echo same || echo changed)"
"$WINE_RUN" "$M/medium/engine-$VERSION.exe" mode=remove "log=$(winpath "$M/chosen")\\install.log" \
    "output=$(winpath "$M/remove.out")" </dev/null >/dev/null 2>&1
row "removed again" 0 "$?"
row "the machine is as before" same "$([ "$BEFORE" = "$(state)" ] && echo same || echo changed)"

# 2. Cancel on each page changes nothing.
for target in welcome licence destination components group ready; do
    start
    go_to "$target"
    if [ "$target" = welcome ]; then
        # No keeps the wizard on its page.
        key Escape
        answer n cancel-question
        row "welcome: No to the question keeps the page" welcome "$(page)"
    fi
    if [ "$target" = licence ]; then
        key alt+n
        key Return
        row "licence declined: Next does nothing" licence "$(page)"
    fi
    key Escape
    answer Return
    finish
    row "$target: cancelled (exit code)" 7 "$STATUS"
    row "$target: cancelled on that page" yes \
        "$(grep -q "^wizard cancelled on $target" "$OUT" && echo yes || echo no)"
    row "$target: nothing changed" same "$([ "$BEFORE" = "$(state)" ] && echo same || echo changed)"
done

echo "$FAILS failed"
[ "$FAILS" = 0 ]
