#!/bin/bash
# Lays out an installation medium from a product description:
#
#   scripts/make-medium.sh <description> <output folder> [--iso[=<image>]] [--single[=<file>]]
#       [--floppies[=<folder>]] [--source <folder>] [--no-compress]
#
# The description is first checked whole by the engine itself (mode=validate: every problem with
# the file, the line and the reason); a refused description writes nothing, not even the output
# folder. An accepted one is laid out as the loader and the engine expect it:
#
#   Quenda.exe          the loader
#   SETUP.EXE           the loader again, under the name a CD's AutoPlay and the system's
#                       Add/Remove applet start; it too starts the engine beside itself
#   AUTORUN.INF         starts SETUP.EXE when the CD is inserted, with the product's icon
#   AUTORUN.ICO         that icon: the file the description's Icon names (without one, the CD
#                       shows the loader's icon)
#   ravell32.dll        the setup engine, which the loader starts by default
#   product.txt         the description, where the engine looks for it by default
#   setup\desc.txt      the loader's disclaimer: the file the description's Disclaimer names
#   <files>             every file the description copies from the medium, under the path below
#                       <S> that the engine resolves (SourceDir and MediaName), compressed
#
# The product's files are stored compressed (deflate, with the original's size, CRC-32 and date:
# setup/core/medium_file.h; scripts/medium-compress.py makes and expands the form); the engine
# expands and verifies each while it installs it. --no-compress leaves them as they are (a
# product file that would then be taken for a compressed one is refused). What the loader reads
# itself (the loader, the engine, the description, the disclaimer, the icon, AUTORUN.INF) is
# never compressed, nor are the plug-in that the engine loads from the medium and the licence
# that its wizard shows.
#
# --source names the folder that stands for <S> while the medium is made (where the files are
# found; default: the description's folder). With --iso, an ISO 9660 image of the medium is made
# too (default: <output folder>.iso), its volume labelled with the product's name (upper case, at
# most 32 characters, any but letters, digits and "_" written "_"; 16 in the Joliet label): level
# 1 names (8.3, upper case), which every CD-ROM driver reads, NT 3.51's included, plus Joliet
# names, which keep the long names for Windows 95, NT 4.0 and later. A medium name that is not 8.3 is named in a note: where no Joliet names are read,
# the engine would not find it on the CD.
#
# With --single, the whole medium goes into one file for download as well (default:
# <output folder>-download/SETUP.EXE): the single-file setup's program of the tree
# (SingleSetup.exe) with every file of the medium appended, each deflate-compressed with its size
# and CRC-32, and a CRC-32 of the whole file at its end (stub/single_setup.cpp gives the form).
# Started, it checks itself, extracts the medium into a fresh folder of the temporary folder,
# starts the loader there with its own command line, and removes the folder again.
#
# With --floppies, the medium goes on a set of 1.44 MB diskettes as well (default:
# <output folder>-floppies/DISK1.IMG, DISK2.IMG, ...; scripts/pack-floppies.py): FAT12 images
# labelled with the product's name and the diskette's number. The first holds the loader as
# SETUP.EXE, the engine, the description, the disclaimer, the plug-in and the licence, and the
# list of the set (DISKSET.TXT: which part of which file lies on which diskette); the product's
# files follow, and one larger than the space left on a diskette continues on the next. The
# engine asks for each diskette by its label when it needs one (setup/core/disk_set.h).
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
    echo "usage: make-medium.sh <description> <output folder> [--iso[=<image>]] [--single[=<file>]] [--floppies[=<folder>]] [--source <folder>] [--no-compress]" >&2
    exit 2
}
refuse() {
    echo "refused $*" >&2
    echo "nothing was written" >&2
    exit 2
}

DESCRIPTION="" OUT="" ISO="" SINGLE="" FLOPPIES="" SOURCE="" COMPRESS=1
while [ $# -gt 0 ]; do
    case "$1" in
        --iso) ISO=default ;;
        --iso=*) ISO=${1#--iso=} ;;
        --single) SINGLE=default ;;
        --single=*) SINGLE=${1#--single=} ;;
        --floppies) FLOPPIES=default ;;
        --floppies=*) FLOPPIES=${1#--floppies=} ;;
        --source) [ $# -ge 2 ] || usage; SOURCE=$2; shift ;;
        --source=*) SOURCE=${1#--source=} ;;
        --no-compress) COMPRESS=0 ;;
        -h | --help) sed -n '2,60p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
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
[ "$SINGLE" = default ] && SINGLE="$OUT-download/SETUP.EXE"
[ "$FLOPPIES" = default ] && FLOPPIES="$OUT-floppies"
FLOPPIES=${FLOPPIES%/}
if [ -e "$OUT" ] && { [ ! -d "$OUT" ] || [ -n "$(ls -A "$OUT")" ]; }; then
    refuse "$OUT: already there and not an empty folder"
fi
if [ -n "$ISO" ] && [ -e "$ISO" ]; then
    refuse "$ISO: already there"
fi
if [ -n "$SINGLE" ] && [ -e "$SINGLE" ]; then
    refuse "$SINGLE: already there"
fi
if [ -n "$FLOPPIES" ] && [ -e "$FLOPPIES" ]; then
    refuse "$FLOPPIES: already there"
fi
# The folders that take the medium and the image must take files: tried before the check, so
# that a read-only place is named in one line of its own and nothing is written.
can_write_beside() { # <path>
    local dir probe
    dir=$(dirname "$1")
    while [ ! -e "$dir" ] && [ "$dir" != "$(dirname "$dir")" ]; do dir=$(dirname "$dir"); done
    if [ ! -d "$dir" ]; then
        echo "cannot write $1: $dir is not a folder; nothing was written" >&2
        exit 1
    fi
    probe=$(mktemp -d "$dir/.medium-probe.XXXXXX" 2>/dev/null) || {
        echo "cannot write into $dir: the folder is read-only; nothing was written" >&2
        exit 1
    }
    rmdir "$probe"
}
can_write_beside "$OUT"
[ -z "$ISO" ] || can_write_beside "$ISO"
[ -z "$SINGLE" ] || can_write_beside "$SINGLE"
[ -z "$FLOPPIES" ] || can_write_beside "$FLOPPIES"
if [ -n "$FLOPPIES" ]; then
    command -v mformat >/dev/null && command -v mcopy >/dev/null ||
        { echo "mtools is missing (scripts/setup-machine.sh installs it)" >&2; exit 1; }
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
STUB="$BUILD/SingleSetup.exe"
for f in "$LOADER" "$ENGINE" ${SINGLE:+"$STUB"}; do
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
COPIES=""
cleanup() {
    rm -rf "$TMP"
    [ -z "$STAGE" ] || rm -rf "$STAGE"
    [ -z "$COPIES" ] || rm -rf "$COPIES"
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
# The medium's files are many: the source folder is listed once, every path below it under its
# name in lower case (the first of names that differ only in case wins, as a directory walk
# finds it), and each file of the description is looked up there.
declare -A SOURCE_INDEX=()
while IFS= read -r -d '' entry; do
    key=${entry,,}
    [ -n "${SOURCE_INDEX[$key]+x}" ] || SOURCE_INDEX[$key]=$entry
done < <(find "$SOURCE" -mindepth 1 -printf '%P\0')
# The relative path below <S> in its normal form: slashes, no empty parts.
relative_path() { # <path with backslashes or slashes>
    local part rel=${1//\\//} joined=""
    local IFS=/
    for part in $rel; do
        [ -n "$part" ] && joined=${joined:+$joined/}$part
    done
    REL=$joined
}

DISCLAIMER="" ICON=""
PRODUCT=$(sed -n 's/^product //p' "$TMP/validate.txt")
: >"$TMP/files"
: >"$TMP/plain"
: >"$TMP/early"
while read -r word line rest; do
    case "$word" in
        outside)
            refuse "$DESCRIPTION($line): the source $rest is not below <S>, so it cannot go on the medium" ;;
        medium)
            relative_path "$rest"
            [ -n "$REL" ] && [ -n "${SOURCE_INDEX[${REL,,}]+x}" ] ||
                refuse "$DESCRIPTION($line): $rest not found below $SOURCE"
            printf '%s\t%s\n' "$rest" "$SOURCE/${SOURCE_INDEX[${REL,,}]}" >>"$TMP/files"
            # The engine loads the plug-in and shows the licence from the medium, before it
            # installs: they stay plain.
            if sed -n "${line}p" "$DESCRIPTION" |
                grep -qiE '^[[:space:]]*(Plugin|Licence)[[:space:]]*='; then
                printf '%s\n' "${REL,,}" >>"$TMP/plain"
                printf '%s\n' "$REL" >>"$TMP/early"
            fi ;;
        disclaimer)
            DISCLAIMER_LINE=$line
            DISCLAIMER=$(real_path "$DESC_DIR" "$rest") ||
                refuse "$DESCRIPTION($line): the disclaimer file \"$rest\" is missing" ;;
        icon)
            ICON_LINE=$line
            ICON=$(real_path "$DESC_DIR" "$rest") ||
                refuse "$DESCRIPTION($line): the icon file \"$rest\" is missing"
            [ "$(head -c 4 "$ICON" | od -An -tx1 | tr -d ' ')" = 00000100 ] ||
                refuse "$DESCRIPTION($line): the icon file \"$rest\" is not an icon (.ico)" ;;
    esac
done <"$TMP/validate.txt"
[ -n "$DISCLAIMER" ] ||
    refuse "$DESCRIPTION: the [Product] section names no Disclaimer (the loader's setup\\desc.txt)"
: "${DISCLAIMER_LINE:=0}"

# The medium's own names may not be taken by a file of the product.
while IFS=$'\t' read -r name _; do
    upper=${name^^}
    case "${upper//\//\\}" in
        QUENDA.EXE | SETUP.EXE | AUTORUN.INF | AUTORUN.ICO | RAVELL32.DLL | PRODUCT.TXT | \
            'SETUP\DESC.TXT')
            refuse "$DESCRIPTION: the product's file $name would take the place of the medium's own" ;;
    esac
done <"$TMP/files"

# Left plain, a product file that begins as a compressed one does would be taken for one.
if [ "$COMPRESS" = 0 ]; then
    while IFS=$'\t' read -r name found; do
        printf '%s\0%s\0%s\0' "$name" "$found" "$found"
    done <"$TMP/files" >"$TMP/plain-check"
    LOOKALIKES=$(python3 "$ROOT/scripts/medium-compress.py" check-plain <"$TMP/plain-check") ||
        refuse "$DESCRIPTION: left plain, these files would be taken for compressed ones (drop --no-compress): $LOOKALIKES"
fi

# 2. The layout, made aside and put in place whole.
mkdir -p "$(dirname "$OUT")"
STAGE=$(mktemp -d "$(dirname "$OUT")/.medium.XXXXXX")
cp "$LOADER" "$STAGE/Quenda.exe"
cp "$LOADER" "$STAGE/SETUP.EXE"
if [ -n "$ICON" ]; then
    cp "$ICON" "$STAGE/AUTORUN.ICO"
    AUTORUN_ICON=AUTORUN.ICO
else
    AUTORUN_ICON=SETUP.EXE,0
fi
printf '[autorun]\r\nopen=SETUP.EXE\r\nicon=%s\r\nlabel=%s\r\n' "$AUTORUN_ICON" \
    "${PRODUCT:-Tarvo Setup}" >"$STAGE/AUTORUN.INF"
cp "$ENGINE" "$STAGE/ravell32.dll"
cp "$DESCRIPTION" "$STAGE/product.txt"
mkdir -p "$STAGE/setup"
cp "$DISCLAIMER" "$STAGE/setup/desc.txt"
# The files, many at a time: all of them copied under their names on the source into a folder
# beside the layout (one cp for them all), every folder of the layout made at once, then each
# file moved to its place under the description's spelling (one perl for them all; a file the
# description names twice under two spellings is copied again for the second).
COPIES=$(mktemp -d "$(dirname "$OUT")/.medium-files.XXXXXX")
: >"$TMP/folders"
: >"$TMP/moves"
: >"$TMP/packs"
: >"$TMP/relatives"
while IFS=$'\t' read -r name found; do
    relative_path "$name"
    folder=$STAGE
    [ "${REL%/*}" = "$REL" ] || folder="$STAGE/${REL%/*}"
    printf '%s\0' "$folder" >>"$TMP/folders"
    printf '%s\0' "${found#"$SOURCE"/}" >>"$TMP/relatives"
    printf '%s\0%s\0%s\0' "${found#"$SOURCE"/}" "$found" "$folder/${REL##*/}" >>"$TMP/moves"
    grep -qxF -- "${REL,,}" "$TMP/plain" ||
        printf '%s\0%s\0%s\0' "$REL" "$found" "$folder/${REL##*/}" >>"$TMP/packs"
done < <(LC_ALL=C sort -u "$TMP/files")
LC_ALL=C sort -zu "$TMP/folders" | xargs -0r mkdir -p --
LC_ALL=C sort -zu "$TMP/relatives" | (cd "$SOURCE" && xargs -0r cp --parents -t "$COPIES" --)
perl -0 -e '
    my $copies = shift;
    while (defined(my $relative = <STDIN>)) {
        my $found = <STDIN>;
        my $target = <STDIN>;
        chop($relative, $found, $target);
        if (-e "$copies/$relative") {
            rename("$copies/$relative", $target) or die "cannot move to $target: $!\n";
        } else {
            system("cp", "--", $found, $target) == 0 or exit 1;
        }
    }' "$COPIES" <"$TMP/moves"
rm -rf "$COPIES"
COPIES=""
# The product's files compressed in place (or, left plain, checked not to look compressed).
if [ "$COMPRESS" = 1 ]; then
    PACK_TOTALS=$(python3 "$ROOT/scripts/medium-compress.py" compress <"$TMP/packs")
    read -r PACKED PACKED_FROM PACKED_TO <<<"$PACK_TOTALS"
fi

# Names a CD-ROM driver without Joliet (NT 3.51) sees only in their 8.3 form.
# Every part of a name is checked: 1 to 8 letters, digits and "_", then maybe a dot and 1 to 3 more.
LONG_NAMES=$(awk -F'\t' '{
    n = split($1, parts, "\\")
    for (i = 1; i <= n; i++) {
        part = parts[i]
        dot = index(part, ".")
        base = dot ? substr(part, 1, dot - 1) : part
        ext = dot ? substr(part, dot + 1) : ""
        if (base !~ /^[A-Za-z0-9_]+$/ || length(base) > 8 || (dot && (ext !~ /^[A-Za-z0-9_]+$/ || length(ext) > 3)))
            printf " %s", $1
    }
}' "$TMP/files")

# 3. The image, from the same layout.
if [ -n "$ISO" ]; then
    command -v genisoimage >/dev/null ||
        { echo "genisoimage is missing (scripts/setup-machine.sh installs it)" >&2; exit 1; }
    LABEL=$(echo "${PRODUCT:-TARVO}" | tr '[:lower:]' '[:upper:]' | tr -c 'A-Z0-9_\n' '_' | cut -c1-32)
    mkdir -p "$(dirname "$ISO")"
    genisoimage -quiet -iso-level 1 -J -V "$LABEL" -o "$TMP/image.iso" "$STAGE" 2>"$TMP/iso.err" ||
        { cat "$TMP/iso.err" >&2; echo "the image could not be made; nothing was written" >&2; exit 1; }
fi

# 4. The single file, from the same layout: the program, then each file (its name below the
# medium with "\" between the parts, its size, CRC-32 and stored length, and its raw deflate
# stream), then the trailer with the CRC-32 of everything before it.
if [ -n "$SINGLE" ]; then
    python3 "$ROOT/scripts/pack-single.py" "$STUB" "$STAGE" "$TMP/single.exe" ||
        { echo "the single file could not be made; nothing was written" >&2; exit 1; }
fi

# 5. The diskettes, from the same layout.
if [ -n "$FLOPPIES" ]; then
    {
        printf 'own\t%s\n' SETUP.EXE ravell32.dll product.txt setup/desc.txt
        sed 's/^/early\t/' "$TMP/early"
        while IFS=$'\t' read -r name _; do
            relative_path "$name"
            grep -qxF -- "${REL,,}" "$TMP/plain" || printf 'product\t%s\n' "$REL"
        done < <(LC_ALL=C sort -u "$TMP/files")
    } | awk '!seen[tolower($0)]++' >"$TMP/floppy-list"
    PREFIX=$(echo "${PRODUCT:-TARVO}" | tr '[:lower:]' '[:upper:]' | tr -c 'A-Z0-9_\n' '_' | cut -c1-8)
    mkdir -p "$TMP/floppies"
    python3 "$ROOT/scripts/pack-floppies.py" "$STAGE" "$TMP/floppies" "$PREFIX" \
        "$TMP/floppy-list" >"$TMP/floppies.txt" 2>"$TMP/floppies.err" ||
        { cat "$TMP/floppies.err" >&2; echo "the diskettes could not be made; nothing was written" >&2; exit 1; }
fi

rmdir "$OUT" 2>/dev/null || true
mv "$STAGE" "$OUT"
STAGE=""
[ -z "$ISO" ] || mv "$TMP/image.iso" "$ISO"
if [ -n "$SINGLE" ]; then
    mkdir -p "$(dirname "$SINGLE")"
    mv "$TMP/single.exe" "$SINGLE"
fi
if [ -n "$FLOPPIES" ]; then
    mkdir -p "$(dirname "$FLOPPIES")"
    mv "$TMP/floppies" "$FLOPPIES"
fi

echo "medium of \"$PRODUCT\" from $DESCRIPTION (checked: accepted)"
echo "laid out in $OUT (loader and engine from $BUILD):"
(cd "$OUT" && find . -type f -printf '%s\t%P\n' >"$TMP/sizes" &&
    find . -type f -printf '%P\n' | sort |
    awk -F'\t' 'NR == FNR { size[substr($0, index($0, "\t") + 1)] = $1; next }
        { printf "    %-40s %10d bytes\n", $0, size[$0] }' "$TMP/sizes" -)
echo "    setup/desc.txt from $DISCLAIMER (line $DISCLAIMER_LINE)"
[ -z "$ICON" ] || echo "    AUTORUN.ICO from $ICON (line $ICON_LINE)"
SIZE=$(find "$OUT" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
if [ "$COMPRESS" = 1 ]; then
    echo "compressed: $PACKED product files, $PACKED_FROM bytes stored in $PACKED_TO"
else
    echo "not compressed (--no-compress)"
fi
echo "medium size: $SIZE bytes ($(awk -v s="$SIZE" 'BEGIN { printf "%.1f", s / 1048576 }') MB)"
if [ -n "$LONG_NAMES" ]; then
    echo "note: not 8.3 names, found on a CD only where the driver reads Joliet names" \
        "(Windows 95, NT 4.0 and later; not NT 3.51):$LONG_NAMES"
fi
if [ -n "$ISO" ]; then
    echo "image: $ISO, $(stat -c %s "$ISO") bytes (ISO 9660 level 1 names and Joliet names," \
        "volume $LABEL)"
fi
if [ -n "$SINGLE" ]; then
    echo "single file: $SINGLE, $(stat -c %s "$SINGLE") bytes (the program $(stat -c %s "$STUB")" \
        "bytes and the medium's $(find "$OUT" -type f | wc -l) files compressed)"
fi
if [ -n "$FLOPPIES" ]; then
    echo "diskettes: $(find "$FLOPPIES" -name 'DISK*.IMG' | wc -l) images of 1.44 MB in $FLOPPIES:"
    sed 's/^/    /' "$TMP/floppies.txt"
fi
