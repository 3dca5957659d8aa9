#!/bin/bash
# What an installation checks before it changes anything, on drives that are really small or
# really read-only: two tmpfs file systems of 1 MiB, one of them mounted read-only, given to the
# test prefix as the drives S: and Q: for the run.
# - Files that need more than S: has free: exit 11, the figures named, nothing on S:, no entry in
#   the list of installed programs.
# - Files that fit: the "space" line's figure is the sum of their sizes; installed and removed.
# - A destination on the read-only Q:: exit 12, the folder named, nothing changed.
#   preflight_check.sh <wine-run> <engine.exe> <version> <work>
# Exit code 77 (skipped) where this machine cannot mount a file system (mounting needs root).
set -u
WINE_RUN=$1 ENGINE=$2 VERSION=$3 WORK=$4
. "$(dirname "$0")/../support/window_check.sh"
"$WINE_RUN" --runnable || exit $?
"$WINE_RUN" --init || exit 1
PREFIX=${TARVO_WINEPREFIX:-$WORK/wineprefix}

M=$(mktemp -d "$WORK/preflight-check.XXXXXX")
LETTERS=""
cleanup() {
    for l in $LETTERS; do rm -f "$PREFIX/dosdevices/$l:"; done
    umount "$M/small" 2>/dev/null
    umount "$M/readonly" 2>/dev/null
    rm -rf "$M"
}
trap cleanup EXIT
mkdir -p "$M/small" "$M/readonly" "$M/medium"
if ! mount -t tmpfs -o size=1m tmpfs "$M/small" 2>/dev/null ||
    ! mount -t tmpfs -o size=1m,ro tmpfs "$M/readonly" 2>/dev/null; then
    echo "SKIPPED: this machine cannot mount a small file system for the drives (needs root)"
    exit 77
fi
# Two letters no drive of the prefix uses.
for l in s q p o; do
    [ -e "$PREFIX/dosdevices/$l:" ] || LETTERS="$LETTERS $l"
done
set -- $LETTERS
SMALL=$1 READONLY=$2
LETTERS="$SMALL $READONLY"
ln -s "$M/small" "$PREFIX/dosdevices/$SMALL:"
ln -s "$M/readonly" "$PREFIX/dosdevices/$READONLY:"
S=$(echo "$SMALL" | tr a-z A-Z) Q=$(echo "$READONLY" | tr a-z A-Z)

cp "$ENGINE" "$M/medium/engine-$VERSION.exe"
head -c 614400 /dev/zero >"$M/medium/big1.dat"
head -c 614400 /dev/zero >"$M/medium/big2.dat"
printf 'readme\r\n' >"$M/medium/readme.txt"
KEY="PreflightCheck$$"

# product <name> <destination> <file>...: a description with one element per file.
product() {
    local name=$1 dest=$2
    shift 2
    printf '[Product]\r\nName = %s\r\nDestination = %s\r\n\r\n[Component Main]\r\nSelected = 1\r\n' \
        "$name" "$dest"
    for f in "$@"; do
        printf '\r\n[WSetupFile %s]\r\nComponent = Main\r\nSourceDir = <S>\r\nMediaName = %s\r\nDestName = %s\r\n' \
            "${f%%.*}" "$f" "$f"
    done
}

run_engine() {
    "$WINE_RUN" "$M/medium/engine-$VERSION.exe" /batch "$@" </dev/null 2>&1 | tr -d '\r'
    return "${PIPESTATUS[0]}"
}

registered() {
    "$WINE_RUN" reg query \
        "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$1" >/dev/null 2>&1 &&
        echo yes || echo no
}

# 1. More than the drive has.
product "Tarvo Preflight Big $KEY" "$S:\\Product" big1.dat big2.dat readme.txt \
    >"$M/medium/big.txt"
OUT=$(run_engine "description=$(winpath "$M/medium/big.txt")")
STATUS=$?
echo "$OUT" | sed 's/^/    /'
row "too much for $S:: exit code" 11 "$STATUS"
row "the space line names the sum of the files" 1228808 \
    "$(echo "$OUT" | sed -n "s/^space $S:\\\\ needed \\([0-9]*\\) free .*/\\1/p")"
row "the refusal names the drive" yes \
    "$(echo "$OUT" | grep -q "^refused: not enough disk space on $S:\\\\: 1228808 bytes needed" &&
        echo yes || echo no)"
row "nothing on $S:" "" "$(ls -A "$M/small")"
row "no entry in the list of installed programs" no "$(registered "Tarvo Preflight Big $KEY")"

# 2. What fits: installed, then removed.
product "Tarvo Preflight Fits $KEY" "$S:\\Product" big1.dat readme.txt >"$M/medium/fits.txt"
OUT=$(run_engine "description=$(winpath "$M/medium/fits.txt")")
STATUS=$?
echo "$OUT" | sed 's/^/    /'
row "what fits on $S:: exit code" 0 "$STATUS"
row "the space line names the sum of the files" 614408 \
    "$(echo "$OUT" | sed -n "s/^space $S:\\\\ needed \\([0-9]*\\) free .*/\\1/p")"
row "the files are on $S:" "big1.dat readme.txt" "$(ls "$M/small/Product" 2>/dev/null | grep -v '\.log$' | xargs)"
OUT=$(run_engine mode=remove "log=$S:\\Product\\install.log")
row "removed again: exit code" 0 "$?"
row "nothing left on $S:" "" "$(ls -A "$M/small")"
row "its entry is gone" no "$(registered "Tarvo Preflight Fits $KEY")"

# 3. A drive that cannot be written.
product "Tarvo Preflight ReadOnly $KEY" "$Q:\\Product" readme.txt >"$M/medium/ro.txt"
OUT=$(run_engine "description=$(winpath "$M/medium/ro.txt")" "log=$(winpath "$M/ro.log")")
STATUS=$?
echo "$OUT" | sed 's/^/    /'
row "a read-only destination: exit code" 12 "$STATUS"
row "the refusal names the folder" yes \
    "$(echo "$OUT" | grep -q "^refused: the folder $Q:\\\\Product cannot be written" && echo yes ||
        echo no)"
row "no log was begun" no "$([ -e "$M/ro.log" ] && echo yes || echo no)"
row "no entry in the list of installed programs" no "$(registered "Tarvo Preflight ReadOnly $KEY")"

echo "preflight check ($VERSION): $FAILS failed"
[ "$FAILS" = 0 ]
