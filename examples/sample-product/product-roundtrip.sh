#!/bin/bash
# The sample product's round trip on one platform family, in a Wine prefix of its own:
#   1. prepare the machine as an older version and another product left it;
#   2. take a snapshot (registry below HKLM\Software, HKCU\Software, HKCR; the C: drive's files
#      with sizes and checksums);
#   3. start the loader in batch mode on the product's medium: it starts the product engine,
#      which installs the product while the older shared library is held open;
#   4. check every element, restart (a fresh Wine server start carries out the replacements),
#      check again and that the shared library now is the newer build;
#   5. run the product's program once (it creates its run-time file and value);
#   6. remove the product with a second engine run from the uninstall log alone;
#   7. take the snapshot again and compare: every difference must be one that is listed and
#      explained below.
#
#   examples/sample-product/product-roundtrip.sh <win95|win98|nt40|win2k> [<work folder>]
# Needs a built x86_64 tree (scripts/build.sh); TARVO_BUILD names another one (build/i686: the
# product's loader, library and an engine built like them, under 32-bit Wine). Exit code 0 when
# every step did what it should and the machine was left as it was.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
FAMILY=${1:?usage: product-roundtrip.sh <win95|win98|nt40|win2k> [<work folder>]}
BUILD=${TARVO_BUILD:-$ROOT/build/x86_64}
WORK=${2:-$ROOT/build/product/$FAMILY}
case "$FAMILY" in win95 | win98 | nt40 | win2k) ;; *) echo "unknown family $FAMILY" >&2; exit 2 ;; esac

export TARVO_WINEPREFIX="$WORK/prefix"
export WINEPREFIX="$TARVO_WINEPREFIX"
RUN="$BUILD/wine-run"
SERVER=/usr/lib/wine/wineserver
MEDIUM="$WORK/medium"
FILES="$BUILD/examples/sample-product/files"
STANDINS="$BUILD/tests/bin/standins"
winpath() { echo "Z:${1//\//\\}"; }
wrun() { "$RUN" "$@" </dev/null | tr -d '\r'; }
now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f s", b - a }'; }
say() { echo "[$FAMILY] $*"; }

HOLDER_PID=""
cleanup() {
    [ -n "$HOLDER_PID" ] && kill "$HOLDER_PID" 2>/dev/null || true
    $SERVER -k >/dev/null 2>&1 || true
}
trap cleanup EXIT

T0=$(now)
rm -rf "$WORK"
mkdir -p "$WORK" "$MEDIUM/files"
exec > >(tee "$WORK/roundtrip.log") 2>&1
"$RUN" --runnable || exit $?
"$RUN" --init
# The whole prefix runs as the family's Windows version: the loader, the engine, the registry
# editor it starts and the product's programs alike.
wrun reg add 'HKCU\Software\Wine' /v Version /d "$FAMILY" /f >/dev/null
$SERVER -k >/dev/null 2>&1 || true
$SERVER -w >/dev/null 2>&1 || true
$SERVER -p </dev/null >/dev/null 2>&1
wrun wineboot >/dev/null 2>&1 || true

C="$WINEPREFIX/drive_c"
WINDIR="$C/windows"
COMMON="$C/Program Files/Common Files"

# The medium: the loader, the product engine as the setup engine beside it, the description and
# the product's files.
cp "$BUILD/Quenda.exe" "$MEDIUM/Quenda.exe"
cp "$STANDINS/productengine.exe" "$MEDIUM/ravell32.dll"
cp "$HERE/product.txt" "$MEDIUM/product.txt"
cp "$FILES"/* "$MEDIUM/files/"
wrun "$BUILD/tests/bin/samplefont.exe" "$(winpath "$MEDIUM/files/tarvosample.ttf")" \
    "Tarvo Sample Sans"

# 1. What an older version and another product left on the machine.
mkdir -p "$COMMON/Tarvo"
cp "$FILES/tarvoshr-1.dll" "$COMMON/Tarvo/tarvoshr.dll"
printf '[Settings]\r\nMode=classic\r\n' >"$WINDIR/tarvo.ini"
printf 'old help\r\n' >"$WINDIR/tarvoold.hlp"
cat >"$WORK/prepare.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Tarvo Shared\Settings]
"Theme"="classic"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\SharedDLLs]
"C:\\Program Files\\Common Files\\Tarvo\\tarvoshr.dll"=dword:00000001
REG
wrun regedit /S "$(winpath "$WORK/prepare.reg")"
sleep 0.5
T1=$(now)

# 2. The machine before.
wrun "$BUILD/tests/bin/snapshot.exe" "$(winpath "$WORK/before.txt")" C:
T2=$(now)

# 3. The installation, with the older shared library in use.
"$RUN" "$BUILD/tests/bin/holdfile.exe" 'C:\Program Files\Common Files\Tarvo\tarvoshr.dll' \
    "--ready=$(winpath "$WORK/holder.ready")" "--release=$(winpath "$WORK/holder.release")" \
    </dev/null >/dev/null 2>&1 &
HOLDER_PID=$!
for _ in $(seq 200); do [ -s "$WORK/holder.ready" ] && break; sleep 0.1; done
grep -q '^held' "$WORK/holder.ready" 2>/dev/null ||
    { say "the shared library could not be held open"; exit 1; }
say "installing: Quenda.exe /batch setup=<medium>\\ravell32.dll description=<medium>\\product.txt"
set +e
wrun "$MEDIUM/Quenda.exe" /batch "setup=$(winpath "$MEDIUM/ravell32.dll")" \
    "description=$(winpath "$MEDIUM/product.txt")" "output=$(winpath "$WORK/install.out")"
LOADER=$?
set -e
tr -d '\r' <"$WORK/install.out" | sed 's/^/    /'
say "loader exit code $LOADER"
T3=$(now)

LOG='C:\Program Files\Tarvo Sample\install.log'
check() {
    set +e
    wrun "$MEDIUM/ravell32.dll" mode=check "log=$LOG" "output=$(winpath "$WORK/$1")"
    local status=$?
    set -e
    tr -d '\r' <"$WORK/$1" | sed 's/^/    /'
    return $status
}
say "checking every element after the installation"
CHECK1=0
check check-installed.out || CHECK1=$?

# 4. The restart: the holder ends, a fresh server start carries out what waits for it.
touch "$WORK/holder.release"
wait "$HOLDER_PID" 2>/dev/null || true
HOLDER_PID=""
SHARED="$COMMON/Tarvo/tarvoshr.dll"
cmp -s "$SHARED" "$FILES/tarvoshr-1.dll" && BEFORE_RESTART=older || BEFORE_RESTART=other
$SERVER -k >/dev/null 2>&1 || true
$SERVER -w >/dev/null 2>&1 || true
$SERVER -p </dev/null >/dev/null 2>&1
wrun wineboot >/dev/null 2>&1 || true
T4=$(now)
cmp -s "$SHARED" "$FILES/tarvoshr-2.dll" && AFTER_RESTART=newer || AFTER_RESTART=other
say "shared library before the restart: $BEFORE_RESTART build; after: $AFTER_RESTART build"
say "checking every element after the restart"
CHECK2=0
check check-restarted.out || CHECK2=$?

# 5. The product runs once.
wrun 'C:\Program Files\Tarvo Sample\sampleapp.exe' | sed 's/^/    /'
T5=$(now)

# 6. The removal, in a new engine process, from the log alone.
say "removing: ravell32.dll mode=remove log=$LOG"
set +e
wrun "$MEDIUM/ravell32.dll" mode=remove "log=$LOG" "output=$(winpath "$WORK/remove.out")"
REMOVAL=$?
set -e
tr -d '\r' <"$WORK/remove.out" | sed 's/^/    /'
say "removal exit code $REMOVAL"
T6=$(now)

# 7. The machine after, against the machine before.
wrun "$BUILD/tests/bin/snapshot.exe" "$(winpath "$WORK/after.txt")" C:
T7=$(now)
diff "$WORK/before.txt" "$WORK/after.txt" >"$WORK/differences.txt" || true
# Differences that belong to the round trip, each with its reason.
EXPLAINED="$WORK/explained.txt"
: >"$EXPLAINED"
explain() { # <pattern> <reason>
    local hits
    hits=$(grep -E "$1" "$WORK/differences.txt" || true)
    [ -n "$hits" ] && printf '%s\n' "$hits" | sed "s|\$|    <- $2|" >>"$EXPLAINED"
    grep -vE "$1" "$WORK/differences.txt" >"$WORK/differences.rest" || true
    mv "$WORK/differences.rest" "$WORK/differences.txt"
}
explain '^[<>] file C:\\windows\\Backup Of tarvo\.ini ' \
    'the backup of the configuration file stays: a backup is not undone'
explain '^< file C:\\windows\\tarvoold\.hlp ' \
    "the older version's help file was deleted at installation, as the product asks"
explain '^[<>] file C:\\Program Files\\Common Files\\Tarvo\\tarvoshr\.dll ' \
    'the newer build of the shared library stays for the other product that counts it'
explain '^> file C:\\windows\\wininit\.bak ' \
    'Windows 98 renames WININIT.INI to wininit.bak when it has carried out the replacements'
explain '^[<>] (file|dir) C:\\windows\\(temp|Temp)\\' 'temporary files of Wine and of the tools'
explain '^[<>] (key|value) HKEY_CURRENT_USER\\Software\\Wine\\Temporary System Parameters' \
    "Wine's own record of the display settings of its session"
explain '^[<>] (file|dir) C:\\users\\[^\\]+\\(Temp|AppData\\Local\\Temp)\\' 'temporary files'
grep -E '^[<>]' "$WORK/differences.txt" >"$WORK/unexplained.txt" || true

INSTALLED=$(grep -c '^install [0-9]' "$WORK/install.out" || true)
RESTARTS=$(grep -c '^restart ' "$WORK/install.out" || true)
echo
say "== Summary =="
say "elements installed by kind: $(sed -n 's/^summary install: [0-9]* elements; by kind: \(.*\); restart.*/\1/p' "$WORK/install.out" | tr -d '\r')"
say "elements installed: $INSTALLED; replacements waiting for the restart: $RESTARTS; carried out: $([ "$AFTER_RESTART" = newer ] && echo "$RESTARTS" || echo 0)"
say "checks: after installation exit $CHECK1, after restart exit $CHECK2; removal exit $REMOVAL"
say "time: prepare $(elapsed "$T0" "$T1"), snapshot $(elapsed "$T1" "$T2"), install $(elapsed "$T2" "$T3"), check and restart $(elapsed "$T3" "$T4"), run $(elapsed "$T4" "$T5"), removal $(elapsed "$T5" "$T6"), snapshot $(elapsed "$T6" "$T7")"
if [ -s "$EXPLAINED" ]; then
    say "differences listed and explained:"
    sed 's/^/    /' "$EXPLAINED"
fi
if [ -s "$WORK/unexplained.txt" ]; then
    say "differences NOT explained:"
    sed 's/^/    /' "$WORK/unexplained.txt"
fi
OK=yes
[ "$LOADER" = 0 ] && [ "$CHECK1" = 0 ] && [ "$CHECK2" = 0 ] && [ "$REMOVAL" = 0 ] &&
    [ "$AFTER_RESTART" = newer ] && [ ! -s "$WORK/unexplained.txt" ] || OK=no
say "machine left as it was: $OK"
[ "$OK" = yes ]
