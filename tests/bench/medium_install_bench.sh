#!/bin/bash
# Installation from a compressed medium against the same medium uncompressed: the engine's time
# (one run each on a fresh server) and its Wine server requests (count_requests.sh's method:
# WINEDEBUG=+server, the engine's own threads only).
#   tests/bench/medium_install_bench.sh [files]     (default: 200)
# The product is product_bench's (one file element per file), its files replaced by slices of
# 32 KiB of the test engine's image, so that they compress as programs do.
set -e
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD="$ROOT/build/x86_64"
FILES=${1:-200}
OUT="$BUILD/bench-trace"
export TARVO_WINEPREFIX="$OUT/prefix"
export WINEPREFIX="$TARVO_WINEPREFIX"
SERVER=/usr/lib/wine/wineserver
RUN="$BUILD/wine-run"
BENCH="$BUILD/tests/bin/product_bench-win2k.exe"
ENGINE="$BUILD/tests/bin/standins/productengine-win2k.exe"
WORK='C:\bench'
HOSTWORK="$WINEPREFIX/drive_c/bench"
COUNT="python3 $ROOT/tests/bench/trace_requests.py"
cmake --build "$BUILD" --target product_bench productengine -j2 >/dev/null
mkdir -p "$OUT"
WINEDEBUG=-all "$RUN" "$BENCH" clean "$WORK" </dev/null >/dev/null 2>&1

fresh_server() {
    $SERVER -k >/dev/null 2>&1 || true
    $SERVER -w >/dev/null 2>&1 || true
}
prepare() { # <plain|compressed>
    WINEDEBUG=-all "$RUN" "$BENCH" prepare "$WORK" "$FILES" 0 0 </dev/null >/dev/null 2>&1
    local i image="$BUILD/tests/bin/standins/productengine.exe" list="$OUT/medium-files"
    : >"$list"
    for ((i = 0; i < FILES; i++)); do
        dd if="$image" of="$HOSTWORK/medium/files/file$i.dat" bs=32768 skip=$((i % 40)) count=1 \
            status=none
        printf 'x\0%s\0%s\0' "$HOSTWORK/medium/files/file$i.dat" \
            "$HOSTWORK/medium/files/file$i.dat" >>"$list"
    done
    [ "$1" = plain ] || python3 "$ROOT/scripts/medium-compress.py" compress <"$list" >/dev/null
}
install() { # <trace file or ""> 
    if [ -n "$1" ]; then
        WINEDEBUG=+server "$RUN" "$ENGINE" mode=install "description=$WORK\\medium\\product.txt" \
            "output=$WORK\\install.out" </dev/null >/dev/null 2>"$1" || true
    else
        WINEDEBUG=-all "$RUN" "$ENGINE" mode=install "description=$WORK\\medium\\product.txt" \
            "output=$WORK\\install.out" </dev/null >/dev/null 2>&1 || true
    fi
    $SERVER -w >/dev/null 2>&1 || true
    grep -q '^summary install' "$HOSTWORK/install.out" || { echo "install failed" >&2; exit 1; }
}
declare -A SECONDS_OF REQUESTS_OF SIZE_OF
for form in plain compressed; do
    prepare $form
    SIZE_OF[$form]=$(du -sb "$HOSTWORK/medium/files" | cut -f1)
    fresh_server
    start=$(date +%s.%N)
    install ""
    SECONDS_OF[$form]=$(echo "$(date +%s.%N) - $start" | bc)
    WINEDEBUG=-all "$RUN" "$BENCH" clean "$WORK" </dev/null >/dev/null 2>&1
    prepare $form
    fresh_server
    install "$OUT/medium-$form-install.txt"
    REQUESTS_OF[$form]=$($COUNT "$OUT/medium-$form-install.txt" | awk '$2 == "total" { print $3 }')
    WINEDEBUG=-all "$RUN" "$BENCH" clean "$WORK" </dev/null >/dev/null 2>&1
done
fresh_server
echo "| medium | files bytes | install time | server requests |"
echo "|---|---|---|---|"
for form in plain compressed; do
    printf '| %s | %d | %.2f s | %d |\n' $form "${SIZE_OF[$form]}" "${SECONDS_OF[$form]}" \
        "${REQUESTS_OF[$form]}"
done
awk -v t1="${SECONDS_OF[plain]}" -v t2="${SECONDS_OF[compressed]}" -v r1="${REQUESTS_OF[plain]}" \
    -v r2="${REQUESTS_OF[compressed]}" 'BEGIN {
    printf "ratio compressed / plain: time %.2f, requests %.2f\n", t2 / t1, r2 / r1 }'
