#!/usr/bin/env bash
# The Windows program under Wine, whose console maps onto the tmux pane: the
# usage text, an echo session (banner, typed text, a second session and back,
# closing both), a Telnet session against inetutils telnetd (prompt,
# terminal type, window size, a long output, printing to a file, logging
# out), and a printer that cannot be opened.
#
# Wine's console reads the terminal's bytes itself and does not carry every
# key: ESC TAB and ESC CR come as Alt+Tab and Alt+Enter, ESC ^C as Alt with
# VK_CANCEL, and ^C ends the program whatever the console mode says; tmux's
# Home and End (ESC [ 1 ~, ESC [ 4 ~) come as no key.  So Ctrl+Alt+I (status
# page), Ctrl+Alt+M (replay) and Ctrl+Alt+C (capture) cannot be typed here,
# nor Ctrl+C, Home or End; Ctrl+Alt+X, Ctrl+Alt+P and Alt+F1..F10 can.
#
#   windows_test.sh PATH-TO-ZARNEK.EXE
# WINEPREFIX names Wine's prefix (one next to the program when unset).
set -u
here=$(cd "$(dirname "$0")" && pwd)
program=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
. "$here/lib.sh"
. "$here/servers.sh"
trap 'servers_cleanup; e2e_cleanup' EXIT

export WINEPREFIX=${WINEPREFIX:-$(dirname "$program")/wine}
export WINEDEBUG=-all
export LC_ALL=C.UTF-8
# Starting Wine takes seconds where the program itself takes milliseconds.
E2E_TIMEOUT=30
# Wine gives the terminal its modes back when its server shuts down, a moment
# after the program has ended; a shell that reads its next line before then
# keeps Wine's raw modes.  So the program is run to the end of that (by sh,
# which the scenarios do not take for the interactive shell come back).
WINE_RUN=(sh -c 'wine "$@"; status=$?; wineserver -w; exit "$status"' wine)

usage_text() {  # the program's usage text, as the Unix program writes it
    printf '%s\n' 'ZARNEK Vers. 2.07 - multi-session terminal emulator and Telnet client' '' \
        'Program usage : ZARNEK [option(s))] [host[:port]]' '' \
        $'\thost\tName of the host' $'\t-h\tDisplay this message' \
        $'\t-kn\tKeyboard code (1 = usa,39 =italian,0 = auto)' $'\t-e\tForce numeric pad on (WIN95)' \
        $'\t-mx\tConnection mode :' $'\t\tT = require host' $'\t\tE = echo' \
        $'\t-rproxy[:port][\tUse the specified proxy default port 8080' \
        $'\t-pname\tDefine the printer device name' $'\t-s\tSelect printer before any usage' \
        $'\t-d\tPrint using double buffer' $'\t-1\tEnable only one session' \
        $'\t-a\tEnable SCOANSI emulation' $'\t-v\tEnable VT100 emulation' \
        $'\t-x\tEnable LINUX emulation' $'\t-t\tEnable XTERM emulation (default)' '' \
        $'\tDefault options -t -k0 -plpt1 -mT'
}

# Wine's console reaches the terminal a while after the program has drawn;
# keys typed while it is still drawing the first screen can make it draw
# later text at the wrong place.  So a screen is awaited whole.
wait_status_line() {  # wait_status_line NAME ROWS COLS SESSION
    e2e_check "$1: status line of session $4 on row $2" \
        e2e_poll "$E2E_TIMEOUT" e2e_status_line_is "$@"
}

# Wine leaves the program's last screen on the terminal, as a Windows console
# keeps it: clear it, then the shell and the terminal modes must be back.
ended_with() {  # ended_with NAME STATUS
    e2e_wait_exit "$1" || return
    e2e_check "$1: exit status $2" [ "$(e2e_exit_status "$1")" = "$2" ]
    e2e_keys "$1" -l 'clear'
    e2e_keys "$1" Enter
    e2e_assert_restored "$1"
}

if [ ! -f "$WINEPREFIX/system.reg" ] &&
    ! WINEDLLOVERRIDES="mscoree,mshtml=" timeout 300 wineboot -i </dev/null >/dev/null 2>&1; then
    e2e_fail "Wine prefix $WINEPREFIX could not be made"
    e2e_done
fi

# The usage text, as the program writes it: the Unix program's lines, each
# ended by CR LF as the runtime writes text.
tmp=$(mktemp -d)
wine "$program" -h </dev/null >"$tmp/usage.txt" 2>/dev/null
e2e_check "usage: exit status 1 without a console" [ $? -eq 1 ]
usage_text | sed 's/$/\r/' >"$tmp/expected.txt"
e2e_check "usage: the text byte for byte, with CR LF line ends" cmp -s "$tmp/usage.txt" "$tmp/expected.txt"
rm -rf "$tmp"

e2e_start usage 80 25 "${WINE_RUN[@]}" "$program" -h
e2e_wait_text usage "Default options -t -k0 -plpt1 -mT"
e2e_check "usage: the console shows the text" \
    e2e_consecutive_lines usage "|$(usage_text | expand | tr '\n' '|')"
ended_with usage 1
e2e_stop usage

echo_session() {  # echo_session NAME COLS ROWS
    local s=$1 cols=$2 rows=$3
    e2e_start "$s" "$cols" "$rows" "${WINE_RUN[@]}" "$program" -me
    e2e_wait_text "$s" "ZARNEK Vers. 2.07" || { e2e_stop "$s"; return; }
    e2e_wait_text "$s" "Id xterm"
    e2e_wait_text "$s" "Screen ${cols}x$((rows - 1))"
    wait_status_line "$s" "$rows" "$cols" 1

    e2e_keys "$s" -l 'hello, echo'
    e2e_wait_text "$s" 'hello, echo'
    # Alt+F2 opens session 2, Alt+F1 brings session 1 back as it was.
    e2e_keys "$s" M-F2
    e2e_wait_text "$s" "Terminal  2/10"
    wait_status_line "$s" "$rows" "$cols" 2
    e2e_keys "$s" -l 'second'
    e2e_wait_text "$s" 'second'
    e2e_keys "$s" M-F1
    e2e_wait_text "$s" 'hello, echo'
    wait_status_line "$s" "$rows" "$cols" 1
    e2e_check "$s: session 2's text is not on session 1" e2e_screen_lacks "$s" 'second'

    # Ctrl+Alt+X closes session 1 and shows session 2; closing that one too
    # ends the program.
    e2e_keys "$s" C-M-x
    e2e_wait_text "$s" 'second'
    wait_status_line "$s" "$rows" "$cols" 2
    e2e_keys "$s" C-M-x
    ended_with "$s" 0
    e2e_stop "$s"
}

echo_session echo80 80 25
echo_session echo132 132 43

work=$(mktemp -d)
printed=$work/print.out

file_size_is() {  # file_size_is FILE BYTES
    [ "$(stat -c %s "$1" 2>/dev/null)" = "$2" ]
}

# Print data reaches the file byte for byte; the screen is printed as its
# rows, each with CR CR LF, and a form feed.
check_printing() {  # check_printing NAME ROWS COLS
    local s=$1 rows=$2 cols=$3
    e2e_run_command "$s" "printf '\\033[5ia\\nb\\r\\n\\033[4i'"
    # The pty's CR LF for LF; Telnet's CR NUL for a bare CR arrives as CR.
    printf 'a\r\nb\r\r\n' >"$work/expected"
    e2e_check "$s: the print data in the file unchanged" e2e_poll 5 cmp -s "$printed" "$work/expected"
    e2e_keys "$s" C-M-p
    e2e_check "$s: the screen printed after it" e2e_poll 5 file_size_is "$printed" $((7 + rows * (cols + 3) + 1))
    e2e_check "$s: every row ends with CR CR LF" \
        [ "$(tail -c +8 "$printed" | grep -c $'\r\r$')" = "$rows" ]
    e2e_check "$s: and the print with a form feed" [ "$(tail -c 1 "$printed" | od -An -tx1 | tr -d ' ')" = 0c ]
}

# telnet_session NAME TERM SIZE ARGS...: logged in, the terminal type and the
# window size the host sees; then the caller's checks (the function named in
# SESSION_WORK, if any) and logging out, which ends the program.
telnet_session() {
    local s=$1 term=$2 size=$3
    shift 3
    e2e_start "$s" 80 25 "${WINE_RUN[@]}" "$program" "$@" "127.0.0.1:$port"
    e2e_wait_text "$s" "Connecting to 127.0.0.1:$port"
    if e2e_wait_text "$s" "${SERVER_PROMPT% }"; then
        e2e_run_command "$s" 'echo "term=$TERM"'
        e2e_wait_text "$s" "term=$term"
        e2e_run_command "$s" 'echo "size=$(stty size)"'
        e2e_wait_text "$s" "size=$size"
        [ -n "${SESSION_WORK:-}" ] && "$SESSION_WORK" "$s"
        e2e_run_command "$s" exit
        ended_with "$s" 0
    fi
    e2e_stop "$s"
}

long_output_and_printing() {  # long_output_and_printing NAME
    # The marker is computed, so the typed command line does not show it.
    e2e_run_command "$1" 'ls -l /usr/bin | head -n 300; seq 1 50; echo "end=$((6 * 7))"'
    e2e_wait_text "$1" "end=42"
    e2e_check "$1: the long output scrolled up to its last lines" e2e_consecutive_lines "$1" "|49|50|end=42|"
    e2e_check "$1: the command line scrolled away" e2e_screen_lacks "$1" 'head -n 300'
    check_printing "$1" 25 80
}

port=$(free_port)
start_inetutils_telnetd "$port" || e2e_done
SESSION_WORK=long_output_and_printing telnet_session scoansi scoansi "25 80" -a "-p$printed"
# The other emulations: their type names, and XTERM's status line row.
telnet_session vt100 vt100 "25 80" -v
telnet_session linux linux "25 80" -x
telnet_session xterm xterm "24 80" -t

# A printer that cannot be opened: the message over the console until a key,
# then the console as it was drawn.  The echo session prints what is typed:
# Escape, then [ 5 i starts a print session.
s=noprinter
e2e_start "$s" 80 25 "${WINE_RUN[@]}" "$program" -me "-p$work/no-such-dir/lp"
wait_status_line "$s" 25 80 1
e2e_keys "$s" Escape
sleep 0.5
e2e_keys "$s" -l '[5ix'
e2e_wait_text "$s" "ZARNEK: Unable to open $work/no-such-dir/lp"
e2e_keys "$s" Space
e2e_wait_gone "$s" "ZARNEK: Unable to open"
e2e_check "$s: the print dialog is back" e2e_screen_has "$s" "* Please wait .. printing *"
e2e_keys "$s" Escape
sleep 0.5
e2e_keys "$s" -l '[4i'
e2e_wait_gone "$s" "* Please wait .. printing *"
wait_status_line "$s" 25 80 1
e2e_keys "$s" C-M-x
ended_with "$s" 0
e2e_stop "$s"
rm -rf "$work"

e2e_done
