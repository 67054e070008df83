#!/usr/bin/env bash
# The features around the emulation, on the real program: the status line's
# title and the status page, transparent printing (direct and spooled) and
# print screen, capture and replay, copy and paste; over the echo device and
# over busybox telnetd.
#
#   test_features.sh PATH-TO-ZARNEK
set -u
here=$(cd "$(dirname "$0")" && pwd)
program=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
. "$here/lib.sh"
. "$here/servers.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/zarnek-features.XXXXXX")
trap 'servers_cleanup; e2e_cleanup; rm -rf "$work"' EXIT
# The capture file is made in the program's working directory.
cd "$work" || exit 1

CAPTURE=zarnek.cap

file_is() {  # file_is PATH BYTES: the file holds exactly these bytes
    [ -f "$1" ] && [ "$(od -An -c "$1")" = "$(printf '%s' "$2" | od -An -c)" ]
}

wait_file() {  # wait_file DESCRIPTION PATH BYTES
    e2e_check "$1" e2e_poll 10 file_is "$2" "$3"
}

last_row() { e2e_screen "$1" | tail -n 1; }

screen_matches() {  # screen_matches NAME REGEX
    e2e_screen "$1" | grep -qE -- "$2"
}

status_row_starts() {  # status_row_starts NAME TEXT
    [[ "$(last_row "$1")" == "$2"* ]]
}

# The status page (Ctrl+Alt+I arrives as ESC TAB) and back with a key.
check_status_page() {  # check_status_page NAME DEVICE-LINE-PATTERN TEXT-SHOWN-AFTER
    local name=$1
    e2e_keys "$name" C-M-i
    e2e_wait_text "$name" "Press any key to continue"
    e2e_check "$name: the page shows the counts" screen_matches "$name" "$2"
    e2e_wait_text "$name" "Session #  1 Connected     "
    e2e_wait_text "$name" "Session #  2 Not connected"
    e2e_keys "$name" q
    e2e_wait_gone "$name" "Press any key to continue"
    e2e_wait_text "$name" "$3"
}

echo_device() {
    local name=echo
    e2e_start "$name" 80 25 "$program" -mE "-p$work/screen.prn"
    e2e_wait_text "$name" "~screen 1 $E2E_RULE" || { e2e_stop "$name"; return; }
    e2e_keys "$name" -l "abc"
    e2e_wait_text "$name" "abc"
    check_status_page "$name" "Device  : .*\\(Read 3, Written 3\\)" "abc"
    # An arrow key (ESC O A) answers the page whole: the next page waits.
    e2e_keys "$name" C-M-i
    e2e_wait_text "$name" "Press any key to continue"
    e2e_keys "$name" Up
    e2e_wait_gone "$name" "Press any key to continue"
    e2e_keys "$name" C-M-i
    e2e_wait_text "$name" "Press any key to continue"
    sleep 0.5
    e2e_check "$name: the next page waits for its own key" e2e_screen_has "$name" "Press any key to continue"
    e2e_keys "$name" q
    e2e_wait_gone "$name" "Press any key to continue"

    # Print screen: 24 rows of 80 characters, CR CR LF after each, a form feed.
    e2e_keys "$name" C-M-p
    e2e_check "$name: the screen reaches the printer" \
        e2e_poll 10 bash -c "[ \"\$(stat -c %s '$work/screen.prn')\" = $((24 * 83 + 1)) ]"
    e2e_check "$name: the printed screen holds the typed text" grep -q "^abc  *"$'\r\r'"\$" "$work/screen.prn"
    e2e_check "$name: the printed screen ends with a form feed" \
        bash -c "[ \"\$(tail -c 1 '$work/screen.prn' | od -An -tx1 | tr -d ' ')\" = 0c ]"
    e2e_wait_text "$name" "abc"

    # Copy "bc" (cursor just after it: Left, Enter, Left, Enter) and paste it.
    e2e_keys "$name" C-IC
    e2e_wait_text "$name" "Move to start and press ENTER"
    e2e_keys "$name" Left Enter
    e2e_wait_text "$name" "Move to end and press ENTER"
    e2e_keys "$name" Left Enter
    e2e_wait_text "$name" "~screen 1 $E2E_RULE"
    e2e_keys "$name" S-IC
    e2e_wait_text "$name" "abcbc"

    e2e_keys "$name" C-M-x
    e2e_wait_exit "$name"
    e2e_assert_restored "$name"
    e2e_stop "$name"
}

# A session on busybox telnetd: the title, host prints, capture and replay.
busybox_session() {  # busybox_session PORT
    local name=busybox port=$1
    e2e_start "$name" 80 25 "$program" "-p$work/host.prn" "127.0.0.1:$port"
    e2e_wait_text "$name" "${SERVER_PROMPT% }" || { e2e_stop "$name"; return; }

    e2e_run_command "$name" "printf '\\033]0;hello\\007'"
    e2e_check "$name: the host's title on the status line" e2e_poll 10 status_row_starts "$name" "hello $E2E_RULE"

    e2e_run_command "$name" "printf '\\033[5ihello\\001\\033[1mthere\\033[4i'; echo printed"
    wait_file "$name: the host print reaches the printer byte for byte" "$work/host.prn" $'hello\001\e[1mthere'
    e2e_wait_text "$name" "printed"
    e2e_check "$name: the screen is given back after the print" e2e_screen_lacks "$name" "Please wait"
    e2e_check "$name: the command line is still there" e2e_screen_has "$name" "echo printed"

    # Capture a screen, clear it, and replay it.
    e2e_keys "$name" C-M-c
    e2e_run_command "$name" "echo captured-\$((6 * 7))"
    e2e_wait_text "$name" "captured-42"
    e2e_keys "$name" C-M-c
    e2e_run_command "$name" "clear"
    e2e_wait_gone "$name" "captured-42"
    e2e_check "$name: the capture file holds the output" grep -q "captured-42" "$work/$CAPTURE"
    e2e_keys "$name" C-M-m
    e2e_wait_text "$name" "captured-42"

    check_status_page "$name" "Device  : .*\\(Read [1-9][0-9]*, Written [1-9][0-9]*\\)" "captured-42"
    e2e_run_command "$name" exit
    e2e_wait_exit "$name"
    e2e_assert_restored "$name"
    e2e_stop "$name"
}

spool_empty() { [ -z "$(ls -A "$work/spool")" ]; }
spool_holds_a_file() { ! spool_empty; }

# Option -d: the print goes through a temporary file that is copied and
# removed, also when a signal ends the program in the middle of a print.
busybox_spooled() {  # busybox_spooled PORT
    local name=spooled port=$1
    mkdir -p "$work/spool"
    e2e_start "$name" 80 25 env "TMPDIR=$work/spool" "$program" -d "-p$work/spooled.prn" "127.0.0.1:$port"
    e2e_wait_text "$name" "${SERVER_PROMPT% }" || { e2e_stop "$name"; return; }
    e2e_run_command "$name" "printf '\\033[5ispooled\\033[4i'; echo done"
    wait_file "$name: the spooled print reaches the printer" "$work/spooled.prn" "spooled"
    e2e_check "$name: the spool file is removed" spool_empty
    # A print cut short by a signal leaves no spool file behind either.
    e2e_run_command "$name" "printf '\\033[5icut short'"
    e2e_wait_text "$name" "Please wait .. printing"
    e2e_check "$name: the print is spooled" e2e_poll 10 spool_holds_a_file
    kill -TERM "$(e2e_program_pid "$name")"
    e2e_wait_exit "$name"
    e2e_check "$name: the spool file is gone after SIGTERM" spool_empty
    e2e_assert_restored "$name"
    e2e_stop "$name"
}

echo_device
port=$(free_port)
if start_busybox_telnetd "$port"; then
    busybox_session "$port"
    busybox_spooled "$port"
else
    e2e_fail "busybox telnetd did not start"
fi
e2e_done
