#!/usr/bin/env bash
# The echo session on a real terminal (tmux at 80x25 and 132x43): the banner
# and the status line, typed text echoed with wrapping and scrolling, keys
# echoed as glyphs, session switching and closing, and the terminal given
# back as it was on every way out.
# Usage: test_echo.sh PATH-TO-ZARNEK
set -u
prog=$(realpath "${1:?path to the zarnek binary}")
. "$(dirname "$0")/lib.sh"
export LC_ALL=C.UTF-8

has_row() {  # has_row NAME TEXT: some row is exactly TEXT
    e2e_screen "$1" | grep -qxF -- "$2"
}

row_is() {  # row_is NAME N TEXT
    [ "$(e2e_row "$1" "$2")" = "$3" ]
}

type_line() {  # type_line NAME TEXT: the text, then CR and LF
    e2e_keys "$1" -l "$2"
    e2e_keys "$1" Enter C-j
}

echo_scenario() {  # echo_scenario NAME COLS ROWS
    local s=$1 cols=$2 rows=$3 long i
    e2e_start "$s" "$cols" "$rows" "$prog" -me
    e2e_wait_text "$s" "ZARNEK Vers. 2.07" || return
    e2e_wait_text "$s" "Id xterm"
    e2e_wait_text "$s" "Screen ${cols}x$((rows - 1))"
    e2e_check "$s: status line on row $rows" e2e_status_line_is "$s" "$rows" "$cols" 1

    # Typed text comes back; Alt+letter comes back as ESC and the letter,
    # which the emulation shows as glyphs.
    e2e_keys "$s" -l 'hello, echo'
    e2e_wait_text "$s" 'hello, echo'
    e2e_keys "$s" M-b
    e2e_wait_text "$s" 'hello, echo←B'

    # A line longer than the screen wraps onto the next row.
    e2e_keys "$s" Enter C-j
    long=$(seq -s '' 1 200 | head -c $((cols + 7)))
    e2e_keys "$s" -l "$long"
    e2e_wait_text "$s" "${long:cols}"
    e2e_check "$s: the long line fills a whole row" has_row "$s" "${long:0:cols}"
    e2e_check "$s: the rest continues on the next row" has_row "$s" "${long:cols}"

    # Enough lines scroll the banner away; the status line stays.
    e2e_keys "$s" Enter C-j
    for ((i = 1; i <= rows; i++)); do type_line "$s" "line $i"; done
    e2e_wait_text "$s" "line $rows"
    e2e_wait_gone "$s" "ZARNEK Vers. 2.07"
    e2e_check "$s: the last line typed is above the cursor row" row_is "$s" $((rows - 2)) "line $rows"
    e2e_check "$s: status line kept on row $rows" e2e_status_line_is "$s" "$rows" "$cols" 1

    # Alt+F2 opens session 2, Alt+F1 brings session 1 back as it was.
    e2e_keys "$s" M-F2
    e2e_wait_text "$s" "Terminal  2/10"
    e2e_check "$s: session 2 on the status line" e2e_status_line_is "$s" "$rows" "$cols" 2
    e2e_keys "$s" -l 'second'
    e2e_wait_text "$s" 'second'
    e2e_keys "$s" M-F1
    e2e_wait_text "$s" "line $rows"
    e2e_check "$s: session 1 on the status line" e2e_status_line_is "$s" "$rows" "$cols" 1

    # Ctrl+Alt+X closes session 1 and shows session 2; closing that one too
    # ends the program.
    e2e_keys "$s" C-M-x
    e2e_wait_text "$s" 'second'
    e2e_check "$s: session 2 shown after closing 1" e2e_status_line_is "$s" "$rows" "$cols" 2
    e2e_keys "$s" C-M-x
    e2e_wait_exit "$s"
    e2e_check "$s: exit status 0" [ "$(e2e_exit_status "$s")" = 0 ]
    e2e_assert_restored "$s"
    e2e_stop "$s"
}

echo_scenario echo80 80 25
echo_scenario echo132 132 43

# Function keys send their definitions; under VT100 the echoed ESC O P is
# no sequence of the emulation and shows as glyphs.
e2e_start vt100 80 25 "$prog" -me -v
e2e_wait_text vt100 "Id Vt100"
e2e_keys vt100 -l 'x'
e2e_keys vt100 F1
e2e_wait_text vt100 'x←OP'
e2e_keys vt100 C-M-x
e2e_wait_exit vt100
e2e_assert_restored vt100
e2e_stop vt100

# Signals end the program with the terminal given back.
for signal in TERM HUP INT; do
    s=sig$signal
    e2e_start "$s" 80 25 "$prog" -me
    e2e_wait_text "$s" "Id xterm"
    pid=$(e2e_program_pid "$s")
    e2e_check "$s: found the program" [ -n "$pid" ]
    kill -s "$signal" "$pid"
    e2e_wait_exit "$s"
    e2e_assert_restored "$s"
    e2e_stop "$s"
done

# A bad mode shows the usage text and touches nothing else.
e2e_start usage 80 25 "$prog" -mq
e2e_wait_text usage "Program usage : ZARNEK"
e2e_wait_exit usage
e2e_check "usage: exit status 1" [ "$(e2e_exit_status usage)" = 1 ]
e2e_assert_restored usage
e2e_stop usage

tmp=$(mktemp -d)
"$prog" -mq >"$tmp/usage.txt" </dev/null
e2e_check "usage: exit status 1 without a terminal" [ $? -eq 1 ]
e2e_check "usage: standard output holds the usage text" grep -q "Default options -t -k0 -plpt1 -mT" "$tmp/usage.txt"
e2e_check "usage: and no escape sequence" bash -c "! grep -q $'\x1b' '$tmp/usage.txt'"

# The end of standard input ends the run.
timeout 10 "$prog" -me </dev/null >/dev/null
e2e_check "end of input: exit status 0" [ $? -eq 0 ]
rm -rf "$tmp"

e2e_done
