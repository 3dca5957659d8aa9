#!/bin/bash
# scripts/make-medium.sh end to end: the sample product laid out as a folder and a CD image whose
# names a CD-ROM driver reads, the laid-out description accepted in place by the engine, and
# descriptions the medium builder must refuse without writing anything.
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

# The sample product's files, as its build leaves them, and a font file (the check only asks
# that it is there).
SAMPLE="$ROOT/examples/sample-product/product.txt"
mkdir -p "$W/source/files"
cp "$BUILD"/examples/sample-product/files/* "$W/source/files/"
printf 'not really a font\n' >"$W/source/files/tarvosample.ttf"

"$MAKE" "$SAMPLE" "$W/out/medium" --iso --source "$W/source" >"$W/sample.out" 2>&1
row "sample product: exit code" 0 "$?"
sed 's/^/    /' "$W/sample.out"
M="$W/out/medium"
same() { cmp -s "$1" "$2"; }
row "loader on the medium" yes "$(yes_no same "$M/Quenda.exe" "$BUILD/Quenda.exe")"
row "engine as ravell32.dll" yes "$(yes_no test -s "$M/ravell32.dll")"
row "setup/desc.txt is the description's disclaimer" yes \
    "$(yes_no same "$M/setup/desc.txt" "$(dirname "$SAMPLE")/disclaimer.txt")"
row "product.txt is the description" yes "$(yes_no same "$M/product.txt" "$SAMPLE")"
for f in sampleapp.exe readme.txt sample.reg sampreg.dll sampcust.dll tarvoshr-2.dll \
    tarvosample.ttf; do
    row "files/$f copied from the source" yes "$(yes_no same "$M/files/$f" "$W/source/files/$f")"
done
row "only what the description names (no tarvoshr-1.dll)" no \
    "$(yes_no test -e "$M/files/tarvoshr-1.dll")"
row "the output prints the medium's size" yes "$(yes_no grep -q '^medium size: [0-9]* bytes' "$W/sample.out")"

# The image: level 1 names for every driver, Joliet names for the long ones.
isoinfo -l -i "$W/out/medium.iso" >"$W/iso-l.txt" 2>&1
row "isoinfo -l: QUENDA.EXE" yes "$(yes_no grep -q ' QUENDA.EXE;1 *$' "$W/iso-l.txt")"
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
refusal "a missing disclaimer file" "product.txt(4): the disclaimer file \"gone.txt\"" \
    "$(description 'Disclaimer = gone.txt' '')"
refusal "a source outside the medium" "is not below <S>" \
    "$(description 'Disclaimer = disclaimer.txt' '' |
        sed "s|SourceDir = <S>|SourceDir = $(winpath "$W/source/files" | sed 's/\\/\\\\/g')|")"
refusal "an output folder that holds files" "already there" \
    "$(description 'Disclaimer = disclaimer.txt' '')" prepared
refusal "a file in the loader's place" "would take the place of the medium's own" \
    "$(description 'Disclaimer = disclaimer.txt' '' | sed 's/MediaName = readme.txt/MediaName = product.txt/')"

echo "$FAILS failed"
[ "$FAILS" = 0 ]
