#!/bin/bash
# The question an interactive installation asks when replacements wait for the restart, as a
# real message box under the X display. The product copies one file onto a file that another
# program (holdfile) holds open, so its replacement waits for the restart; the engine then asks,
# in a box titled with the product's name,
#   "<product>: Windows must be restarted to finish. Restart Windows now?"   (Yes, No).
# The installation's wizard is gone through with Enter on every page first; after No its Finish
# page follows (Enter), after Yes nothing more is shown.
#   1. No: the box's title, text and buttons (read by message_box_probe); the engine exits 8, the
#      replacement stays scheduled, nothing is restarted (a windowed program beside the engine
#      keeps running); a restart of the prefix afterwards carries the replacement out.
#   1b. The removal of that product while the file is held asks the same question; No: exit 8.
#   2. Yes: Windows is asked to restart. Wine answers the request by ending the session (every
#      program with a window gets WM_QUERYENDSESSION and WM_ENDSESSION and is then ended) and
#      by doing what a start does (the rename list and the delayed moves are carried out); its
#      server and its windowless programs stay. The holder is let go before Yes, since Wine's
#      session end would not end it as a real restart does.
#   3. /batch, /silent and output=: the same installation asks nothing and exits 8.
# Everything runs in a Wine prefix of the check's own (<work>/restart-question/prefix, made on
# the first run) with a server of its own, so that the restarts reach no other test.
#   restart_question_check.sh <wine-run> <engine.exe> <holdfile.exe> <message_box_probe.exe>
#                             <desktop_keeper.exe> <version> <artifacts> <work>
# Exit code 77 (skipped) without an X display or where the tree's Wine cannot run.
set -u
WINE_RUN=$1 ENGINE=$2 HOLDFILE=$3 PROBE=$4 KEEPER=$5 VERSION=$6 ARTIFACTS=$7 WORK=$8
. "$(dirname "$0")/../support/window_check.sh"

require_display
"$WINE_RUN" --runnable || exit $?

mkdir -p "$WORK/restart-question" "$ARTIFACTS"
export TARVO_WINEPREFIX="$WORK/restart-question/prefix"
export WINEPREFIX="$TARVO_WINEPREFIX"
WINESERVER=/usr/lib/wine/wineserver
PRODUCT="Tarvo Restart Question"
QUESTION="$PRODUCT: Windows must be restarted to finish. Restart Windows now?"

row_long() { # <what> <expected> <seen>: texts too long for one line
    local verdict=ok
    [ "$2" = "$3" ] || { verdict=FAILED; FAILS=$((FAILS + 1)); }
    printf '%-62s %s\n    expected "%s"\n    saw      "%s"\n' "$1" "$verdict" "$2" "$3"
}
yes_no() { "$@" && echo yes || echo no; }
running() { [ -n "$1" ] && kill -0 "$1" 2>/dev/null; }

stop_server() {
    $WINESERVER -k >/dev/null 2>&1
    $WINESERVER -w >/dev/null 2>&1
}
# A persistent server: between the steps nothing restarts unless the check restarts it.
start_server() {
    $WINESERVER -p </dev/null >/dev/null 2>&1
    "$WINE_RUN" wineboot </dev/null >/dev/null 2>&1
}
# As a restart of the prefix: every program of it ends, and the next start carries out the
# rename list and the delayed moves.
restart_prefix() {
    stop_server
    start_server
}
windows_file() { # a file of C:\windows, in whatever case it was written
    find "$WINEPREFIX/drive_c/windows" -maxdepth 1 -iname "$1" -print -quit 2>/dev/null
}
# Whether the family's restart list names <file name>: the "rename" section of WININIT.INI on
# the 9x family, PendingFileRenameOperations on the NT family.
LIST_NAME="PendingFileRenameOperations"
[ "$VERSION" = win98 ] || [ "$VERSION" = win95 ] && LIST_NAME="WININIT.INI [rename]"
list_names() {
    if [ "$LIST_NAME" = PendingFileRenameOperations ]; then
        "$WINE_RUN" reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' \
            /v PendingFileRenameOperations </dev/null 2>/dev/null | grep -qi "$1"
    else
        local ini
        ini=$(windows_file wininit.ini)
        [ -n "$ini" ] && grep -qi "$1" "$ini"
    fi
}

M=$(mktemp -d "$WORK/restart-question.XXXXXX")
PIDS=()
cleanup() {
    local pid
    for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null; done
    stop_server
    rm -rf "$M"
}
trap cleanup EXIT

"$WINE_RUN" --init </dev/null >/dev/null 2>&1 || { echo "FAILED: the prefix could not be made"; exit 1; }
stop_server
# What an earlier, broken run left for the restart is carried out first.
if [ -n "$(windows_file wininit.ini)" ] ||
    grep -q PendingFileRenameOperations "$WINEPREFIX/system.reg" 2>/dev/null; then
    restart_prefix
    stop_server
fi
for f in wininit.ini wininit.bak; do
    while [ -n "$(windows_file $f)" ]; do rm -f "$(windows_file $f)"; done
done
start_server
UNINSTALL_KEY="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$PRODUCT"
"$WINE_RUN" reg delete "$UNINSTALL_KEY" /f </dev/null >/dev/null 2>&1

mkdir -p "$M/medium"
cp "$ENGINE" "$M/medium/engine-$VERSION.exe"
cp "$HOLDFILE" "$M/holdfile.exe"
cp "$KEEPER" "$M/keeper.exe"
printf 'new\r\n' >"$M/medium/data.txt"
# describe <case>: a product that copies data.txt into <case>/, where an older one is held.
describe() {
    mkdir -p "$M/$1"
    printf 'old\r\n' >"$M/$1/data.txt"
    cat >"$M/medium/$1.txt" <<EOF
[Product]
Name = $PRODUCT
Destination = $(winpath "$M/$1")

[Component Main]
Selected = 1

[WSetupFile Data]
Component = Main
SourceDir = <S>
MediaName = data.txt
DestName = data.txt
CopyMode = 0
EOF
}
HOLDER_PID=""
hold() { # <case>: data.txt of the case held open until release <case>
    "$WINE_RUN" "$M/holdfile.exe" "$(winpath "$M/$1/data.txt")" --share=read \
        "--ready=$(winpath "$M/ready-$1")" "--release=$(winpath "$M/release-$1")" \
        </dev/null >/dev/null 2>&1 &
    HOLDER_PID=$!
    PIDS+=("$HOLDER_PID")
    for _ in $(seq 1 200); do [ -s "$M/ready-$1" ] && break; sleep 0.1; done
    row "$1: the installed file is held by another program" held \
        "$(head -c 4 "$M/ready-$1" 2>/dev/null)"
}
release() { # <case>
    touch "$M/release-$1"
    wait "$HOLDER_PID" 2>/dev/null
    HOLDER_PID=""
}
KEEPER_PID=""
keep_window() { # <case>: a program with a window beside the engine, a witness of the session
    "$WINE_RUN" "$M/keeper.exe" "$(winpath "$M/keeper-$1")" </dev/null >/dev/null 2>&1 &
    KEEPER_PID=$!
    PIDS+=("$KEEPER_PID")
    for _ in $(seq 1 200); do [ -e "$M/keeper-$1" ] && break; sleep 0.1; done
}
ENGINE_PID=""
install() { # <case> [words...]: the engine in the background, its output in <case>.out
    local case=$1
    shift
    "$WINE_RUN" "$M/medium/engine-$VERSION.exe" "$@" \
        "description=$(winpath "$M/medium/$case.txt")" </dev/null >"$M/$case.out" 2>&1 &
    ENGINE_PID=$!
    PIDS+=("$ENGINE_PID")
    # An interactive installation first leads through its wizard: Enter on every page.
    case " $* " in
    *" /batch "* | *" /silent "* | *" output="*) ;;
    *) wizard_through "$ENGINE_PID" || echo "    (no wizard went by)" ;;
    esac
}
BOX=""
find_box() { BOX=$(find_window "^$PRODUCT\$" "$ENGINE_PID"); }
answer() { press_until_ended "$BOX" "$1" "$ENGINE_PID"; } # <key>
answer_box() { # <key>: pressed on the box until it is gone (the engine goes on)
    local attempt _
    for attempt in 1 2 3; do
        xdotool windowfocus --sync "$BOX" key "$1" 2>/dev/null || true
        for _ in $(seq 1 50); do
            xdotool search --onlyvisible --name "^$PRODUCT\$" 2>/dev/null | grep -qx "$BOX" ||
                return 0
            sleep 0.1
        done
    done
}
finish_engine() { # waits up to a minute; the exit code in STATUS
    for _ in $(seq 1 600); do running "$ENGINE_PID" || break; sleep 0.1; done
    wait "$ENGINE_PID"
    STATUS=$?
    ENGINE_PID=""
}
said() { # <case> <line start>
    tr -d '\r' <"$M/$1.out" | grep -q "^$2"
}
show_output() { tr -d '\r' <"$M/$1.out" | sed 's/^/    /'; }
data_text() { tr -d '\r' <"$M/$1/data.txt" 2>/dev/null; }

echo "== 1. the question, answered No"
describe no
hold no
keep_window no
install no
find_box
row "no: a visible window titled \"$PRODUCT\"" yes "$([ -n "$BOX" ] && echo yes || echo no)"
"$WINE_RUN" "$PROBE" "$PRODUCT" 10 </dev/null >"$M/probe-no.txt" 2>&1
tr -d '\r' <"$M/probe-no.txt" | sed 's/^/    probe: /'
probe_line() { tr -d '\r' <"$M/probe-$1.txt" | sed -n "s/^$2: //p" | head -n 1; }
row_long "no: the title" "$PRODUCT" "$(probe_line no title)"
row_long "no: the text" "$QUESTION" "$(probe_line no text)"
row "no: the buttons" "Yes No" "$(probe_line no buttons)"
if [ -n "$BOX" ]; then
    import -window root "$ARTIFACTS/engine-restart-question-$VERSION.png" &&
        echo "screenshot: $ARTIFACTS/engine-restart-question-$VERSION.png"
    answer_box n
    # No: the wizard's Finish page follows.
    row "no: the Finish page follows" yes "$(yes_no wizard_finish "$ENGINE_PID")"
fi
finish_engine
show_output no
row "no: exit code (done, replacements wait for the restart)" 8 "$STATUS"
row "no: said \"restart needed: 1 replacement waits for it\"" yes \
    "$(yes_no said no 'restart needed: 1 replacement waits for it$')"
row "no: did not ask Windows to restart (no refusal either)" no \
    "$(yes_no said no 'restart refused')"
row "no: the file in place is still the old one" old "$(data_text no)"
row "no: $LIST_NAME names the file" yes "$(yes_no list_names 'data\.txt')"
row "no: the rename list was not carried out (no wininit.bak)" no \
    "$([ -n "$(windows_file wininit.bak)" ] && echo yes || echo no)"
row "no: the program with a window beside the engine still runs" yes \
    "$(yes_no running "$KEEPER_PID")"
restart_prefix
row "no: after a restart of the prefix the file is the new one" new "$(data_text no)"
row "no: after it $LIST_NAME no longer names the file" no "$(yes_no list_names 'data\.txt')"

echo "== 1b. the removal asks too, answered No"
hold no
"$WINE_RUN" "$M/medium/engine-$VERSION.exe" mode=remove "log=$(winpath "$M/no")\\install.log" \
    </dev/null >"$M/remove.out" 2>&1 &
ENGINE_PID=$!
PIDS+=("$ENGINE_PID")
# First the removal's own question (Yes), then its report (OK), then the restart question.
find_box
"$WINE_RUN" "$PROBE" "$PRODUCT" 10 </dev/null >"$M/probe-remove-ask.txt" 2>&1
row_long "remove: the question before removing" \
    "Remove $PRODUCT and all of its components?" "$(probe_line remove-ask text)"
[ -n "$BOX" ] && answer_box y
find_box
"$WINE_RUN" "$PROBE" "$PRODUCT" 10 </dev/null >"$M/probe-remove-report.txt" 2>&1
row_long "remove: the report's first line" "$PRODUCT was removed." \
    "$(probe_line remove-report text)"
[ -n "$BOX" ] && answer_box Return
find_box
"$WINE_RUN" "$PROBE" "$PRODUCT" 10 </dev/null >"$M/probe-remove.txt" 2>&1
row_long "remove: the text" "$QUESTION" "$(probe_line remove text)"
[ -n "$BOX" ] && answer n
finish_engine
show_output remove
row "remove: exit code (done, a deletion waits for the restart)" 8 "$STATUS"
row "remove: the held file is still there" yes "$(yes_no test -f "$M/no/data.txt")"
row "remove: $LIST_NAME names the file" yes "$(yes_no list_names 'data\.txt')"
restart_prefix
row "remove: after a restart of the prefix the file is gone" no \
    "$(yes_no test -f "$M/no/data.txt")"
for f in wininit.bak; do
    while [ -n "$(windows_file $f)" ]; do rm -f "$(windows_file $f)"; done
done

echo "== 2. the question, answered Yes"
describe yes
hold yes
keep_window yes
install yes
find_box
row "yes: a visible window titled \"$PRODUCT\"" yes "$([ -n "$BOX" ] && echo yes || echo no)"
"$WINE_RUN" "$PROBE" "$PRODUCT" 10 </dev/null >"$M/probe-yes.txt" 2>&1
row_long "yes: the text" "$QUESTION" "$(probe_line yes text)"
row "yes: before Yes: the file is the old one" old "$(data_text yes)"
row "yes: before Yes: $LIST_NAME names the file" yes "$(yes_no list_names 'data\.txt')"
# A restart ends the holder; Wine's session end would not (it has no window).
release yes
[ -n "$BOX" ] && answer y
finish_engine
show_output yes
# The engine returns 8 once Windows accepted the request; Wine's session end ends it with 0
# when it comes first (the engine keeps its last word readable for a moment).
case "$STATUS" in 0 | 8) ENDED=ok ;; *) ENDED="$STATUS" ;; esac
row "yes: the engine ended (8 itself, or 0: ended by the session's end)" ok "$ENDED"
echo "    (exit code $STATUS: $([ "$STATUS" = 0 ] && echo "ended by the session's end" || echo "its own"))"
row "yes: said \"restart needed: 1 replacement waits for it\"" yes \
    "$(yes_no said yes 'restart needed: 1 replacement waits for it$')"
row "yes: Windows accepted the restart (no \"restart refused\")" no \
    "$(yes_no said yes 'restart refused')"
for _ in $(seq 1 300); do running "$KEEPER_PID" || break; sleep 0.1; done
row "yes: the program with a window beside the engine was ended" yes \
    "$(running "$KEEPER_PID" && echo no || echo yes)"
WINDOWS=$(xdotool search --onlyvisible --name "^$PRODUCT" 2>/dev/null | wc -l)
row "yes: no window of the engine is left" 0 "$WINDOWS"
for _ in $(seq 1 100); do [ "$(data_text yes)" = new ] && break; sleep 0.1; done
row "yes: the file is the new one (replaced by the restart)" new "$(data_text yes)"
row "yes: $LIST_NAME no longer names the file" no "$(yes_no list_names 'data\.txt')"
if [ "$LIST_NAME" != PendingFileRenameOperations ]; then
    row "yes: WININIT.INI was carried out (now wininit.bak)" yes \
        "$([ -n "$(windows_file wininit.bak)" ] && [ -z "$(windows_file wininit.ini)" ] &&
            echo yes || echo no)"
fi
row "yes: the staging copy is gone (only data.txt and the log)" 2 \
    "$(find "$M/yes" -maxdepth 1 -type f | wc -l)"

echo "== 3. runs without the user ask nothing"
for how in /batch /silent output; do
    c=${how#/}
    describe "$c"
    hold "$c"
    if [ "$how" = output ]; then
        install "$c" "output=$(winpath "$M/$c.log")"
    else
        install "$c" "$how"
    fi
    SEEN=no
    for _ in $(seq 1 600); do
        running "$ENGINE_PID" || break
        if xdotool search --onlyvisible --name "^$PRODUCT\$" >/dev/null 2>&1; then
            SEEN=yes
            BOX=$(xdotool search --onlyvisible --name "^$PRODUCT\$" | head -n 1)
            answer n
        fi
        sleep 0.1
    done
    finish_engine
    [ "$how" = output ] && tr -d '\r' <"$M/$c.log" >>"$M/$c.out" 2>/dev/null
    row "$c: no question was shown" no "$SEEN"
    row "$c: exit code" 8 "$STATUS"
    row "$c: said \"restart needed: 1 replacement waits for it\"" yes \
        "$(yes_no said "$c" 'restart needed: 1 replacement waits for it$')"
    release "$c"
done
restart_prefix

# The products go again, the last installed first (each put its list entry over the one
# before), so that the prefix holds nothing of this run.
for c in output silent batch yes; do
    "$WINE_RUN" "$M/medium/engine-$VERSION.exe" mode=remove \
        "log=$(winpath "$M/$c")\\install.log" "output=$(winpath "$M/remove-$c.log")" \
        </dev/null >/dev/null 2>&1
    row "$c: removed afterwards" 0 "$?"
done
"$WINE_RUN" reg query "$UNINSTALL_KEY" </dev/null >/dev/null 2>&1
row "the product's entry in the list of installed programs is gone" 1 "$?"

echo "$FAILS failed"
[ "$FAILS" = 0 ]
