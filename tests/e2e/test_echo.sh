#!/usr/bin/env bash
# The program on a real terminal without a host (the echo session): the first screen and the hot keys at
# 80x25 and 132x43, copy and paste, capture and replay, and the terminal given back as found on every way
# out.   test_echo.sh PATH-TO-ZARNEK
. "$(dirname "$0")/lib.sh"

# Ctrl+Alt+I shows the status page.  An arrow key answers it whole: nothing of it is left over for the
# session.
status_page() {
    keys C-M-i
    see "Press any key to continue"
    keys Up
    check "$S: Up answered the page" poll "$TIMEOUT" eval '! has "Press any key to continue"'
    keys -l d
    see abcd
}
echo_session 80 25 status_page
echo_session 132 43 status_page

# Copy "bc" (Ctrl+Ins, then its start and its end, each with Left and Enter) and paste it (Shift+Ins);
# capture what the session receives (Ctrl+Alt+C on and off) and replay it (Ctrl+Alt+M).
start features 80 25 'zarnek -me'
check "$S: session 1's status line" poll "$TIMEOUT" status_is 1
keys -l abc
see abc
keys C-IC
see "Move to start and press ENTER"
keys Left Enter
see "Move to end and press ENTER"
keys Left Enter
keys S-IC
see abcbc
keys C-M-c
keys -l xyz
see abcbcxyz
keys C-M-c C-M-m
see abcbcxyzxyz
check "$S: the capture file holds what was received" grep -q xyz "$work/zarnek.cap"
keys C-M-x
ended 0

# The other ways out: the end of input, the usage text, the ending signals.
start eof 80 25 'zarnek -me </dev/null'
ended 0
check_usage ''
for signal in TERM HUP INT QUIT; do
    start "$signal" 80 25 'zarnek -me'
    check "$S: session 1's status line" poll "$TIMEOUT" status_is 1
    kill -s "$signal" "$(cat "$work/pid")"
    ended ''
done
e2e_done
