#!/usr/bin/env bash
# Window resizes in a Telnet session: the host is told the new size (NAWS), the screen follows it larger
# and smaller with the status line on the new last row, and a full-screen program redraws at that size.
#   test_resize.sh PATH-TO-ZARNEK
. "$(dirname "$0")/lib.sh"
serve inetutils inetutils
resize() { t resize-window -t "$S" -x "$1" -y "$2"; }  # resize COLS ROWS
above_status() { [ "$(screen | tail -n 2 | head -n 1 | sed 's/ *$//')" = "$1" ]; }  # the last screen row

start resize 100 30 "zarnek $inetutils"
see "$PROMPT"
for size in '120 40' '80 20' '100 30'; do
    resize $size
    set -- $size
    check "$S: at $1x$2 the status line on the new last row" poll "$TIMEOUT" status_is 1
    type_line 'seq 1 60; stty size'
    check "$S: the host sees $(($2 - 1)) rows of $1, the prompt in view" poll "$TIMEOUT" \
        eval "has '|60|$(($2 - 1)) $1|$PROMPT' && above_status '$PROMPT'"
done
type_line 'seq 1 200 | less'
see '|28|:'
resize 90 25
check "$S: less redrawn at 24 rows" poll "$TIMEOUT" eval "has '|1|2|' && has '|23|:' && ! has '|24|'"
resize 100 35
check "$S: less redrawn at 34 rows" poll "$TIMEOUT" eval "has '|33|:' && status_is 1"
keys q
type_line exit
ended 0
e2e_done
