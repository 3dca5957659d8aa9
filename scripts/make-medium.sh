#!/bin/bash
# Lays out an installation medium from a product description:
#
#   scripts/make-medium.sh <description> <output folder> [--iso[=<image>]] [--source <folder>]
#
# The description is first checked whole by the engine itself (mode=validate: every problem with
# the file, the line and the reason); a refused description writes nothing, not even the output
# folder. An accepted one is laid out as the loader and the engine expect it:
#
#   Quenda.exe          the loader
#   ravell32.dll        the setup engine, which the loader starts by default
#   product.txt         the description, where the engine looks for it by default
#   setup\desc.txt      the loader's disclaimer: the file the description's Disclaimer names
#   <files>             every file the description copies from the medium, under the path below
#                       <S> that the engine resolves (SourceDir and MediaName)
#
# --source names the folder that stands for <S> while the medium is made (where the files are
# found; default: the description's folder). With --iso, an ISO 9660 image of the medium is made
# too (default: <output folder>.iso): level 1 names (8.3, upper case), which every CD-ROM driver
# reads, NT 3.51's included, plus Joliet names, which keep the long names for Windows 95, NT 4.0
# and later. A medium name that is not 8.3 is named in a note: where no Joliet names are read,
# the engine would not find it on the CD.
#
# TARVO_TREE chooses the build whose loader and engine go on the medium: i686 (the product, the
# default), x86_64 (the test build, for runs under wine64) or the path of a build tree. The check
# runs that tree's engine, or the x86_64 one where the machine cannot run 32-bit programs.
# TARVO_TEST_ENGINE=1 puts the engine's test build (productengine, which knows the switches of
# the kill-point, cancel and window tests) on the medium as ravell32.dll instead of the shipped one.
# Exit codes: 0 laid out; 2 the description (or the command) was refused; 1 anything else failed.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
usage() {
    echo "usage: make-medium.sh <description> <output folder> [--iso[=<image>]] [--source <folder>]" >&2
    exit 2
}
refuse() {
    echo "refused $*" >&2
    echo "nothing was written" >&2
    exit 2
}

DESCRIPTION="" OUT="" ISO="" SOURCE=""
while [ $# -gt 0 ]; do
    case "$1" in
        --iso) ISO=default ;;
        --iso=*) ISO=${1#--iso=} ;;
        --source) [ $# -ge 2 ] || usage; SOURCE=$2; shift ;;
        --source=*) SOURCE=${1#--source=} ;;
        -h | --help) sed -n '2,27p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        -*) echo "unknown option: $1" >&2; usage ;;
        *)
            if [ -z "$DESCRIPTION" ]; then DESCRIPTION=$1
            elif [ -z "$OUT" ]; then OUT=$1
            else usage; fi ;;
    esac
    shift
done
[ -n "$DESCRIPTION" ] && [ -n "$OUT" ] || usage
[ -f "$DESCRIPTION" ] || refuse "$DESCRIPTION: cannot be read"
DESCRIPTION=$(cd "$(dirname "$DESCRIPTION")" && pwd)/$(basename "$DESCRIPTION")
DESC_DIR=$(dirname "$DESCRIPTION")
SOURCE=${SOURCE:-$DESC_DIR}
[ -d "$SOURCE" ] || refuse "$SOURCE: the source folder does not exist"
SOURCE=$(cd "$SOURCE" && pwd)
OUT=${OUT%/}
[ "$ISO" = default ] && ISO="$OUT.iso"
if [ -e "$OUT" ] && { [ ! -d "$OUT" ] || [ -n "$(ls -A "$OUT")" ]; }; then
    refuse "$OUT: already there and not an empty folder"
fi
if [ -n "$ISO" ] && [ -e "$ISO" ]; then
    refuse "$ISO: already there"
fi

TREE=${TARVO_TREE:-i686}
case "$TREE" in
    i686 | x86_64) BUILD="$ROOT/build/$TREE" ;;
    *) BUILD=$(cd "$TREE" && pwd) ;;
esac
LOADER="$BUILD/Quenda.exe"
ENGINE="$BUILD/ravell32.dll"
if [ "${TARVO_TEST_ENGINE:-0}" = 1 ] || [ ! -f "$ENGINE" ]; then
    ENGINE="$BUILD/tests/bin/standins/productengine.exe"
fi
for f in "$LOADER" "$ENGINE"; do
    [ -f "$f" ] || { echo "$f is missing: build the tree first (scripts/build.sh)" >&2; exit 1; }
done
CHECK_BUILD=$BUILD
CHECKER=$ENGINE
if ! "$BUILD/wine-run" --runnable 2>/dev/null; then
    CHECK_BUILD="$ROOT/build/x86_64"
    CHECKER="$CHECK_BUILD/tests/bin/standins/productengine.exe"
    [ -f "$CHECKER" ] || { echo "$CHECKER is missing: build the x86_64 tree" >&2; exit 1; }
    echo "note: this machine cannot run $BUILD's programs; the x86_64 engine checks the description"
fi

winpath() { echo "Z:${1//\//\\}"; }
TMP=$(mktemp -d)
STAGE=""
cleanup() {
    rm -rf "$TMP"
    [ -z "$STAGE" ] || rm -rf "$STAGE"
}
trap cleanup EXIT

# 1. The engine's own check of the whole description.
set +e
"$CHECK_BUILD/wine-run" "$CHECKER" mode=validate "description=$(winpath "$DESCRIPTION")" \
    "source=$(winpath "$SOURCE")" "output=$(winpath "$TMP/validate.out")" </dev/null >/dev/null 2>&1
STATUS=$?
set -e
tr -d '\r' <"$TMP/validate.out" >"$TMP/validate.txt" 2>/dev/null || true
if [ "$STATUS" != 0 ]; then
    if grep -q '^refused ' "$TMP/validate.txt"; then
        sed -n 's/^refused //p' "$TMP/validate.txt" | sed 's/^/refused /' >&2
        echo "nothing was written" >&2
        exit 2
    fi
    echo "the engine's check ended with exit code $STATUS:" >&2
    cat "$TMP/validate.txt" >&2
    exit 1
fi

# Windows paths of the check back to this machine's, names matched without regard to case as
# Windows matches them.
real_path() { # <folder> <relative path, with backslashes or slashes>
    local path=$1 part hit rel=${2//\//\\}
    local IFS='\'
    for part in $rel; do
        [ -n "$part" ] || continue
        hit=$(find "$path" -mindepth 1 -maxdepth 1 -iname "$part" -print -quit 2>/dev/null)
        [ -n "$hit" ] || return 1
        path=$hit
    done
    echo "$path"
}

DISCLAIMER=""
PRODUCT=$(sed -n 's/^product //p' "$TMP/validate.txt")
: >"$TMP/files"
while read -r word line rest; do
    case "$word" in
        outside)
            refuse "$DESCRIPTION($line): the source $rest is not below <S>, so it cannot go on the medium" ;;
        medium)
            found=$(real_path "$SOURCE" "$rest") ||
                refuse "$DESCRIPTION($line): $rest not found below $SOURCE"
            printf '%s\t%s\n' "$rest" "$found" >>"$TMP/files" ;;
        disclaimer)
            DISCLAIMER_LINE=$line
            DISCLAIMER=$(real_path "$DESC_DIR" "$rest") ||
                refuse "$DESCRIPTION($line): the disclaimer file \"$rest\" is missing" ;;
    esac
done <"$TMP/validate.txt"
[ -n "$DISCLAIMER" ] ||
    refuse "$DESCRIPTION: the [Product] section names no Disclaimer (the loader's setup\\desc.txt)"
: "${DISCLAIMER_LINE:=0}"

# The medium's own names may not be taken by a file of the product.
while IFS=$'\t' read -r name _; do
    case "$(echo "$name" | tr '[:lower:]/' '[:upper:]\\')" in
        QUENDA.EXE | RAVELL32.DLL | PRODUCT.TXT | 'SETUP\DESC.TXT')
            refuse "$DESCRIPTION: the product's file $name would take the place of the medium's own" ;;
    esac
done <"$TMP/files"

# 2. The layout, made aside and put in place whole.
mkdir -p "$(dirname "$OUT")"
STAGE=$(mktemp -d "$(dirname "$OUT")/.medium.XXXXXX")
cp "$LOADER" "$STAGE/Quenda.exe"
cp "$ENGINE" "$STAGE/ravell32.dll"
cp "$DESCRIPTION" "$STAGE/product.txt"
mkdir -p "$STAGE/setup"
cp "$DISCLAIMER" "$STAGE/setup/desc.txt"
while IFS=$'\t' read -r name found; do
    target="$STAGE/${name//\\//}"
    mkdir -p "$(dirname "$target")"
    cp "$found" "$target"
done <"$TMP/files"

# Names a CD-ROM driver without Joliet (NT 3.51) sees only in their 8.3 form.
is83() { echo "$1" | grep -Eq '^[A-Za-z0-9_]{1,8}(\.[A-Za-z0-9_]{1,3})?$'; }
LONG_NAMES=""
while IFS=$'\t' read -r name _; do
    IFS='\' read -ra parts <<<"$name"
    for part in "${parts[@]}"; do is83 "$part" || LONG_NAMES="$LONG_NAMES $name"; done
done <"$TMP/files"

# 3. The image, from the same layout.
if [ -n "$ISO" ]; then
    command -v genisoimage >/dev/null ||
        { echo "genisoimage is missing (scripts/setup-machine.sh installs it)" >&2; exit 1; }
    LABEL=$(echo "${PRODUCT:-TARVO}" | tr '[:lower:]' '[:upper:]' | tr -c 'A-Z0-9_\n' '_' | cut -c1-32)
    mkdir -p "$(dirname "$ISO")"
    genisoimage -quiet -iso-level 1 -J -V "$LABEL" -o "$TMP/image.iso" "$STAGE" 2>"$TMP/iso.err" ||
        { cat "$TMP/iso.err" >&2; echo "the image could not be made; nothing was written" >&2; exit 1; }
fi

rmdir "$OUT" 2>/dev/null || true
mv "$STAGE" "$OUT"
STAGE=""
[ -z "$ISO" ] || mv "$TMP/image.iso" "$ISO"

echo "medium of \"$PRODUCT\" from $DESCRIPTION (checked: accepted)"
echo "laid out in $OUT (loader and engine from $BUILD):"
(cd "$OUT" && find . -type f | sed 's|^\./||' | sort | while read -r f; do
    printf '    %-40s %10d bytes\n' "$f" "$(stat -c %s "$f")"
done)
echo "    setup/desc.txt from $DISCLAIMER (line $DISCLAIMER_LINE)"
SIZE=$(find "$OUT" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
echo "medium size: $SIZE bytes ($(awk -v s="$SIZE" 'BEGIN { printf "%.1f", s / 1048576 }') MB)"
if [ -n "$LONG_NAMES" ]; then
    echo "note: not 8.3 names, found on a CD only where the driver reads Joliet names" \
        "(Windows 95, NT 4.0 and later; not NT 3.51):$LONG_NAMES"
fi
if [ -n "$ISO" ]; then
    echo "image: $ISO, $(stat -c %s "$ISO") bytes (ISO 9660 level 1 names and Joliet names," \
        "volume $LABEL)"
fi
