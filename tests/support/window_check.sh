# Functions of the window checks, which drive real windows of a program under Wine on the X
# display with xdotool (sourced: . tests/support/window_check.sh).
#   require_display                     exits 77 (skipped) when DISPLAY is unset
#   winpath <path>                      a Linux path as Wine's drive Z: shows it
#   row <what> <expected> <seen>        one line of the check's table; FAILS counts the rows
#                                       whose expected and seen differ
#   find_window <title> [<pid>]         prints the id of a visible window whose title matches
#                                       the extended expression <title>, waited for up to a
#                                       minute (no longer than process <pid> runs, when given);
#                                       prints nothing when none appeared
#   press_until_ended <window> <key> <pid>
#                                       presses <key> in <window> until process <pid> ends, up
#                                       to three times, 10 s apart; false when it still runs
# Without a window manager xdotool gives the focus with windowfocus (windowactivate needs one).
# A key that reaches a window before it has taken the focus is lost, hence the repeats; and a
# search can end at once without an answer while the display is busy with another test's
# windows, hence the searches again until the minute is up.

require_display() {
    if [ -z "${DISPLAY:-}" ]; then
        echo "SKIPPED: DISPLAY is unset; the window check needs an X display" \
            "(scripts/run-tests.sh starts one)"
        exit 77
    fi
}

winpath() { echo "Z:${1//\//\\}"; }

FAILS=0
row() {
    local verdict=ok
    [ "$2" = "$3" ] || { verdict=FAILED; FAILS=$((FAILS + 1)); }
    printf '%-62s expected %-10s saw %-10s %s\n' "$1" "$2" "$3" "$verdict"
}

find_window() {
    local title=$1 pid=${2:-} found="" deadline=$((SECONDS + 60))
    while [ -z "$found" ] && [ "$SECONDS" -lt "$deadline" ]; do
        [ -n "$pid" ] && ! kill -0 "$pid" 2>/dev/null && break
        found=$(timeout 10 xdotool search --sync --onlyvisible --name "$title" 2>/dev/null |
            head -n 1)
        [ -n "$found" ] || sleep 0.5
    done
    echo "$found"
}

press_until_ended() {
    local window=$1 key=$2 pid=$3 attempt _
    for attempt in 1 2 3; do
        xdotool windowfocus --sync "$window" key "$key" 2>/dev/null || true
        for _ in $(seq 1 100); do
            kill -0 "$pid" 2>/dev/null || return 0
            sleep 0.1
        done
    done
    ! kill -0 "$pid" 2>/dev/null
}

wizard_through() {
    local pid=$1 wid _
    wid=$(find_window ' - Setup Wizard$' "$pid")
    [ -n "$wid" ] || return 1
    for _ in $(seq 1 20); do
        xdotool windowfocus --sync "$wid" key Return 2>/dev/null || return 0
        sleep 0.7
        xdotool getwindowname "$wid" >/dev/null 2>&1 || return 0
        kill -0 "$pid" 2>/dev/null || return 0
    done
    return 1
}

wizard_finish() {
    local pid=$1 wid
    wid=$(find_window ' - Setup Wizard$' "$pid")
    [ -n "$wid" ] || return 1
    press_until_ended "$wid" Return "$pid"
}
