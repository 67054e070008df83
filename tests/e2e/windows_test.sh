#!/usr/bin/env bash
# The Windows program under Wine, whose console maps onto the tmux pane: the usage text, the echo session
# at two sizes, and a SCOANSI session on inetutils telnetd with printing to a file.  Wine's console cannot
# carry every key (ESC TAB, ESC CR and ESC ^C come as other keys, ^C ends the program; README.md), so the
# status page, capture and replay are left to the Unix scenarios.
#   windows_test.sh PATH-TO-ZARNEK.EXE    (WINEPREFIX: Wine's prefix, by default next to the program)
. "$(dirname "$0")/lib.sh"
if [ ! -f "$WINEPREFIX/system.reg" ] &&
        ! WINEDLLOVERRIDES="mscoree,mshtml=" timeout 300 wineboot -i </dev/null >/dev/null 2>&1; then
    echo "FAIL - the Wine prefix $WINEPREFIX could not be made" && exit 1
fi

# The runtime ends the usage text's lines with CR LF.
check_usage $'\r'
echo_session 80 25
echo_session 132 43
serve inetutils inetutils
AFTER=print_checks telnet 80 25 '=25 80=scoansi|' -a -pprint.out "$inetutils"
e2e_done
