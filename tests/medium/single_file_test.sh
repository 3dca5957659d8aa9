#!/bin/bash
# The single-file setup end to end, in a Wine prefix of its own that runs as <family>:
# make-medium.sh --single on a small product, then the one SETUP.EXE
#   - installs (its command line reaches the engine: the destination word), and leaves no
#     folder in the temporary folder;
#   - refuses itself with a byte flipped or its end cut off (exit 3), before anything is
#     extracted or installed;
#   - with too little room in the temporary folder (a 1 MiB tmpfs as the temporary drive, where
#     mounting is allowed) refuses with exit 4, nothing extracted;
#   - with replacements waiting for the restart leaves its folder to the restart, and a restart
#     (a fresh Wine server start) takes the folder's files away.
#   single_file_test.sh <source root> <build tree> <win98|win2k|...>
set -u
ROOT=$1 BUILD=$2 FAMILY=$3
W=$(mktemp -d "$BUILD/single-file-test.XXXXXX")
export TARVO_WINEPREFIX="$W/prefix" WINEPREFIX="$W/prefix"
SERVER=/usr/lib/wine/wineserver
MOUNTED=""
cleanup() {
    $SERVER -k >/dev/null 2>&1
    [ -z "$MOUNTED" ] || umount "$MOUNTED" 2>/dev/null
    [ -n "${KEEP:-}" ] || rm -rf "$W"
}
trap cleanup EXIT
"$BUILD/wine-run" --runnable || exit $?
"$BUILD/wine-run" --init >/dev/null 2>&1 || exit 1
"$BUILD/wine-run" reg add 'HKCU\Software\Wine' /v Version /d "$FAMILY" /f >/dev/null 2>&1
$SERVER -k >/dev/null 2>&1
FAILS=0
row() { # <case> <expected> <seen>
    local verdict=ok
    [ "$2" = "$3" ] || { verdict=FAILED; FAILS=$((FAILS + 1)); }
    printf '%-64s expected %-8s saw %-8s %s\n' "$1" "$2" "$3" "$verdict"
}
yes_no() { if "$@"; then echo yes; else echo no; fi; }
winpath() { echo "Z:${1//\//\\}"; }
wrun() { "$BUILD/wine-run" "$@" </dev/null 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }

mkdir -p "$W/source/files"
head -c 300000 /dev/urandom | base64 >"$W/source/files/notes.txt"
printf 'a readme\r\n' >"$W/source/files/readme.txt"
printf 'Single file test\r\n' >"$W/source/disclaimer.txt"
cat >"$W/source/product.txt" <<'TEXT'
[Product]
Name = Single File Test
Destination = <P>\Single File Test
Disclaimer = disclaimer.txt

[Component Main]
Selected = 1

[WSetupFile Notes]
Component = Main
SourceDir = <S>\files
MediaName = notes.txt
DestName = notes.txt

[WSetupFile Readme]
Component = Main
SourceDir = <S>\files
MediaName = readme.txt
DestName = readme.txt
CopyMode = 5
TEXT
TARVO_TREE=$BUILD "$ROOT/scripts/make-medium.sh" "$W/source/product.txt" "$W/out/medium" --single \
    >"$W/make.out" 2>&1
row "make-medium.sh --single: exit code" 0 "$?"
grep '^single file' "$W/make.out" | sed 's/^/    /'
SETUP="$W/out/medium-download/SETUP.EXE"
row "one SETUP.EXE, beginning with the program" yes \
    "$(yes_no cmp -s -n "$(stat -c %s "$BUILD/SingleSetup.exe")" "$SETUP" "$BUILD/SingleSetup.exe")"
row "smaller than the medium (compressed)" yes \
    "$(yes_no test "$(stat -c %s "$SETUP")" -lt "$(du -sb "$W/out/medium" | cut -f1)")"

C="$WINEPREFIX/drive_c"
TEMP_WIN=$(wrun cmd /c echo %TEMP%)
TEMP_UNIX="$C/${TEMP_WIN#C:\\}"
TEMP_UNIX=${TEMP_UNIX//\\//}
leftovers() { find "$TEMP_UNIX" -maxdepth 1 -iname 'TVS*.TMP' 2>/dev/null | wc -l; }
DEST="C:\\Elsewhere\\Single"
DEST_UNIX="$C/Elsewhere/Single"

# Damaged copies first: nothing may be extracted or installed.
cp "$SETUP" "$W/flipped.exe"
SIZE=$(stat -c %s "$SETUP")
printf '\x5a' | dd of="$W/flipped.exe" bs=1 seek=$((SIZE / 2)) conv=notrunc status=none
cmp -s "$SETUP" "$W/flipped.exe" && printf '\x00' |
    dd of="$W/flipped.exe" bs=1 seek=$((SIZE / 2)) conv=notrunc status=none
head -c $((SIZE - 100)) "$SETUP" >"$W/cut.exe"
for damaged in flipped cut; do
    wrun "$W/$damaged.exe" /batch "destination=$DEST"
    row "$damaged: exit code (3: damaged)" 3 "$?"
    row "$damaged: nothing extracted into $TEMP_WIN" 0 "$(leftovers)"
    row "$damaged: nothing installed" no "$(yes_no test -e "$DEST_UNIX")"
done

# Too little room in the temporary folder.
SMALL="$W/small"
mkdir -p "$SMALL"
if mount -t tmpfs -o size=1m tmpfs "$SMALL" 2>/dev/null; then
    MOUNTED=$SMALL
    ln -s "$SMALL" "$WINEPREFIX/dosdevices/t:"
    # The user's temporary folder, as Wine gives it to a process: from the user's environment.
    wrun reg add 'HKCU\Environment' /v TEMP /d 'T:\' /f >/dev/null
    wrun reg add 'HKCU\Environment' /v TMP /d 'T:\' /f >/dev/null
    $SERVER -k >/dev/null 2>&1
    wrun "$SETUP" /batch "destination=$DEST"
    row "1 MiB temporary drive: exit code (4: no room)" 4 "$?"
    row "1 MiB temporary drive: nothing extracted" 0 "$(find "$SMALL" -mindepth 1 | wc -l)"
    row "1 MiB temporary drive: nothing installed" no "$(yes_no test -e "$DEST_UNIX")"
    wrun reg add 'HKCU\Environment' /v TEMP /d "$TEMP_WIN" /f >/dev/null
    wrun reg add 'HKCU\Environment' /v TMP /d "$TEMP_WIN" /f >/dev/null
    $SERVER -k >/dev/null 2>&1
    rm -f "$WINEPREFIX/dosdevices/t:"
else
    echo "(the room check: skipped, this machine cannot mount a small file system)"
fi

# The installation, with a word of its command line for the engine.
wrun "$SETUP" /batch "destination=$DEST" "output=$(winpath "$W/install.out")"
row "install: exit code (the loader's)" 0 "$?"
row "the destination word reached the engine: notes.txt there" yes \
    "$(yes_no cmp -s "$DEST_UNIX/notes.txt" "$W/source/files/notes.txt")"
row "no folder left in the temporary folder" 0 "$(leftovers)"
wrun "$W/out/medium/ravell32.dll" mode=remove "log=$DEST\\install.log" \
    "output=$(winpath "$W/remove.out")"
row "removed again" 0 "$?"

# A replacement waits for the restart: a readme of the user's is there, which the product's
# replaces at the restart (CopyMode 5). The folder goes at the restart too.
mkdir -p "$DEST_UNIX"
printf 'an older readme\r\n' >"$DEST_UNIX/readme.txt"
wrun "$SETUP" /batch "destination=$DEST" "output=$(winpath "$W/install2.out")"
row "restart pending: exit code" 0 "$?"
row "restart pending: the engine said so" yes "$(yes_no grep -q '^restart needed' "$W/install2.out")"
row "restart pending: the folder waits for the restart" 1 "$(leftovers)"
FOLDER=$(find "$TEMP_UNIX" -maxdepth 1 -iname 'TVS*.TMP' | head -n 1)
row "restart pending: its files are still there" yes "$(yes_no test -f "$FOLDER/Quenda.exe")"
$SERVER -k >/dev/null 2>&1
$SERVER -w >/dev/null 2>&1
$SERVER -p </dev/null >/dev/null 2>&1
wrun wineboot >/dev/null 2>&1
row "after the restart: the folder's files are gone" 0 \
    "$(find "$TEMP_UNIX" -ipath '*/TVS*.TMP/*' -type f | wc -l)"
if [ "$FAMILY" != win95 ] && [ "$FAMILY" != win98 ]; then
    row "after the restart: the folder is gone (NT family)" 0 "$(leftovers)"
fi
row "after the restart: the product's readme took the place of the older one" yes \
    "$(yes_no cmp -s "$DEST_UNIX/readme.txt" "$W/source/files/readme.txt")"

[ "$FAILS" = 0 ] || { echo "$FAILS rows FAILED"; exit 1; }
echo "all rows ok"
