#!/bin/bash
# A diskette set end to end, in a Wine prefix of its own that runs as <family>:
# make-medium.sh --floppies on a product larger than a diskette, then
#   - the images: 1.44 MB FAT12, labelled, a file cut where a diskette is full and continued on
#     the next (its parts joined are the medium's file);
#   - the installation from drive A: (typed as a floppy drive), started as A:\SETUP.EXE: the
#     engine asks for each diskette by its label, and the check inserts the one it names (the
#     link dosdevices/a: pointed at the folder that holds what that image holds, OK pressed in
#     the real message box), and for the first again at the end (the engine copies itself for the
#     removal); the files arrive whole; the removal takes them away;
#   - a diskette that is never inserted (Cancel, then Yes to giving up): the engine's exit code 17, the
#     installation rolled back, the machine as it was;
#   - a byte flipped in a part on the second diskette: exit code 16, the file named, rolled back.
#   floppies_test.sh <source root> <build tree> <win98|win2k|...>
set -u
ROOT=$1 BUILD=$2 FAMILY=$3
. "$ROOT/tests/support/window_check.sh"
. "$ROOT/tests/support/disk_changer.sh"
require_display
command -v mformat >/dev/null || { echo "SKIPPED: mtools is missing"; exit 77; }
W=$(mktemp -d "$BUILD/floppies-test.XXXXXX")
export TARVO_WINEPREFIX="$W/prefix" WINEPREFIX="$W/prefix"
SERVER=/usr/lib/wine/wineserver
cleanup() {
    $SERVER -k >/dev/null 2>&1
    [ -n "${KEEP:-}" ] || rm -rf "$W"
}
trap cleanup EXIT
"$BUILD/wine-run" --runnable || exit $?
"$BUILD/wine-run" --init >/dev/null 2>&1 || exit 1
wrun() { "$BUILD/wine-run" "$@" </dev/null 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }
yes_no() { if "$@"; then echo yes; else echo no; fi; }
wrun reg add 'HKCU\Software\Wine' /v Version /d "$FAMILY" /f >/dev/null
wrun reg add 'HKLM\Software\Wine\Drives' /v 'a:' /d floppy /f >/dev/null
$SERVER -k >/dev/null 2>&1

# The product: two files that do not compress (one larger than a diskette), one that does.
mkdir -p "$W/source/files"
head -c 1900000 /dev/urandom >"$W/source/files/big.bin"
head -c 400000 /dev/urandom >"$W/source/files/second.bin"
for i in $(seq 4000); do printf 'line %d of the notes\r\n' "$i"; done >"$W/source/files/notes.txt"
printf 'Diskette test\r\n' >"$W/source/disclaimer.txt"
cat >"$W/source/product.txt" <<'TEXT'
[Product]
Name = Floppy Test
Destination = <P>\Floppy Test
Log = <D>\install.log
Disclaimer = disclaimer.txt

[Component Main]
Selected = 1

[WSetupFile Big]
Component = Main
SourceDir = <S>\files
MediaName = big.bin
DestName = big.bin

[WSetupFile Second]
Component = Main
SourceDir = <S>\files
MediaName = second.bin
DestName = second.bin

[WSetupFile Notes]
Component = Main
SourceDir = <S>\files
MediaName = notes.txt
DestName = notes.txt
TEXT
TARVO_TREE=$BUILD "$ROOT/scripts/make-medium.sh" "$W/source/product.txt" "$W/out/medium" \
    --floppies >"$W/make.out" 2>&1
row "make-medium.sh --floppies: exit code" 0 "$?"
sed -n '/^diskettes:/,$p' "$W/make.out" | sed 's/^/    /'
IMAGES="$W/out/medium-floppies"
COUNT=$(find "$IMAGES" -name 'DISK*.IMG' | wc -l)
row "more than one diskette" yes "$(yes_no test "$COUNT" -ge 2)"
for n in $(seq "$COUNT"); do
    image="$IMAGES/DISK$n.IMG"
    row "DISK$n.IMG: 1,474,560 bytes" 1474560 "$(stat -c %s "$image")"
    row "DISK$n.IMG: FAT12" "FAT12" "$(dd if="$image" bs=1 skip=54 count=5 status=none)"
    row "DISK$n.IMG: labelled" "FLOPPY_T_$n" \
        "$(MTOOLS_SKIP_CHECK=1 mlabel -s -i "$image" :: | sed 's/^ *Volume label is *//; s/ *$//')"
done
DISKS="$W/disks"
extract_disks "$IMAGES" "$DISKS"
row "the first diskette holds the loader as SETUP.EXE" yes \
    "$(yes_no cmp -s "$DISKS/disk1/SETUP.EXE" "$BUILD/Quenda.exe")"
row "the first diskette holds the list of the set" yes "$(yes_no test -f "$DISKS/disk1/DISKSET.TXT")"
tr -d '\r' <"$DISKS/disk1/DISKSET.TXT" | sed 's/^/    /'
# The big file's parts, joined in the list's order, are the medium's file.
PARTS=$(tr -d '\r' <"$DISKS/disk1/DISKSET.TXT" | awk '$1 == "file" && $NF == "files\\big.bin" { print $8 }')
: >"$W/joined"
for part in ${PARTS//,/ }; do cat "$DISKS/disk${part%%:*}/files/big.bin" >>"$W/joined"; done
row "big.bin lies on more than one diskette" yes "$(yes_no grep -q , <<<"$PARTS")"
row "its parts joined are the medium's file" yes "$(yes_no cmp -s "$W/joined" "$W/out/medium/files/big.bin")"

C="$WINEPREFIX/drive_c"
DEST_UNIX="$C/Program Files/Floppy Test"
LINK="$WINEPREFIX/dosdevices/a:"
PROBE="$BUILD/wine-run $BUILD/tests/bin/message_box_probe.exe"
# Installs from A:\<program> with diskette 1 in the drive, answering the prompts <way>. The
# loader (SETUP.EXE) does not hand on the engine's exit code: the failures start the engine
# (ravell32.dll) themselves, as the loader does.
install_from_a() { # <name> <way> <program>
    ln -sfn "$DISKS/disk1" "$LINK"
    "$BUILD/wine-run" "A:\\$3" /batch "output=Z:${W//\//\\}\\$1.out" </dev/null \
        >/dev/null 2>&1 &
    local pid=$!
    change_disks "$pid" "Floppy Test" "$LINK" "$DISKS" "$PROBE" "$2" "$W/$1.answers" &
    local changer=$!
    wait "$pid"
    local code=$?
    wait "$changer"
    sed 's/^/    /' "$W/$1.answers"
    return $code
}
snapshot() { wrun "$BUILD/tests/bin/snapshot.exe" "Z:${W//\//\\}\\$1.txt" C: 'HKEY_LOCAL_MACHINE\Software' 'HKEY_CURRENT_USER\Software'; }

# Never inserted: the prompt for the second diskette is given up.
snapshot before
install_from_a never give-up ravell32.dll
row "never inserted: exit code (17)" 17 "$?"
row "never inserted: the file is named" yes \
    "$(yes_no grep -q 'files\\big.bin lies on a diskette that was not inserted' "$W/never.out")"
row "never inserted: rolled back" yes "$(yes_no grep -q '^rollback: machine put back as it was' "$W/never.out")"
snapshot after-never
row "never inserted: the machine as it was" yes "$(yes_no cmp -s "$W/before.txt" "$W/after-never.txt")"
diff "$W/before.txt" "$W/after-never.txt" | head -n 10 | sed 's/^/    /'

# A damaged part on the second diskette.
cp -r "$DISKS" "$W/good-disks"
SECOND="$DISKS/disk2/files/big.bin"
printf '\x00' | dd of="$SECOND" bs=1 seek=5000 conv=notrunc status=none
cmp -s "$SECOND" "$W/good-disks/disk2/files/big.bin" &&
    printf '\x01' | dd of="$SECOND" bs=1 seek=5000 conv=notrunc status=none
install_from_a damaged insert ravell32.dll
row "damaged part: exit code (16)" 16 "$?"
row "damaged part: the file is named" yes "$(yes_no grep -q 'files\\big.bin is damaged' "$W/damaged.out")"
snapshot after-damaged
row "damaged part: the machine as it was" yes "$(yes_no cmp -s "$W/before.txt" "$W/after-damaged.txt")"
rm -rf "$DISKS"
mv "$W/good-disks" "$DISKS"

# The installation across the set, and its removal.
install_from_a install insert SETUP.EXE
row "install: exit code (the loader's)" 0 "$?"
row "install: the engine ended well" yes "$(yes_no grep -q '^summary install: ' "$W/install.out")"
row "install: asked for every diskette after the first" yes \
    "$(yes_no test "$(grep -c 'inserted, OK' "$W/install.answers")" -ge "$((COUNT - 1))")"
row "install: then for the first again (the engine's copy of itself)" "disk 1" \
    "$(tail -n 1 "$W/install.answers" | sed -n 's/.*: \(disk 1\) inserted, OK$/\1/p')"
for f in big.bin second.bin notes.txt; do
    row "install: $f arrived whole" yes "$(yes_no cmp -s "$DEST_UNIX/$f" "$W/source/files/$f")"
done
wrun "$W/out/medium/ravell32.dll" mode=remove "log=C:\\Program Files\\Floppy Test\\install.log" \
    "output=Z:${W//\//\\}\\remove.out"
row "removal: exit code" 0 "$?"
snapshot after-removal
row "after the removal: the machine as it was" yes "$(yes_no cmp -s "$W/before.txt" "$W/after-removal.txt")"
diff "$W/before.txt" "$W/after-removal.txt" | head -n 10 | sed 's/^/    /'

echo "$FAILS failed"
[ "$FAILS" = 0 ]
