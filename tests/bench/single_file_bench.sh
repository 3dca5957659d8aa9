#!/bin/bash
# Extraction of the single-file setup against a plain copy of the same bytes: SETUP.EXE (the
# x86_64 SingleSetup.exe with <files> slices of 32 KiB of the test engine's image appended, and a
# loader that ends at once) checks itself, extracts into the temporary folder, starts the
# "loader" and removes the folder again; the plain copy is xcopy of the same files, uncompressed,
# from one folder to another. One run each on a fresh server, and the Wine server requests of
# the measured process alone (trace_requests.py; WINEDEBUG=+server).
#   tests/bench/single_file_bench.sh [files]     (default: 200)
set -e
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD="$ROOT/build/x86_64"
FILES=${1:-200}
OUT="$BUILD/bench-single"
export TARVO_WINEPREFIX="$OUT/prefix"
export WINEPREFIX="$TARVO_WINEPREFIX"
SERVER=/usr/lib/wine/wineserver
RUN="$BUILD/wine-run"
COUNT="python3 $ROOT/tests/bench/trace_requests.py"
cmake --build "$BUILD" --target SingleSetup runline -j2 >/dev/null
rm -rf "$OUT"
mkdir -p "$OUT/medium/files"
"$RUN" --init >/dev/null 2>&1
C="$WINEPREFIX/drive_c"
image="$BUILD/tests/bin/standins/productengine.exe"
for ((i = 0; i < FILES; i++)); do
    dd if="$image" of="$OUT/medium/files/file$i.dat" bs=32768 skip=$((i % 40)) count=1 status=none
done
# The loader's place is taken by a program that ends at once (the command runner, given no file).
cp "$BUILD/tests/bin/runline.exe" "$OUT/medium/Quenda.exe"
python3 "$ROOT/scripts/pack-single.py" "$BUILD/SingleSetup.exe" "$OUT/medium" "$C/SETUP.EXE"
cp -r "$OUT/medium" "$C/plain"

fresh_server() {
    $SERVER -k >/dev/null 2>&1 || true
    $SERVER -w >/dev/null 2>&1 || true
}
timed() { # <trace or ""> <program> <words>...: the seconds it took
    local trace=$1 start
    shift
    fresh_server
    start=$(date +%s.%N)
    if [ -n "$trace" ]; then
        WINEDEBUG=+server "$RUN" "$@" </dev/null >/dev/null 2>"$trace" || true
    else
        WINEDEBUG=-all "$RUN" "$@" </dev/null >/dev/null 2>&1 || true
    fi
    $SERVER -w >/dev/null 2>&1 || true
    echo "$(date +%s.%N) - $start" | bc
}
SINGLE_S=$(timed "" 'C:\SETUP.EXE' /batch)
SINGLE_R=$(timed "$OUT/single.trace" 'C:\SETUP.EXE' /batch >/dev/null;
    $COUNT "$OUT/single.trace" | awk '$2 == "total" { print $3 }')
rm -rf "$C/copy"
COPY_S=$(timed "" xcopy /E /I /Q 'C:\plain' 'C:\copy')
rm -rf "$C/copy"
COPY_R=$(timed "$OUT/copy.trace" xcopy /E /I /Q 'C:\plain' 'C:\copy' >/dev/null;
    $COUNT "$OUT/copy.trace" | awk '$2 == "total" { print $3 }')
[ -f "$C/copy/files/file0.dat" ] || { echo "the plain copy failed" >&2; exit 1; }
LEFT=$(find "$C/users" -maxdepth 4 -iname 'TVS*.TMP' | wc -l)
fresh_server
BYTES=$(du -sb "$OUT/medium" | cut -f1)
echo "| run | bytes | time | server requests |"
echo "|---|---|---|---|"
printf '| single file: check, extract, start, remove (%d bytes) | %d | %.2f s | %d |\n' \
    "$(stat -c %s "$C/SETUP.EXE")" "$BYTES" "$SINGLE_S" "$SINGLE_R"
printf '| xcopy of the same files | %d | %.2f s | %d |\n' "$BYTES" "$COPY_S" "$COPY_R"
awk -v t1="$COPY_S" -v t2="$SINGLE_S" -v r1="$COPY_R" -v r2="$SINGLE_R" 'BEGIN {
    printf "ratio single file / plain copy: time %.2f, requests %.2f\n", t2 / t1, r2 / r1 }'
echo "folders left in the temporary folder: $LEFT"
