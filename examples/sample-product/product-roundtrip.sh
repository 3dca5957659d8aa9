#!/bin/bash
# The sample product's round trip on one platform family, in a Wine prefix of its own:
#   1. prepare the machine as an older version and another product left it;
#   2. take a snapshot (registry below HKLM\Software, HKCU\Software, HKCR and the restart's
#      pending moves; the C: drive's files with sizes and checksums);
#   3. rollback variants: installations whose first, a middle or the last element fails, and one
#      the user cancels while the older shared library is held open (its replacement was already
#      scheduled for the restart); each must leave the machine as it was;
#   4. start the loader in batch mode on the product's medium: it starts the product engine,
#      which installs the product while the older shared library is held open; the product is
#      in the list of installed programs with its exact name;
#   5. check every element (the shared library waits for the restart), restart (a fresh Wine
#      server start carries out the replacements), check again (nothing waits) and that the
#      shared library now is the newer build;
#   6. run the product's program once (it creates its run-time file and value);
#   7. remove the product with the list of installed programs' UninstallString, run as written
#      (the engine's copy in the Windows folder; it deletes itself at the next restart), and
#      restart;
#   8. take the snapshot again and compare: every difference must be one that is listed and
#      explained below.
#
# With --hotsync the machine also holds a HotSync 1.1 installation (the stand-in hotsyncdesk.exe,
# at C:\Palm, with two conduit entries an earlier installation of the product left): the
# handheld-sync plug-in offers the feature and the HotSync 1.x conduit component, whose modules go
# to C:\Palm and take entries of the conduit table; after the installation it points the HotSync
# Manager shortcuts at Hsm11.exe, and the removal takes the product's conduit entries away.
# Without it there is no HotSync and none of the feature is installed. Either way the summary
# names the conduit component installed.
#
# With --kill-points, instead of 3 to 8: the engine is killed after every intent and every
# outcome record of its log (stop-after=<n>), and once half-way through the copy of a 64 MB file
# of the medium (stop-in-copy=1: the engine ends itself from inside its copy, with the part it
# wrote on the disk); each time the next engine start (mode=recover) must put the machine back
# as it was. Each kill point compares the places the product writes to (the drive and the
# registry keys of SCOPE below); the whole machine is compared once at the end.
#
# With --from=floppies the installation of step 4 runs from the medium's diskette set instead of
# the CD: drive A: of the prefix is typed as a floppy drive and holds what the first image holds,
# A:\SETUP.EXE is started, and each prompt for a diskette is answered by inserting the one it
# names (tests/support/disk_changer.sh; needs an X display when the set has more than one). With
# --from=single it runs the single file for download (SETUP.EXE of <medium>-download), which
# extracts the medium into the temporary folder and starts the loader there.
#
#   examples/sample-product/product-roundtrip.sh <win95|win98|nt40|win2k> [<work folder>]
#       [--kill-points] [--hotsync] [--from=<cd|floppies|single>]
# Needs a built x86_64 tree (scripts/build.sh); TARVO_BUILD names another one (build/i686: the
# product's loader, library and an engine built like them, under 32-bit Wine). Exit code 0 when
# every step did what it should and the machine was left as it was.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
KILL_POINTS=0
HOTSYNC=0
FROM=cd
ARGS=()
for arg in "$@"; do
    case "$arg" in
        --kill-points) KILL_POINTS=1 ;;
        --hotsync) HOTSYNC=1 ;;
        --from=cd | --from=floppies | --from=single) FROM=${arg#--from=} ;;
        *) ARGS+=("$arg") ;;
    esac
done
USAGE="usage: product-roundtrip.sh <win95|win98|nt40|win2k> [<work folder>] [--kill-points] [--hotsync] [--from=<cd|floppies|single>]"
FAMILY=${ARGS[0]:?$USAGE}
BUILD=${TARVO_BUILD:-$ROOT/build/x86_64}
WORK=${ARGS[1]:-$ROOT/build/product/$FAMILY}
case "$FAMILY" in win95 | win98 | nt40 | win2k) ;; *) echo "unknown family $FAMILY" >&2; exit 2 ;; esac

export TARVO_WINEPREFIX="$WORK/prefix"
export WINEPREFIX="$TARVO_WINEPREFIX"
RUN="$BUILD/wine-run"
SERVER=/usr/lib/wine/wineserver
MEDIUM="$WORK/medium"
FILES="$BUILD/examples/sample-product/files"
TOOLS="$BUILD/tests/bin"
winpath() { echo "Z:${1//\//\\}"; }
wrun() { "$RUN" "$@" </dev/null | tr -d '\r'; }
now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f s", b - a }'; }
say() { echo "[$FAMILY] $*"; }

# The registry keys the sample product and the engine write to (the kill points and the
# rollback variants compare these and the drive; the whole registry is compared once).
SCOPE=('HKEY_CURRENT_USER\Software'
    'HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\SharedDLLs'
    'HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall'
    'HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Fonts'
    'HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\Fonts'
    'HKEY_CLASSES_ROOT\TarvoSample.Document'
    'HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Session Manager')

HOLDER_PID=""
cleanup() {
    [ -n "$HOLDER_PID" ] && kill "$HOLDER_PID" 2>/dev/null || true
    $SERVER -k >/dev/null 2>&1 || true
}
trap cleanup EXIT

restart_wine() { # a fresh server start carries out what waits for the restart
    $SERVER -k >/dev/null 2>&1 || true
    $SERVER -w >/dev/null 2>&1 || true
    $SERVER -p </dev/null >/dev/null 2>&1
    wrun wineboot >/dev/null 2>&1 || true
}

T0=$(now)
rm -rf "$WORK"
mkdir -p "$WORK"
exec > >(tee "$WORK/roundtrip.log") 2>&1
"$RUN" --runnable || exit $?
"$RUN" --init
# The whole prefix runs as the family's Windows version: the loader, the engine, the registry
# editor it starts and the product's programs alike.
wrun reg add 'HKCU\Software\Wine' /v Version /d "$FAMILY" /f >/dev/null
restart_wine

C="$WINEPREFIX/drive_c"
WINDIR="$C/windows"
COMMON="$C/Program Files/Common Files"

# The medium, made as an author makes one: the product's files (and its font, made here) in a
# source folder, laid out with this tree's loader and engine and put on a CD image. The
# installation runs from the CD; the rollback variants and the kill points use the laid-out
# folder, whose description they vary.
SOURCE="$WORK/source"
mkdir -p "$SOURCE/files"
cp -r "$FILES"/* "$SOURCE/files/"
cp "$BUILD/Morvik.dll" "$SOURCE/"
wrun "$TOOLS/samplefont.exe" "$(winpath "$SOURCE/files/tarvosample.ttf")" "Tarvo Sample Sans"
FORM_OPTION=()
[ "$FROM" = floppies ] && FORM_OPTION=(--floppies)
[ "$FROM" = single ] && FORM_OPTION=(--single)
say "making the medium: make-medium.sh product.txt <medium> --iso ${FORM_OPTION[*]} --source <source>"
TARVO_TREE="$BUILD" "$ROOT/scripts/make-medium.sh" "$HERE/product.txt" "$MEDIUM" \
    --iso "${FORM_OPTION[@]}" --source "$SOURCE" | sed 's/^/    /'
[ -f "$MEDIUM/ravell32.dll" ] && [ -f "$MEDIUM.iso" ] || { say "no medium was made"; exit 1; }
# The medium carries the shipped engine, which knows no test switch. The cancelled variant and
# the kill points run the engine's test build instead (the same units and the switches that stop
# it), from a folder of its own under the engine's name, on the medium's descriptions.
TEST_ENGINE="$WORK/test-engine/ravell32.dll"
mkdir -p "$WORK/test-engine"
cp "$BUILD/tests/bin/standins/productengine.exe" "$TEST_ENGINE"
ENGINE_FILE="$MEDIUM/ravell32.dll"
say "the image's level 1 names (isoinfo -l):"
isoinfo -l -i "$MEDIUM.iso" | sed -n 's/^Directory listing of \(.*\)/    \1/p; s/.*\] *\([^ ]*;1\) *$/        \1/p'
# Wine cannot mount the image without root, so the CD-ROM drive S: is a folder that holds what
# the image holds: every file read back from it by its Joliet name (and compared with the laid
# out folder).
CD="$WORK/cd"
(cd "$MEDIUM" && find . -type f | sed 's|^\./||') | while read -r f; do
    mkdir -p "$(dirname "$CD/$f")"
    isoinfo -J -i "$MEDIUM.iso" -x "/$f" >"$CD/$f"
    cmp -s "$CD/$f" "$MEDIUM/$f" || { say "the image holds another $f"; exit 1; }
done
ln -sfn "$CD" "$WINEPREFIX/dosdevices/s:"
wrun reg add 'HKLM\Software\Wine\Drives' /v 's:' /d cdrom /f >/dev/null
# The diskette drive A: (typed now; its diskettes go in at the installation).
[ "$FROM" != floppies ] || wrun reg add 'HKLM\Software\Wine\Drives' /v 'a:' /d floppy /f >/dev/null

# 1. What an older version and another product left on the machine, and HotSync where asked.
DESK="$TOOLS/standins/hotsyncdesk.exe"
if [ "$HOTSYNC" = 1 ]; then
    wrun "$DESK" install 1.1 'C:\Palm' >/dev/null
    say "HotSync 1.1 installed at C:\Palm (stand-in); its conduit table and shortcuts:"
    wrun "$DESK" report | sed 's/^/    /'
fi
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
snapshot() { # <name> [scoped]
    if [ "${2:-}" = scoped ]; then
        wrun "$TOOLS/snapshot.exe" "$(winpath "$WORK/$1.txt")" C: "${SCOPE[@]}"
    else
        wrun "$TOOLS/snapshot.exe" "$(winpath "$WORK/$1.txt")" C:
    fi
}
snapshot before
snapshot before-scoped scoped
T2=$(now)

# Compares two snapshots; every difference must be explained. An installation's own
# differences are explained only for the round trip ("round"): after a rollback there are none.
compare() { # <before> <after> <name> <round|rollback>; 0 when nothing is left unexplained
    local differences="$WORK/$3.differences" explained="$WORK/$3.explained"
    diff "$WORK/$1.txt" "$WORK/$2.txt" >"$differences" || true
    : >"$explained"
    explain() { # <pattern> <reason>
        local hits
        hits=$(grep -E "$1" "$differences" || true)
        [ -n "$hits" ] && printf '%s\n' "$hits" | sed "s|\$|    <- $2|" >>"$explained"
        grep -vE "$1" "$differences" >"$differences.rest" || true
        mv "$differences.rest" "$differences"
    }
    if [ "$4" = round ]; then
        explain '^[<>] file C:\\windows\\Backup Of tarvo\.ini ' \
            'the backup of the configuration file stays: a backup is not undone'
        explain '^< file C:\\windows\\tarvoold\.hlp ' \
            "the older version's help file was deleted at installation, as the product asks"
        explain '^[<>] file C:\\Program Files\\Common Files\\Tarvo\\tarvoshr\.dll ' \
            'the newer build of the shared library stays for the other product that counts it'
        explain '^> file C:\\windows\\wininit\.bak ' \
            'Windows 98 renames WININIT.INI to wininit.bak when it has carried out the replacements'
        explain '^[<>] file .*\\HotSync Manager\.lnk ' \
            "the plug-in points HotSync's own HotSync Manager shortcuts at Hsm11.exe after the installation; a refresh is not undone"
        explain '^< (key|value) HKEY_CURRENT_USER\\Software\\Palm Computing\\Pilot Desktop\\Application[0-9]+' \
            "the removal takes every entry of the product's four conduit modules out of HotSync's conduit table, also those an earlier installation left"
    fi
    explain '^[<>] (file|dir) C:\\windows\\(temp|Temp)\\' 'temporary files of Wine and of the tools'
    explain '^[<>] (key|value) HKEY_CURRENT_USER\\Software\\Wine\\Temporary System Parameters' \
        "Wine's own record of the display settings of its session"
    explain '^[<>] (file|dir) C:\\users\\[^\\]+\\(Temp|AppData\\Local\\Temp)\\' 'temporary files'
    explain '^> (key|value) HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Cache\\' \
        "Wine's own cache of the fonts it has seen (the product's font was registered for a while)"
    grep -E '^[<>]' "$differences" >"$WORK/$3.unexplained" || true
    [ ! -s "$WORK/$3.unexplained" ]
}

LOG='C:\Program Files\Tarvo Sample\install.log'
engine() { # <output name> <words>...: the medium's engine in batch mode; its exit code
    local out=$1
    shift
    set +e
    wrun "$ENGINE_FILE" /batch "$@" "output=$(winpath "$WORK/$out")" >/dev/null
    local status=$?
    set -e
    return $status
}

hold_shared() {
    rm -f "$WORK/holder.ready" "$WORK/holder.release"
    "$RUN" "$TOOLS/holdfile.exe" 'C:\Program Files\Common Files\Tarvo\tarvoshr.dll' \
        "--ready=$(winpath "$WORK/holder.ready")" "--release=$(winpath "$WORK/holder.release")" \
        </dev/null >/dev/null 2>&1 &
    HOLDER_PID=$!
    for _ in $(seq 200); do [ -s "$WORK/holder.ready" ] && break; sleep 0.1; done
    grep -q '^held' "$WORK/holder.ready" 2>/dev/null ||
        { say "the shared library could not be held open"; exit 1; }
}
release_shared() {
    touch "$WORK/holder.release"
    wait "$HOLDER_PID" 2>/dev/null || true
    HOLDER_PID=""
}

# A variant of the description: the section [<header>] gets <field> = <value> in place of its own.
variant() { # <file> <header> <field> <value>
    awk -v header="[$2]" -v field="$3" -v value="$4" '
        /^\[/ { inside = ($0 == header) }
        inside && index($0, field " =") == 1 { print field " = " value; next }
        { print }' "$MEDIUM/product.txt" >"$MEDIUM/$1"
}

if [ "$KILL_POINTS" = 1 ]; then
    source "$HERE/killpoints.sh"
    exit $?
fi

# 3. Rollback variants, each from the machine as it was.
variant product-first.txt 'WSetupDir DataFolder' DestDir '<W>\tarvo.ini'
variant product-middle.txt 'WSetupRegEntry Banner' RootName 'HKEY_NOWHERE'
variant product-last.txt 'WSetupExecutable RecordInstall' DestName 'missing.exe'
cp "$MEDIUM/product.txt" "$MEDIUM/product-cancelled.txt"
ROLLBACKS_OK=yes
rollback_variant() { # <name> <expected exit code> <words>...
    local name=$1 expected=$2 code=0
    shift 2
    engine "rollback-$name.out" "description=$(winpath "$MEDIUM/product-$name.txt")" "$@" ||
        code=$?
    [ -n "$HOLDER_PID" ] && release_shared
    snapshot "after-$name" scoped
    local ok=yes
    compare before-scoped "after-$name" "rollback-$name" rollback || ok=no
    [ "$code" = "$expected" ] || ok=no
    say "rollback variant '$name': exit code $code (expected $expected);" \
        "$(grep -E '^(install [0-9]+ of [0-9]+: .*status|cancelled after)' "$WORK/rollback-$name.out" |
            tail -1 | tr -d '\r')"
    if [ -s "$WORK/rollback-$name.unexplained" ]; then
        say "differences NOT explained:"
        sed 's/^/    /' "$WORK/rollback-$name.unexplained"
    fi
    say "rollback: machine left as it was: $ok"
    [ "$ok" = yes ] || ROLLBACKS_OK=no
}
rollback_variant first 5
rollback_variant middle 5
rollback_variant last 5
# Cancelled right after the shared library's replacement was scheduled for the restart.
hold_shared
ENGINE_FILE="$TEST_ENGINE" rollback_variant cancelled 7 "cancel-after=9"
grep -q '^restart ' "$WORK/rollback-cancelled.out" ||
    { say "the cancelled variant scheduled nothing for the restart"; ROLLBACKS_OK=no; }
T2B=$(now)

# 4. The installation, with the older shared library in use.
hold_shared
set +e
case "$FROM" in
cd)
    say "installing from the CD: S:\\Quenda.exe /batch (the engine S:\\ravell32.dll and its product.txt)"
    wrun 'S:\Quenda.exe' /batch "output=$(winpath "$WORK/install.out")" ;;
single)
    say "installing from the single file: <medium>-download\\SETUP.EXE /batch (it extracts the medium into the temporary folder and starts the loader there)"
    wrun "$MEDIUM-download/SETUP.EXE" /batch "output=$(winpath "$WORK/install.out")" ;;
floppies)
    . "$ROOT/tests/support/disk_changer.sh"
    DISKS="$WORK/disks"
    extract_disks "$MEDIUM-floppies" "$DISKS"
    DISK_COUNT=$(find "$MEDIUM-floppies" -name 'DISK*.IMG' | wc -l)
    ln -sfn "$DISKS/disk1" "$WINEPREFIX/dosdevices/a:"
    say "installing from $DISK_COUNT diskettes: A:\\SETUP.EXE /batch with the first in drive A: (a floppy drive)"
    if [ "$DISK_COUNT" -gt 1 ] && [ -z "${DISPLAY:-}" ]; then
        say "the set has $DISK_COUNT diskettes: changing them needs an X display (DISPLAY is unset)"
        exit 1
    fi
    "$RUN" 'A:\SETUP.EXE' /batch "output=$(winpath "$WORK/install.out")" </dev/null >/dev/null 2>&1 &
    INSTALL_PID=$!
    change_disks "$INSTALL_PID" "Tarvo Sample" "$WINEPREFIX/dosdevices/a:" "$DISKS" \
        "$RUN $TOOLS/message_box_probe.exe" insert "$WORK/disk-answers.txt" &
    CHANGER_PID=$!
    wait "$INSTALL_PID"
    (exit $?)
    ;;
esac
LOADER=$?
set -e
if [ "$FROM" = floppies ]; then
    wait "$CHANGER_PID" || true
    say "the diskettes the engine asked for:"
    sed 's/^/    /' "$WORK/disk-answers.txt"
    [ -s "$WORK/disk-answers.txt" ] || echo "    (none: every file is on the first)"
fi
tr -d '\r' <"$WORK/install.out" | sed 's/^/    /'
say "loader exit code $LOADER"
RESTART_SAID=no
grep -q '^restart needed: ' "$WORK/install.out" && RESTART_SAID=yes
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarvo Sample'
regvalue() { # the value's text; empty when there is none
    { wrun reg query "$UNINSTALL_KEY" /v "$1" 2>/dev/null || true; } | sed -n "s/^ *$1 *REG_SZ *//p"
}
DISPLAY_NAME=$(regvalue DisplayName)
UNINSTALL_STRING=$(regvalue UninstallString)
say "list of installed programs: DisplayName \"$DISPLAY_NAME\"; UninstallString $UNINSTALL_STRING"
# The handheld-sync feature: what the plug-in chose, and where the conduit modules went.
CONDUIT=$(tr -d '\r' <"$WORK/install.out" |
    sed -n 's/^plugin choice [^ ]*[:.]\(PilotConduit[0-9_]*\) action=[0-9]* installed$/\1/p' |
    paste -sd, -)
CONDUIT=${CONDUIT:-none}
MODULES="qxabcn90.dll qxtdcn90.dll qxqncn90.dll qxdbcn90.dll"
FEATURE_OK=yes
if [ "$HOTSYNC" = 1 ]; then
    [ "$CONDUIT" = PilotConduit1_1 ] || FEATURE_OK=no
    TABLE_INSTALLED=$(wrun "$DESK" report)
    for module in $MODULES; do
        [ -f "$C/Palm/$module" ] || { say "the conduit module $module is not in C:\\Palm"; FEATURE_OK=no; }
        grep -qF "$module" <<<"$TABLE_INSTALLED" ||
            { say "the conduit table has no entry for $module"; FEATURE_OK=no; }
    done
    [ -f "$C/Palm/tarvosync.txt" ] || { say "the feature's file is not in C:\\Palm"; FEATURE_OK=no; }
    say "HotSync's conduit table and shortcuts after the installation:"
    sed 's/^/    /' <<<"$TABLE_INSTALLED"
else
    [ "$CONDUIT" = none ] && [ ! -e "$C/Program Files/Tarvo Sample/HotSync" ] || FEATURE_OK=no
fi
say "handheld-sync feature: HotSync $([ "$HOTSYNC" = 1 ] && echo 1.1 || echo "not installed");" \
    "conduit component installed: $CONDUIT"
T3=$(now)

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
WAITING=$(grep -c 'waits for the restart' "$WORK/check-installed.out" || true)

# 5. The restart: the holder ends, a fresh server start carries out what waits for it.
release_shared
SHARED="$COMMON/Tarvo/tarvoshr.dll"
cmp -s "$SHARED" "$FILES/tarvoshr-1.dll" && BEFORE_RESTART=older || BEFORE_RESTART=other
restart_wine
T4=$(now)
cmp -s "$SHARED" "$FILES/tarvoshr-2.dll" && AFTER_RESTART=newer || AFTER_RESTART=other
say "shared library before the restart: $BEFORE_RESTART build; after: $AFTER_RESTART build"
say "checking every element after the restart"
CHECK2=0
check check-restarted.out || CHECK2=$?

# 6. The product runs once.
wrun 'C:\Program Files\Tarvo Sample\sampleapp.exe' | sed 's/^/    /'
T5=$(now)

# 7. The removal: the list's command as written, from the engine's copy. Run without a display,
# the engine's question whether to restart now answers at once (no).
say "removing: $UNINSTALL_STRING"
printf '%s\r\n' "$UNINSTALL_STRING" >"$WORK/uninstall.txt"
set +e
env -u DISPLAY "$RUN" "$TOOLS/runline.exe" "$(winpath "$WORK/uninstall.txt")" </dev/null 2>&1 |
    tr -d '\r' >"$WORK/remove.out"
REMOVAL=${PIPESTATUS[0]}
set -e
sed 's/^/    /' "$WORK/remove.out"
say "removal exit code $REMOVAL"
ENTRY_AFTER=$(regvalue DisplayName)
if [ "$HOTSYNC" = 1 ]; then
    TABLE_REMOVED=$(wrun "$DESK" report)
    say "HotSync's conduit table after the removal:"
    grep -i 'conduit' <<<"$TABLE_REMOVED" | sed 's/^/    /' || true
    for module in $MODULES; do
        if grep -qF "$module" <<<"$TABLE_REMOVED"; then
            say "the conduit table still has an entry for $module"
            FEATURE_OK=no
        fi
    done
fi
say "list of installed programs after the removal: \"${ENTRY_AFTER:-(no entry)}\""
restart_wine
T6=$(now)

# 8. The machine after, against the machine before.
snapshot after
T7=$(now)
ROUND_OK=yes
compare before after round round || ROUND_OK=no

INSTALLED=$(grep -c '^install [0-9]' "$WORK/install.out" || true)
RESTARTS=$(grep -c '^restart [A-Za-z]:' "$WORK/install.out" || true)
echo
say "== Summary =="
say "elements installed by kind: $(sed -n 's/^summary install: [0-9]* elements; by kind: \(.*\); restart.*/\1/p' "$WORK/install.out" | tr -d '\r')"
say "handheld-sync feature: conduit component installed: $CONDUIT (as expected: $FEATURE_OK)"
say "elements installed: $INSTALLED; replacements waiting for the restart: $RESTARTS (engine said a restart is needed: $RESTART_SAID; check before it: $WAITING waiting); carried out: $([ "$AFTER_RESTART" = newer ] && echo "$RESTARTS" || echo 0)"
say "checks: after installation exit $CHECK1 (8: waits for the restart), after restart exit $CHECK2; removal exit $REMOVAL (8: the engine's copy goes at the restart)"
say "time: prepare $(elapsed "$T0" "$T1"), snapshot $(elapsed "$T1" "$T2"), rollback variants $(elapsed "$T2" "$T2B"), install $(elapsed "$T2B" "$T3"), check and restart $(elapsed "$T3" "$T4"), run $(elapsed "$T4" "$T5"), removal and restart $(elapsed "$T5" "$T6"), snapshot $(elapsed "$T6" "$T7")"
if [ -s "$WORK/round.explained" ]; then
    say "differences listed and explained:"
    sed 's/^/    /' "$WORK/round.explained"
fi
if [ -s "$WORK/round.unexplained" ]; then
    say "differences NOT explained:"
    sed 's/^/    /' "$WORK/round.unexplained"
fi
OK=yes
[ "$LOADER" = 0 ] && [ "$RESTART_SAID" = yes ] && [ "$CHECK1" = 8 ] && [ "$WAITING" -ge 1 ] &&
    [ "$CHECK2" = 0 ] && [ "$REMOVAL" = 8 ] && [ "$AFTER_RESTART" = newer ] &&
    [ "$DISPLAY_NAME" = "Tarvo Sample" ] && [ -z "$ENTRY_AFTER" ] && [ "$ROUND_OK" = yes ] &&
    [ "$ROLLBACKS_OK" = yes ] && [ "$FEATURE_OK" = yes ] || OK=no
say "machine left as it was: $OK"
[ "$OK" = yes ]
