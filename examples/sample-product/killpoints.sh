# The kill points of the round trip (product-roundtrip.sh --kill-points), read by it with its
# machine prepared and its first snapshots taken: the installation of the sample product with a
# 64 MB file added is killed after each record of its log and once in the middle of the large
# copy, and the next engine start must put the machine back as it was each time.

# The medium's large file and the element that copies it.
head -c $((64 * 1024 * 1024)) /dev/urandom >"$MEDIUM/files/bigdata.bin"
cat >>"$MEDIUM/product.txt" <<'EOF'

# A large file: the kill points stop the engine in the middle of its copy.
[WSetupFile BigData]
Component = Main
SourceDir = <S>\files
MediaName = bigdata.bin
DestName = bigdata.bin
CopyMode = 0
Attributes = 010000
EOF
DESCRIPTION="description=$(winpath "$MEDIUM/product.txt")"
# The switches that stop the engine are the test build's.
ENGINE_FILE="$TEST_ENGINE"
BIG="$C/Program Files/Tarvo Sample/bigdata.bin"

# How many elements an installation runs: a cancel right after the first one says it (and puts
# everything back).
code=0
engine count.out "$DESCRIPTION" cancel-after=1 || code=$?
ELEMENTS=$(sed -n 's/^install 1 of \([0-9]*\):.*/\1/p' "$WORK/count.out" | tr -d '\r')
[ "$code" = 7 ] && [ -n "$ELEMENTS" ] || { say "the counting run failed (exit $code)"; exit 1; }
RECORDS=$((ELEMENTS * 2))
say "$ELEMENTS elements: $RECORDS records (an intent and an outcome each) and one copy to kill"

TK0=$(now)
SAME=0
TRIES=0
PARTIAL_SEEN=no
kill_point() { # <name> <words>...: the engine killed, the next start recovers, the machine compared
    local name=$1 killed=0 recovered=0 ok=yes partial=""
    shift
    engine "kill-$name.out" "$DESCRIPTION" "$@" || killed=$?
    if [ "$name" = copy ]; then
        [ -f "$BIG" ] && partial="partial copy of $(stat -c %s "$BIG") bytes before the recovery"
        [ -n "$partial" ] && PARTIAL_SEEN=yes
    fi
    engine "recover-$name.out" mode=recover "log=$LOG" || recovered=$?
    snapshot "after-kill-$name" scoped
    compare before-scoped "after-kill-$name" "kill-$name" rollback || ok=no
    [ "$killed" = 9 ] && [ "$recovered" = 0 ] || ok=no
    [ -e "$BIG" ] && { ok=no; partial="$partial; the copy SURVIVED the recovery"; }
    TRIES=$((TRIES + 1))
    [ "$ok" = yes ] && SAME=$((SAME + 1))
    say "kill $name: killed $killed, recovered $recovered, machine $([ "$ok" = yes ] && echo "as it was" || echo CHANGED)${partial:+ ($partial)}"
    if [ -s "$WORK/kill-$name.unexplained" ]; then
        sed 's/^/    /' "$WORK/kill-$name.unexplained"
    fi
    # What the recovery said, when it did not end as the engine ends (the test's log is all that
    # stays of a failed attempt: a second attempt reuses the work folder).
    if [ "$recovered" != 0 ]; then
        say "the recovery's output (exit $recovered):"
        tail -n 15 "$WORK/recover-$name.out" 2>/dev/null | tr -d '\r' | sed 's/^/    /' || true
    fi
}
for k in $(seq "$RECORDS"); do
    kill_point "after-record-$k" "stop-after=$k"
done
kill_point copy stop-in-copy=1
grep -h 'stopped half-way' "$WORK/kill-copy.out" | tr -d '\r' | sed 's/^/    /'
TK1=$(now)

# The whole machine, once, after all of them.
snapshot after
WHOLE=yes
compare before after whole rollback || WHOLE=no
if [ -s "$WORK/whole.unexplained" ]; then
    say "differences of the whole machine NOT explained:"
    sed 's/^/    /' "$WORK/whole.unexplained"
fi
echo
say "== Summary =="
say "time: prepare $(elapsed "$T0" "$T1"), snapshots $(elapsed "$T1" "$T2"), kill points $(elapsed "$TK0" "$TK1") ($TRIES runs)"
say "the interrupted copy left a partial file that the recovery removed: $PARTIAL_SEEN"
say "the whole machine after the kill points: $([ "$WHOLE" = yes ] && echo "as it was" || echo CHANGED)"
say "kill points: $SAME of $TRIES left the machine as it was"
[ "$SAME" = "$TRIES" ] && [ "$TRIES" -ge $((ELEMENTS * 2)) ] && [ "$WHOLE" = yes ] &&
    [ "$PARTIAL_SEEN" = yes ]
