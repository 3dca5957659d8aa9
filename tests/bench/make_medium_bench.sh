#!/bin/bash
# The medium builder at scale: a product of many files in many folders laid out as a folder and
# a CD image by scripts/make-medium.sh, timed once (the engine's check of the description
# included). The figures are kept in tests/bench/RESULTS.md.
#   tests/bench/make_medium_bench.sh [<files> [<folders> [<medium builder>]]]
#   (defaults: 5000 files in 200 folders, this tree's scripts/make-medium.sh)
#   TARVO_TREE=<build tree> as for the builder (default: build/x86_64, which runs here)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
FILES=${1:-5000} FOLDERS=${2:-200} MAKE=${3:-$ROOT/scripts/make-medium.sh}
export TARVO_TREE=${TARVO_TREE:-$ROOT/build/x86_64}
W=$(mktemp -d "${TMPDIR:-/tmp}/make-medium-bench.XXXXXX")
trap 'rm -rf "$W"' EXIT

# The product: file i in folder i mod <folders>, each a few hundred bytes; long names in
# mixed case, so that the 8.3 note and the matching without regard to case are part of the run.
mkdir -p "$W/source"
printf 'Disclaimer\r\n' >"$W/source/disclaimer.txt"
{
    printf '[Product]\r\nName = Bench Product\r\nDestination = <P>\\Bench\r\n'
    printf 'Disclaimer = disclaimer.txt\r\n\r\n[Component Main]\r\nSelected = 1\r\n\r\n'
    for ((i = 0; i < FILES; i++)); do
        folder=$((i % FOLDERS))
        printf '[WSetupFile F%d]\r\nComponent = Main\r\nSourceDir = <S>\\Folder%03d\r\n' \
            "$i" "$folder"
        printf 'MediaName = Data File %d.bin\r\nDestName = Data File %d.bin\r\n\r\n' "$i" "$i"
    done
} >"$W/source/product.txt"
for ((f = 0; f < FOLDERS; f++)); do mkdir -p "$W/source/folder$(printf %03d "$f")"; done
for ((i = 0; i < FILES; i++)); do
    printf 'file %d of the bench product\n%0300d\n' "$i" 0 \
        >"$W/source/folder$(printf %03d $((i % FOLDERS)))/data file $i.bin"
done

start=$(date +%s.%N)
"$MAKE" "$W/source/product.txt" "$W/out/medium" --iso >"$W/make.out" 2>&1 ||
    { cat "$W/make.out" >&2; echo "the medium builder failed" >&2; exit 1; }
end=$(date +%s.%N)
laid=$(find "$W/out/medium" -type f | wc -l)
[ "$laid" -ge $((FILES + 4)) ] ||
    { echo "laid out $laid files, expected the product's $FILES and the medium's own" >&2; exit 1; }
awk -v s="$start" -v e="$end" -v n="$FILES" -v d="$FOLDERS" -v m="$MAKE" 'BEGIN {
    printf "%s: %d files in %d folders laid out with a CD image in %.1f s\n", m, n, d, e - s }'
