#!/bin/bash
# scripts/make-medium.sh end to end: the sample product laid out as a folder and a CD image whose
# names a CD-ROM driver reads, the laid-out description accepted in place by the engine, and
# descriptions the medium builder must refuse without writing anything. The product's files are
# stored compressed (each expands back to its source, verified) unless --no-compress is given.
#   make_medium_test.sh <source root> <build tree>
set -u
ROOT=$1 BUILD=$2
export TARVO_TREE=$BUILD
"$BUILD/wine-run" --runnable || exit $?
command -v isoinfo >/dev/null || { echo "SKIPPED: isoinfo is missing"; exit 77; }

W=$(mktemp -d "$BUILD/make-medium-test.XXXXXX")
trap 'rm -rf "$W"' EXIT
FAILS=0
row() { # <case> <expected> <seen>
    local verdict=ok
    [ "$2" = "$3" ] || { verdict=FAILED; FAILS=$((FAILS + 1)); }
    printf '%-58s expected %-10s saw %-10s %s\n' "$1" "$2" "$3" "$verdict"
}
yes_no() { if "$@"; then echo yes; else echo no; fi; }
winpath() { echo "Z:${1//\//\\}"; }
MAKE="$ROOT/scripts/make-medium.sh"
PACK="$ROOT/scripts/medium-compress.py"
# The original a compressed medium file stands for, verified; empty when it is damaged.
expanded() { # <medium file>
    local out="$W/expanded.$RANDOM"
    python3 "$PACK" expand "$1" "$out" 2>/dev/null && cat "$out"
    rm -f "$out"
}
expands_to() { # <medium file> <original>
    local out="$W/expanded.$RANDOM" status=1
    python3 "$PACK" expand "$1" "$out" 2>/dev/null && cmp -s "$out" "$2" && status=0
    rm -f "$out"
    return $status
}
compressed() { [ "$(head -c 8 "$1" | od -An -c | tr -d ' ')" = 'TVZ1032\r\n\0' ]; }

# The sample product's files, as its build leaves them, and a font file (the check only asks
# that it is there).
SAMPLE="$ROOT/examples/sample-product/product.txt"
mkdir -p "$W/source/files"
cp -r "$BUILD"/examples/sample-product/files/* "$W/source/files/"
cp "$BUILD/Morvik.dll" "$W/source/"
printf 'not really a font\n' >"$W/source/files/tarvosample.ttf"

"$MAKE" "$SAMPLE" "$W/out/medium" --iso --source "$W/source" >"$W/sample.out" 2>&1
row "sample product: exit code" 0 "$?"
sed 's/^/    /' "$W/sample.out"
M="$W/out/medium"
same() { cmp -s "$1" "$2"; }
row "loader on the medium" yes "$(yes_no same "$M/Quenda.exe" "$BUILD/Quenda.exe")"
row "the loader also as SETUP.EXE" yes "$(yes_no same "$M/SETUP.EXE" "$BUILD/Quenda.exe")"
row "AUTORUN.INF starts SETUP.EXE with the product's icon" \
    "[autorun]|open=SETUP.EXE|icon=AUTORUN.ICO|label=Tarvo Sample|" \
    "$(tr -d '\r' <"$M/AUTORUN.INF" | tr '\n' '|')"
row "AUTORUN.INF: lines end in CR LF" 4 "$(grep -c $'\r$' "$M/AUTORUN.INF")"
row "AUTORUN.ICO is the description's Icon" yes \
    "$(yes_no same "$M/AUTORUN.ICO" "$(dirname "$SAMPLE")/sample.ico")"
row "engine as ravell32.dll" yes "$(yes_no test -s "$M/ravell32.dll")"
row "setup/desc.txt is the description's disclaimer" yes \
    "$(yes_no same "$M/setup/desc.txt" "$(dirname "$SAMPLE")/disclaimer.txt")"
row "product.txt is the description" yes "$(yes_no same "$M/product.txt" "$SAMPLE")"
for f in sampleapp.exe readme.txt sample.reg sampreg.dll sampcust.dll tarvoshr-2.dll \
    tarvosample.ttf; do
    row "files/$f stored compressed" yes "$(yes_no compressed "$M/files/$f")"
    row "files/$f expands to the source" yes "$(yes_no expands_to "$M/files/$f" "$W/source/files/$f")"
done
row "the output names what compression saved" yes \
    "$(yes_no grep -qE '^compressed: 15 product files, [0-9]+ bytes stored in [0-9]+$' "$W/sample.out")"
# The round trip's checks see damage: a byte flipped, a file cut short, a byte appended.
cp "$M/files/sampleapp.exe" "$W/damaged.exe"
printf '\xff' | dd of="$W/damaged.exe" bs=1 seek=200 conv=notrunc status=none
row "a flipped byte: the expansion fails" no "$(yes_no expands_to "$W/damaged.exe" "$W/source/files/sampleapp.exe")"
head -c -1 "$M/files/sampleapp.exe" >"$W/damaged.exe"
row "one byte short: the expansion fails" no "$(yes_no expands_to "$W/damaged.exe" "$W/source/files/sampleapp.exe")"
{ cat "$M/files/sampleapp.exe"; printf x; } >"$W/damaged.exe"
row "a byte appended: the expansion fails" no "$(yes_no expands_to "$W/damaged.exe" "$W/source/files/sampleapp.exe")"
row "the stored date is the source's" "$(stat -c %Y "$W/source/files/readme.txt")" \
    "$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(28); print((struct.unpack_from("<Q",d,20)[0]-116444736000000000)//10000000)' "$M/files/readme.txt")"

# Without compression the files are the source's, byte for byte.
"$MAKE" "$SAMPLE" "$W/plain/medium" --no-compress --source "$W/source" >"$W/plain.out" 2>&1
row "--no-compress: exit code" 0 "$?"
for f in sampleapp.exe readme.txt; do
    row "--no-compress: files/$f copied as it is" yes "$(yes_no same "$W/plain/medium/files/$f" "$W/source/files/$f")"
done
row "--no-compress: said so" yes "$(yes_no grep -qx 'not compressed (--no-compress)' "$W/plain.out")"
row "only what the description names (no tarvoshr-1.dll)" no \
    "$(yes_no test -e "$M/files/tarvoshr-1.dll")"
row "the output prints the medium's size" yes "$(yes_no grep -q '^medium size: [0-9]* bytes' "$W/sample.out")"

# The image: level 1 names for every driver, Joliet names for the long ones.
isoinfo -l -i "$W/out/medium.iso" >"$W/iso-l.txt" 2>&1
row "isoinfo -l: QUENDA.EXE" yes "$(yes_no grep -q ' QUENDA.EXE;1 *$' "$W/iso-l.txt")"
for f in SETUP.EXE AUTORUN.INF AUTORUN.ICO; do
    row "isoinfo -l: $f at the root" yes "$(yes_no awk -v f=" $f;1" '
        /^Directory listing of / { dir = $4 }
        dir == "/" && index($0, f) { found = 1 }
        END { exit !found }' "$W/iso-l.txt")"
done
isoinfo -d -i "$W/out/medium.iso" >"$W/iso-d.txt" 2>&1
row "the image's volume label is the product's" TARVO_SAMPLE \
    "$(sed -n 's/^Volume id: *//p' "$W/iso-d.txt" | tr -d ' ')"
row "isoinfo -l: RAVELL32.DLL" yes "$(yes_no grep -q ' RAVELL32.DLL;1 *$' "$W/iso-l.txt")"
row "isoinfo -l: SETUP/DESC.TXT" yes "$(yes_no awk '
    /^Directory listing of / { dir = $4 }
    dir == "/SETUP/" && / DESC.TXT;1 *$/ { found = 1 }
    END { exit !found }' "$W/iso-l.txt")"
row "isoinfo: no level 1 name longer than 8.3" 0 "$(isoinfo -f -i "$W/out/medium.iso" |
    awk -F/ '{ n = $NF; sub(/;1$/, "", n); split(n, p, "."); if (length(p[1]) > 8 || length(p[2]) > 3 || n ~ /[^A-Z0-9_.]/) c++ } END { print c + 0 }')"
row "Joliet keeps files/sampleapp.exe" yes \
    "$(yes_no sh -c "isoinfo -J -f -i '$W/out/medium.iso' | grep -qx /files/sampleapp.exe")"
row "the long names are named in a note" yes "$(yes_no grep -q '^note: not 8.3 names.*sampleapp.exe' "$W/sample.out")"

# The laid-out medium is what the engine expects: its description is accepted where it lies.
"$BUILD/wine-run" "$BUILD/tests/bin/standins/productengine.exe" mode=validate \
    "description=$(winpath "$M/product.txt")" "output=$(winpath "$W/inplace.out")" \
    </dev/null >/dev/null 2>&1
row "the medium's own description accepted in place" 0 "$?"

# The loader started as SETUP.EXE from the medium finds the engine beside itself, and the
# engine its description there: in batch mode it waits for the engine's check of the medium.
"$BUILD/wine-run" "$M/SETUP.EXE" /silent mode=validate "output=$(winpath "$W/setup-exe.out")" \
    </dev/null >/dev/null 2>&1
row "SETUP.EXE started the engine beside it" yes \
    "$(yes_no grep -q '^product Tarvo Sample' "$W/setup-exe.out")"
row "SETUP.EXE: the engine checked the medium's own files" yes \
    "$(yes_no grep -q '^medium [0-9]* files.sampleapp.exe' "$W/setup-exe.out")"

# Refusals: nothing written, the file and the line named.
mkdir -p "$W/bad"
cp "$W/source/files/readme.txt" "$W/bad/readme.txt"
printf 'Disclaimer text\r\n' >"$W/bad/disclaimer.txt"
description() { # <extra product line> <extra file line>
    printf '[Product]\r\nName = Bad\r\nDestination = <P>\\Bad\r\n%s\r\n\r\n' "$1"
    printf '[Component Main]\r\nSelected = 1\r\n\r\n'
    printf '[WSetupFile Readme]\r\nComponent = Main\r\nSourceDir = <S>\r\nMediaName = readme.txt\r\n'
    printf 'DestName = readme.txt\r\n%s\r\n' "$2"
}
refusal() { # <case> <expected text in the message> <description text> [<prepared output>]
    local name=$1 want=$2 out="$W/refused/$RANDOM"
    printf '%s' "$3" >"$W/bad/product.txt"
    if [ -n "${4:-}" ]; then mkdir -p "$out"; echo keep >"$out/user.txt"; fi
    "$MAKE" "$W/bad/product.txt" "$out" --iso >"$W/refusal.out" 2>&1
    row "$name: exit code" 2 "$?"
    row "$name: message" yes "$(yes_no grep -qF "$want" "$W/refusal.out")"
    if [ -n "${4:-}" ]; then
        row "$name: the folder's content untouched" keep "$(cat "$out/user.txt")"
    else
        row "$name: no output folder" no "$(yes_no test -e "$out")"
    fi
    row "$name: no image" no "$(yes_no test -e "$out.iso")"
    sed 's/^/    /' "$W/refusal.out"
}
refusal "a missing source file" "product.txt(9): source file" \
    "$(description 'Disclaimer = disclaimer.txt' '' | sed 's/MediaName = readme.txt/MediaName = absent.txt/')"
refusal "an unknown field" "product.txt(14): unknown field \"Colour\"" \
    "$(description 'Disclaimer = disclaimer.txt' 'Colour = blue')"
refusal "several problems, each named" "product.txt(7): Selected takes 0 or 1" \
    "$(description 'Disclaimer = disclaimer.txt' 'Colour = blue' | sed 's/Selected = 1/Selected = 2/')"
row "several problems: the second one named too" yes \
    "$(yes_no grep -qF 'product.txt(14): unknown field "Colour"' "$W/refusal.out")"
refusal "no Disclaimer" "names no Disclaimer" "$(description '' '')"
# A disclaimer in a folder, written with a backslash, is found.
mkdir -p "$W/bad/texts"
printf 'In a folder\r\n' >"$W/bad/texts/Legal.TXT"
description 'Disclaimer = texts\legal.txt' '' >"$W/bad/product.txt"
"$MAKE" "$W/bad/product.txt" "$W/nested/medium" >"$W/nested.out" 2>&1
row "a disclaimer below the description's folder: exit code" 0 "$?"
row "a disclaimer below the description's folder: laid out" yes \
    "$(yes_no cmp -s "$W/nested/medium/setup/desc.txt" "$W/bad/texts/Legal.TXT")"
row "without an Icon: AUTORUN.INF shows SETUP.EXE's own" yes \
    "$(yes_no grep -qx $'icon=SETUP.EXE,0\r' "$W/nested/medium/AUTORUN.INF")"
row "without an Icon: no AUTORUN.ICO" no "$(yes_no test -e "$W/nested/medium/AUTORUN.ICO")"
# Names spelt otherwise than on the source: the medium takes the description's spelling, in a
# folder whose files keep their own names and for a file of its own.
mkdir -p "$W/cased/Sub Folder"
printf 'Disclaimer text\r\n' >"$W/cased/disclaimer.txt"
for f in one.txt two.txt Three.TXT; do echo "$f" >"$W/cased/Sub Folder/$f"; done
{
    printf '[Product]\r\nName = Cased\r\nDestination = <P>\\Cased\r\n'
    printf 'Disclaimer = disclaimer.txt\r\n\r\n[Component Main]\r\nSelected = 1\r\n\r\n'
    for f in one.txt two.txt three.txt; do
        printf '[WSetupFile %s]\r\nComponent = Main\r\nSourceDir = <S>\\SUB FOLDER\r\n' "${f%.txt}"
        printf 'MediaName = %s\r\nDestName = %s\r\n\r\n' "$f" "$f"
    done
} >"$W/cased/product.txt"
"$MAKE" "$W/cased/product.txt" "$W/cased-out/medium" >"$W/cased.out" 2>&1
row "names spelt otherwise: exit code" 0 "$?"
row "names spelt otherwise: the description's spelling on the medium" \
    "SUB FOLDER/one.txt|SUB FOLDER/three.txt|SUB FOLDER/two.txt|" \
    "$(cd "$W/cased-out/medium" && find . -path './SUB FOLDER/*' -type f | sed 's|^\./||' |
        sort | tr '\n' '|')"
row "names spelt otherwise: three.txt is Three.TXT's copy" Three.TXT \
    "$(expanded "$W/cased-out/medium/SUB FOLDER/three.txt")"
# Left plain, a file that begins as a compressed one does would be taken for one.
cp "$W/bad/readme.txt" "$W/lookalike.txt"
python3 "$PACK" compress < <(printf '%s\0%s\0%s\0' x "$W/bad/readme.txt" "$W/lookalike.txt") >/dev/null
cp "$W/bad/readme.txt" "$W/bad/readme.orig"
cp "$W/lookalike.txt" "$W/bad/readme.txt"
description 'Disclaimer = disclaimer.txt' '' >"$W/bad/product.txt"
"$MAKE" "$W/bad/product.txt" "$W/lookalike/medium" --no-compress >"$W/lookalike.out" 2>&1
row "--no-compress of a file that looks compressed: exit code" 2 "$?"
row "--no-compress of a file that looks compressed: named" yes \
    "$(yes_no grep -q 'taken for compressed ones.*readme.txt' "$W/lookalike.out")"
row "--no-compress of a file that looks compressed: nothing written" no "$(yes_no test -e "$W/lookalike")"
cp "$W/bad/readme.orig" "$W/bad/readme.txt"
refusal "a missing disclaimer file" "product.txt(4): the disclaimer file \"gone.txt\"" \
    "$(description 'Disclaimer = gone.txt' '')"
refusal "a source outside the medium" "is not below <S>" \
    "$(description 'Disclaimer = disclaimer.txt' '' |
        sed "s|SourceDir = <S>|SourceDir = $(winpath "$W/source/files" | sed 's/\\/\\\\/g')|")"
refusal "an output folder that holds files" "already there" \
    "$(description 'Disclaimer = disclaimer.txt' '')" prepared
refusal "a file in the loader's place" "would take the place of the medium's own" \
    "$(description 'Disclaimer = disclaimer.txt' '' | sed 's/MediaName = readme.txt/MediaName = product.txt/')"
cp "$W/bad/readme.txt" "$W/bad/Setup.exe"
refusal "a file in SETUP.EXE's place" "would take the place of the medium's own" \
    "$(description 'Disclaimer = disclaimer.txt' '' | sed 's/MediaName = readme.txt/MediaName = Setup.exe/')"
refusal "a missing icon file" "product.txt(5): the icon file \"none.ico\" is missing" \
    "$(description $'Disclaimer = disclaimer.txt\r\nIcon = none.ico' '')"
refusal "an icon that is not one" "product.txt(5): the icon file \"readme.txt\" is not an icon" \
    "$(description $'Disclaimer = disclaimer.txt\r\nIcon = readme.txt' '')"

# A read-only place for the medium: one line that says so, nothing written. As root (the suite's
# user) a folder without write permission still takes files, so the folder is made read-only by
# a read-only bind mount in a mount namespace of the builder's own.
mkdir -p "$W/readonly"
description 'Disclaimer = disclaimer.txt' '' >"$W/bad/product.txt"
readonly_make() { # <output> [<more arguments>]
    if [ "$(id -u)" != 0 ]; then
        chmod a-w "$W/readonly"
        "$MAKE" "$W/bad/product.txt" "$@"
        local status=$?
        chmod u+w "$W/readonly"
        return $status
    fi
    unshare -m sh -c 'mount --bind -o ro "$1" "$1" && shift && exec "$@"' sh "$W/readonly" \
        "$MAKE" "$W/bad/product.txt" "$@"
}
if [ "$(id -u)" != 0 ] || unshare -m true 2>/dev/null; then
    readonly_make "$W/readonly/medium" --iso >"$W/readonly.out" 2>&1
    row "a read-only parent: exit code" 1 "$?"
    row "a read-only parent: one line that says so" \
        "cannot write into $W/readonly: the folder is read-only; nothing was written" \
        "$(cat "$W/readonly.out")"
    row "a read-only parent: nothing written" "" "$(ls -A "$W/readonly")"
    readonly_make "$W/readonly/deeper/medium" >"$W/readonly.out" 2>&1
    row "a read-only grandparent: one line that says so" \
        "cannot write into $W/readonly: the folder is read-only; nothing was written" \
        "$(cat "$W/readonly.out")"
    readonly_make "$W/writable/medium" "--iso=$W/readonly/medium.iso" >"$W/readonly.out" 2>&1
    row "the image's folder read-only: one line that says so" \
        "cannot write into $W/readonly: the folder is read-only; nothing was written" \
        "$(cat "$W/readonly.out")"
    row "the image's folder read-only: no medium either" no "$(yes_no test -e "$W/writable")"
else
    echo "SKIPPED (not counted): a read-only parent (no mount namespace for root here)"
fi

echo "$FAILS failed"
[ "$FAILS" = 0 ]
