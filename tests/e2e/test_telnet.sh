#!/usr/bin/env bash
# Telnet against real servers: inetutils telnetd (it asks for the terminal type and lowercases it) and
# busybox telnetd (it never asks, and sends DO ECHO as well as WILL ECHO), directly and through the relay
# proxy; printing and spooling; the last words of a host that hangs up; a connection refused.
#   test_telnet.sh PATH-TO-ZARNEK
. "$(dirname "$0")/lib.sh"
script hangup "printf 'Too many users - try again later\\r\\n'"
hangup() { listen "$1" "EXEC:$work/hangup"; }
serve inetutils inetutils
serve busybox busybox_telnetd
serve relay relay
serve hangup hangup

telnet 80 25 '=24 80=xterm|' -t "$inetutils"
telnet 80 25 '=25 80=vt100|' -v "$inetutils"
telnet 80 25 '=25 80=linux|' -x "$inetutils"
AFTER=print_checks telnet 80 25 '=25 80=scoansi|' -a -pprint.out "$inetutils"
telnet 80 25 '=24 80=' "$busybox"
telnet 80 25 '=24 80=xterm|' "-r$relay" "$inetutils"
telnet 80 25 '=25 80=' -v "-r$relay" "$busybox"

# -d prints through a spool file in TMPDIR, removed once copied, and also when SIGTERM cuts a print short.
spool_empty() { [ -z "$(ls -A "$work/spool")" ]; }
spooled() { [ "$(cat "$work/spooled.prn" 2>/dev/null)" = spooled ] && spool_empty; }
mkdir "$work/spool"
start spooled 80 25 "TMPDIR=spool zarnek -d -pspooled.prn $busybox"
see "$PROMPT"
type_line "printf '\\033[5ispooled\\033[4i'"
check "$S: the spooled print in the file, the spool file removed" poll "$TIMEOUT" spooled
type_line "printf '\\033[5icut short'"
see "Please wait .. printing"
check "$S: a spool file while printing" poll "$TIMEOUT" eval '! spool_empty'
kill -TERM "$(cat "$work/pid")"
ended ''
check "the spool file removed after SIGTERM" spool_empty

# A host that says why and hangs up: its last screen and the closing line stay below the command line.
for via in '' "-r$relay "; do
    start last-words 80 25 "zarnek $via$hangup"
    ended 0 'e2e-exit=$?| ZARNEK Vers. 2.07' \
        "|Too many users - try again later|Connection closed by 127.0.0.1.|e2e-exit=0|"
done

# A port that refuses: the error box, then the retry prompt.  An arrow key answers the box whole (the rest of
# it would answer the prompt); ESC gives up leaving nothing in view.
refused=127.0.0.1:$(free_port)
start refused 80 25 "zarnek $refused"
see "connect() a $refused"
keys Up
see "Unable to connect strike any key to retry (ESC exit)"
check "$S: one box, one prompt" eval 'rows_with 1 "connect() a" && rows_with 1 "Unable to connect strike"'
keys Escape
ended 0 'e2e-exit=$?|e2e-exit=0|'

# A host in C.UTF-8 with --utf8: accented letters and box drawing shown as such, typed ones sent as UTF-8,
# and a character whose second byte is 0x9B (s acute) no CSI: no report is typed at the prompt.
script utf8shell "PS1='$PROMPT ' LC_ALL=C.UTF-8 exec /bin/sh -i"
utf8_inetutils() { listen "$1" "EXEC:/usr/sbin/telnetd -h -E $work/utf8shell,nofork"; }
serve utf8host utf8_inetutils
start utf8 80 25 "zarnek --utf8 $utf8host"
see "$PROMPT"
type_line "printf 'café ┌─┐\\n'"
check "$S: the host's UTF-8 shown" poll "$TIMEOUT" rows_with 2 "café ┌─┐"
type_line "printf 'x\\305\\2336n\\n'; echo é€ | od -An -tx1"
see "|x?6n|"
see " c3 a9 e2 82 ac 0a|$PROMPT|"
type_line exit
ended 0
e2e_done
