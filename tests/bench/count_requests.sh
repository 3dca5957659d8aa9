#!/bin/bash
# Wine server requests of the engine and of the plain loops, installing and removing the same
# generated products (product_bench.cpp), counted from request traces: a figure that does not
# move with the machine's load, unlike the times.
#   tests/bench/count_requests.sh [files values links]    (default: 500 500 50)
# Each contender runs once per product and phase under WINEDEBUG=+server on a fresh server of a
# scratch prefix (build/x86_64/bench-trace/prefix, made on the first run); only the requests of
# the contender's own threads count (trace_requests.py). The products: an empty one (the fixed
# cost), files alone, values alone, links with their files, and all three together. Per element
# of a kind: (requests of its product - requests of the empty one) / elements, the links' files
# taken off at the files' rate. The traces stay in build/x86_64/bench-trace for reading.
set -e
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD="$ROOT/build/x86_64"
FILES=${1:-500}
VALUES=${2:-500}
LINKS=${3:-50}
OUT="$BUILD/bench-trace"
export TARVO_WINEPREFIX="$OUT/prefix"
export WINEPREFIX="$TARVO_WINEPREFIX"
SERVER=/usr/lib/wine/wineserver
RUN="$BUILD/wine-run"
BENCH="$BUILD/tests/bin/product_bench-win2k.exe"
ENGINE="$BUILD/tests/bin/standins/productengine-win2k.exe"
WORK='C:\bench'
COUNT="python3 $ROOT/tests/bench/trace_requests.py"

cmake --build "$BUILD" --target product_bench productengine -j2 >/dev/null
mkdir -p "$OUT"
# The prefix, and each program's Windows version, set up before any trace.
WINEDEBUG=-all "$RUN" "$BENCH" clean "$WORK" </dev/null >/dev/null 2>&1
WINEDEBUG=-all "$RUN" "$ENGINE" mode=validate "description=$WORK\\none.txt" </dev/null \
    >/dev/null 2>&1 || true

fresh_server() {
    $SERVER -k >/dev/null 2>&1 || true
    $SERVER -w >/dev/null 2>&1 || true
}

# traced <trace file> <program> [arguments...]: one run on a fresh server, its trace kept.
traced() {
    local trace=$1
    shift
    fresh_server
    WINEDEBUG=+server "$RUN" "$@" </dev/null >/dev/null 2>"$trace" || true
    $SERVER -w >/dev/null 2>&1 || true
}

# product <name> <files> <values> <links>: both contenders install and remove it.
product() {
    local name=$1 f=$2 v=$3 l=$4
    for contender in plain engine; do
        WINEDEBUG=-all "$RUN" "$BENCH" prepare "$WORK" "$f" "$v" "$l" </dev/null >/dev/null 2>&1
        if [ $contender = plain ]; then
            traced "$OUT/$name-plain-install.txt" "$BENCH" plain-install "$WORK\\medium" \
                "$WORK\\dest" "$f" "$v" "$l"
            traced "$OUT/$name-plain-remove.txt" "$BENCH" plain-remove "$WORK\\dest" "$f" "$v" "$l"
        else
            traced "$OUT/$name-engine-install.txt" "$ENGINE" mode=install \
                "description=$WORK\\medium\\product.txt" "output=$WORK\\install.out"
            cp "$WINEPREFIX/drive_c/bench/install.out" "$OUT/$name-engine-install.out" || true
            traced "$OUT/$name-engine-remove.txt" "$ENGINE" mode=remove \
                "log=$WORK\\dest\\install.log" "output=$WORK\\remove.out"
            cp "$WINEPREFIX/drive_c/bench/remove.out" "$OUT/$name-engine-remove.out" || true
        fi
        WINEDEBUG=-all "$RUN" "$BENCH" clean "$WORK" </dev/null >/dev/null 2>&1
    done
}

product empty 0 0 0
product files "$FILES" 0 0
product values 0 "$VALUES" 0
product links "$LINKS" 0 "$LINKS"
product whole "$FILES" "$VALUES" "$LINKS"
fresh_server

total() { $COUNT "$1" | awk '$2 == "total" { print $3 }'; }
# by_name <trace> <empty trace> <elements>: requests per element by name, against the empty run.
by_name() {
    join -a1 -e0 -o 0,1.2,2.2 <($COUNT "$1" | awk '$2 != "total" { print $2, $3 }' | sort) \
        <($COUNT "$2" | awk '$2 != "total" { print $2, $3 }' | sort) |
        awk -v n="$3" '{ d = ($2 - $3) / n; if (d >= 0.05 || d <= -0.05) printf "    %-28s %7.2f\n", $1, d }' |
        sort -k2 -rn
}

echo "Wine server requests of the contender's own threads ($(date -u '+%Y-%m-%d %H:%M UTC'))"
for phase in install remove; do
    for contender in plain engine; do
        e=$(total "$OUT/empty-$contender-$phase.txt")
        fr=$(total "$OUT/files-$contender-$phase.txt")
        vr=$(total "$OUT/values-$contender-$phase.txt")
        lr=$(total "$OUT/links-$contender-$phase.txt")
        wr=$(total "$OUT/whole-$contender-$phase.txt")
        awk -v p=$phase -v c=$contender -v e="$e" -v fr="$fr" -v vr="$vr" -v lr="$lr" -v wr="$wr" \
            -v F="$FILES" -v V="$VALUES" -v L="$LINKS" 'BEGIN {
            pf = (fr - e) / F; pv = (vr - e) / V; pl = (lr - e - L * pf) / L
            printf "%s %s: empty %d; per file %.2f, per value %.2f, per link %.2f; whole product %d (%.2f per element beyond the empty one)\n",
                p, c, e, pf, pv, pl, wr, (wr - e) / (F + V + L) }'
    done
done
echo
echo "Per element by request name (beyond the empty product):"
for phase in install remove; do
    for kind in files values; do
        n=$FILES
        [ $kind = values ] && n=$VALUES
        for contender in plain engine; do
            echo "  $phase, $kind, $contender:"
            by_name "$OUT/$kind-$contender-$phase.txt" "$OUT/empty-$contender-$phase.txt" "$n"
        done
    done
done
