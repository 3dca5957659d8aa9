# The person at the diskette drive, for checks that install from a diskette set under Wine
# (sourced: . tests/support/disk_changer.sh). Wine's drive A: is typed as a floppy drive
# (HKLM\Software\Wine\Drives "a:" = "floppy") and is the link <prefix>/dosdevices/a: to a
# folder; a diskette is "inserted" by pointing that link at the folder that holds what its image
# holds (extract_disks). The prompt is read from the real message box with message_box_probe.
#   extract_disks <images folder> <disks folder>
#                       every DISK<n>.IMG read back with mtools into <disks folder>/disk<n>
#   change_disks <pid> <title> <drive link> <disks folder> <probe command> <insert|give-up>
#       <record>        answers every prompt titled <title> while process <pid> runs: "insert"
#                       puts in the diskette whose label the prompt names and presses OK;
#                       "give-up" presses Cancel, then Yes in the question that follows (the
#                       probe presses the buttons: message_box_probe <title> <s> <button>). One
#                       line per answer goes to <record>.

extract_disks() {
    local images=$1 disks=$2 image n
    for image in "$images"/DISK*.IMG; do
        n=${image##*/DISK}
        n=${n%.IMG}
        mkdir -p "$disks/disk$n"
        MTOOLS_SKIP_CHECK=1 mcopy -s -m -n -i "$image" '::*' "$disks/disk$n/" || return 1
    done
}

change_disks() {
    local pid=$1 title=$2 link=$3 disks=$4 probe=$5 way=$6 record=$7
    local shown text label n window button
    : >"$record"
    while kill -0 "$pid" 2>/dev/null; do
        shown=$($probe "$title" 2 2>/dev/null | tr -d '\r') || continue
        text=$(sed -n 's/^text: //p' <<<"$shown")
        window=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n 1)
        [ -n "$window" ] || continue
        case "$text" in
            "Please insert Diskette "*)
                label=${text#Please insert Diskette }
                label=${label%% *}
                if [ "$way" = give-up ]; then
                    echo "asked for $label: Cancel" >>"$record"
                    button=Cancel
                else
                    n=${label##*_}
                    ln -sfn "$disks/disk$n" "$link"
                    echo "asked for $label: disk $n inserted, OK" >>"$record"
                    button=OK
                fi ;;
            "Your installation is not completed yet"*)
                echo "asked whether to give up: Yes" >>"$record"
                button=Yes ;;
            *)
                echo "unexpected box: $text" >>"$record"
                button=Cancel ;;
        esac
        # The button is pressed through the box itself (a key needs the focus, which the
        # display may give to the engine's console window instead); then the box must go.
        $probe "$title" 2 "$button" >/dev/null 2>&1 || true
        for _ in $(seq 300); do
            xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | grep -qx "$window" || break
            sleep 0.1
        done
    done
}
