#!/bin/bash
# Size of the medium's compressed form (scripts/medium-compress.py: deflate at level 9 plus a
# 28-byte header per file) against `gzip -9` and `xz -9` of the same files, each file on its own
# as the medium stores them: the sample product's files, and a mixed set of executables, texts
# and bitmaps.
#   tests/bench/medium_size_bench.sh [<build tree>]     (default: build/x86_64)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${1:-$ROOT/build/x86_64}
W=$(mktemp -d)
trap 'rm -rf "$W"' EXIT
# ImageMagick (on this machine /usr/local/bin/convert is another program).
IM=/usr/bin/convert

measure() { # <set name> <files...>
    local name=$1 f ours=0 gz=0 xz=0 raw=0 n=0
    shift
    for f in "$@"; do
        cp "$f" "$W/f"
        raw=$((raw + $(stat -c %s "$f")))
        printf 'x\0%s\0%s\0' "$f" "$W/f" | python3 "$ROOT/scripts/medium-compress.py" compress >/dev/null
        ours=$((ours + $(stat -c %s "$W/f")))
        gz=$((gz + $(gzip -9 -n -c "$f" | wc -c)))
        xz=$((xz + $(xz -9 -c "$f" | wc -c)))
        n=$((n + 1))
    done
    awk -v n="$name" -v c="$n" -v r="$raw" -v o="$ours" -v g="$gz" -v x="$xz" 'BEGIN {
        printf "| %s | %d | %d | %d (%.3f) | %d (%.3f) | %d (%.3f) | %.3f | %.3f |\n",
            n, c, r, o, o / r, g, g / r, x, x / r, o / g, o / x }'
}

echo "| set | files | bytes | ours (of bytes) | gzip -9 | xz -9 | ours / gzip | ours / xz |"
echo "|---|---|---|---|---|---|---|---|"
mapfile -t SAMPLE < <(find "$BUILD/examples/sample-product/files" -type f | sort)
measure "sample product" "${SAMPLE[@]}"
"$IM" -size 256x256 gradient:blue-yellow "BMP3:$W/gradient.bmp"
"$IM" -size 320x200 plasma:fractal -seed 7 "BMP3:$W/plasma.bmp"
"$IM" -size 640x480 xc:white -fill black -draw "rectangle 40,40 600,440" "BMP3:$W/drawing.bmp"
mkdir -p "$W/set"
cp "$W"/*.bmp "$W/set/"
mapfile -t MIXED < <(
    ls "$BUILD"/Quenda.exe "$BUILD"/tests/bin/standins/productengine.exe \
        "$BUILD"/tests/bin/file_test.exe
    ls "$ROOT"/README.md "$ROOT"/docs/*.md "$ROOT"/setup/core/fileutil.cpp
    ls "$W"/set/*.bmp)
measure "mixed (executables, texts, bitmaps)" "${MIXED[@]}"
