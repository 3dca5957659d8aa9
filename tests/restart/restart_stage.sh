#!/bin/bash
# The restart stage: work scheduled for the next restart is proved by a real one.
#   restart_stage.sh <build-dir> <version>      (version: win95, win98, nt40 or win2k)
#
# Runs in a Wine prefix of its own, <build-dir>/restart/prefix (made once, reused; the two
# versions take turns in it: CTest resource "restart_stage"), so that its restarts never reach
# the suite's shared prefix and server. Steps:
#   1. clean up: carry out whatever an earlier, broken run left scheduled, then empty
#      C:\restart-stage and remove WININIT.INI and wininit.bak;
#   2. restart_stage-<version>.exe --gtest_filter=*.Schedule   (every case schedules its work)
#   3. restart: end the prefix's server and every process in it (file holders included), then
#      wineboot -r, which carries out the rename list and the delayed moves;
#   4. restart_stage-<version>.exe --gtest_filter=*.Check      (every case checks the outcome)
# The programs' output goes to files, never to the caller's pipe (Wine's background processes
# would keep a pipe, and ctest with it, waiting); it is printed at the end.
set -u
BUILD=$(cd "$1" && pwd)
VERSION=$2
STAGE="$BUILD/restart"
export TARVO_WINEPREFIX="$STAGE/prefix"
export WINEPREFIX="$TARVO_WINEPREFIX"
# No windows are needed; without a display Wine's desktop process needs none either.
unset DISPLAY
WINESERVER=/usr/lib/wine/wineserver
RUN="$BUILD/wine-run"
PROGRAM="$BUILD/tests/bin/restart_stage-$VERSION.exe"
DRIVE_C="$WINEPREFIX/drive_c"
mkdir -p "$STAGE"
LOG="$STAGE/last-run-$VERSION.log"
: >"$LOG"

stop_server() {
    $WINESERVER -k >/dev/null 2>&1
    $WINESERVER -w >/dev/null 2>&1
}
finish() {
    local status=$1
    stop_server
    cat "$LOG"
    echo "restart stage ($VERSION): $([ "$status" = 0 ] && echo passed || echo FAILED)"
    exit "$status"
}
step() {
    echo "== $*" >>"$LOG"
    "$@" </dev/null >>"$LOG" 2>&1
}
restart() {
    stop_server
    step "$RUN" wineboot -r || return 1
}
windows_file() { # a file of C:\windows, in whatever case it was written
    find "$DRIVE_C/windows" -maxdepth 1 -iname "$1" -print -quit 2>/dev/null
}

"$RUN" --runnable || exit $?
step "$RUN" --init || finish 1
stop_server
# 1. Leftovers of an earlier run are carried out first, so they cannot touch this run's files.
if [ -n "$(windows_file wininit.ini)" ] ||
    grep -q PendingFileRenameOperations "$WINEPREFIX/system.reg" 2>/dev/null; then
    restart || finish 1
    stop_server
fi
rm -rf "$DRIVE_C/restart-stage"
for f in wininit.ini wininit.bak; do
    while [ -n "$(windows_file $f)" ]; do rm -f "$(windows_file $f)"; done
done

# 2.-4.
step "$RUN" "$PROGRAM" --gtest_filter='*.Schedule' || finish 1
restart || finish 1
step "$RUN" "$PROGRAM" --gtest_filter='*.Check' || finish 1
finish 0
