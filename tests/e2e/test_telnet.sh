#!/usr/bin/env bash
# Telnet against real servers on 127.0.0.1: a login-less shell through
# inetutils telnetd and busybox telnetd, directly and through the relay
# proxy, in every emulation; two sessions at once; logging out ends the
# program; a host that refuses and hangs up leaves its words in view;
# connection failures show the error box and the retry prompt.
#
#   test_telnet.sh PATH-TO-ZARNEK
set -u
here=$(cd "$(dirname "$0")" && pwd)
program=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
. "$here/lib.sh"
. "$here/servers.sh"
trap 'servers_cleanup; e2e_cleanup' EXIT

shown_at_least() {  # shown_at_least NAME TEXT COUNT: on that many lines
    [ "$(e2e_screen "$1" | grep -c -F -- "$2")" -ge "$3" ]
}

shown_once() {  # shown_once NAME TEXT: on exactly one line
    [ "$(e2e_screen "$1" | grep -c -F -- "$2")" -eq 1 ]
}

wait_count() {  # wait_count NAME TEXT COUNT
    if e2e_poll 10 shown_at_least "$1" "$2" "$3"; then
        e2e_ok "$1 shows \"$2\" $3 times"
    else
        e2e_fail "$1 never showed \"$2\" $3 times"
        e2e_show_screen "$1"
    fi
}

# Typed keys show once: the command line reads exactly as typed.
check_echo_once() {  # check_echo_once NAME LABEL
    local name=$1 label=$2
    e2e_run_command "$name" "echo typed-$label"
    e2e_wait_text "$name" "${SERVER_PROMPT}echo typed-$label"
}

# One session's work: terminal type, window size, a long output.
check_session() {  # check_session NAME TERM-EXPECTED SIZE-EXPECTED
    local name=$1 term=$2 size=$3
    if [ -n "$term" ]; then
        e2e_run_command "$name" 'echo "term=$TERM"'
        e2e_wait_text "$name" "term=$term"
    fi
    e2e_run_command "$name" 'echo "size=$(stty size)"'
    e2e_wait_text "$name" "size=$size"
    # The marker is computed, so the typed command line does not show it.
    e2e_run_command "$name" 'seq 1 3000; echo "flood=$((6 * 7))"'
    e2e_wait_text "$name" "flood=42" 20
    e2e_check "$name: the long output ends with its last lines" \
        e2e_consecutive_lines "$name" "|2999|3000|flood=42|"
}

# connect_and_work NAME COLS ROWS TERM SIZE ARGS...: a session, a second one
# with Alt+F2, logging out of both ends the program.
connect_and_work() {
    local name=$1 cols=$2 rows=$3 term=$4 size=$5
    shift 5
    e2e_start "$name" "$cols" "$rows" "$program" "$@"
    e2e_wait_text "$name" "${SERVER_PROMPT% }" || { e2e_stop "$name"; return; }
    check_echo_once "$name" one
    check_session "$name" "$term" "$size"

    e2e_keys "$name" M-F2
    e2e_wait_text "$name" "Terminal  2/10"
    e2e_wait_text "$name" "${SERVER_PROMPT% }"
    check_echo_once "$name" two
    e2e_run_command "$name" 'echo "second=$$"'
    e2e_wait_text "$name" "second="

    # Session 1 is shown again: only its screen has the long output.
    e2e_run_command "$name" exit
    e2e_wait_text "$name" "flood=42"
    e2e_run_command "$name" exit
    e2e_wait_exit "$name" && e2e_check "$name: exit status 0" [ "$(e2e_exit_status "$name")" = 0 ]
    e2e_assert_restored "$name"
    e2e_stop "$name"
}

# A connection that cannot be made: the error box, a key, the retry prompt,
# ESC there ends the program.
check_failure() {  # check_failure NAME MESSAGE ARGS...
    local name=$1 message=$2
    shift 2
    e2e_start "$name" 80 25 "$program" "$@"
    e2e_wait_text "$name" "$message"
    e2e_wait_text "$name" "Press any key to continue"
    # An arrow key (ESC O A) answers the error box whole, not the prompt too.
    e2e_keys "$name" Up
    e2e_wait_text "$name" "Unable to connect strike any key to retry (ESC exit)"
    sleep 0.5
    e2e_check "$name: the prompt waits for its own key" shown_once "$name" "$message"
    e2e_keys "$name" Space
    wait_count "$name" "$message" 2
    e2e_keys "$name" Space
    wait_count "$name" "Unable to connect" 2
    e2e_keys "$name" Escape
    e2e_wait_exit "$name" && e2e_check "$name: exit status 0" [ "$(e2e_exit_status "$name")" = 0 ]
    e2e_check "$name: giving up leaves nothing in view" e2e_screen_lacks "$name" "Connection closed"
    e2e_assert_restored "$name"
    e2e_stop "$name"
}

# A host that says why and hangs up: once the terminal is given back, its
# words and the closing line stay below the command that started the program.
check_last_words() {  # check_last_words NAME ARGS...
    local name=$1
    shift
    e2e_start "$name" 80 25 "$program" "$@"
    e2e_wait_exit "$name" && e2e_check "$name: exit status 0" [ "$(e2e_exit_status "$name")" = 0 ]
    e2e_check "$name: the host's words and the closing line stay in view" e2e_consecutive_lines "$name" \
        "|Too many users - try again later|Connection closed by 127.0.0.1.|e2e-exit=0|"
    # The command line ends with the echo of the exit status: ... "e2e-exit=$?"
    e2e_check "$name: below the command line, from the top of the last screen" e2e_consecutive_lines "$name" \
        "\"| ZARNEK Vers. 2.07"
    e2e_assert_restored "$name"
    e2e_stop "$name"
}

inetutils_port=$(free_port)
start_inetutils_telnetd "$inetutils_port" || exit 1
inetutils=127.0.0.1:$inetutils_port
busybox_port=$(free_port)
start_busybox_telnetd "$busybox_port" || exit 1
busybox=127.0.0.1:$busybox_port
start_relay || exit 1

# inetutils asks for the terminal type and lowercases it into TERM.
connect_and_work inetutils-xterm 80 25 xterm "24 80" -t "$inetutils"
connect_and_work inetutils-vt100 80 25 vt100 "25 80" -v "$inetutils"
connect_and_work inetutils-linux 80 25 linux "25 80" -x "$inetutils"
connect_and_work inetutils-scoansi 80 25 scoansi "25 80" -a "$inetutils"
connect_and_work inetutils-wide 132 43 xterm "42 132" "$inetutils"

# busybox never asks for the terminal type; it asks the client to echo and
# echoes itself as well.
connect_and_work busybox-xterm 80 25 "" "24 80" "$busybox"
connect_and_work busybox-vt100 80 25 "" "25 80" -v "$busybox"
connect_and_work busybox-linux 80 25 "" "25 80" -x "$busybox"
connect_and_work busybox-scoansi 80 25 "" "25 80" -a "$busybox"

connect_and_work relay-inetutils 80 25 xterm "24 80" "-r127.0.0.1:$RELAY_PORT" "$inetutils"
connect_and_work relay-busybox 80 25 "" "25 80" -v "-r127.0.0.1:$RELAY_PORT" "$busybox"

cat >"$SERVER_DIR/refuse" <<'EOF'
#!/bin/sh
printf 'Too many users - try again later\r\n'
EOF
chmod +x "$SERVER_DIR/refuse"
refusing_port=$(free_port)
start_server "$refusing_port" socat "TCP-LISTEN:$refusing_port,bind=127.0.0.1,reuseaddr,fork" \
    "EXEC:$SERVER_DIR/refuse" || exit 1
check_last_words last-words "127.0.0.1:$refusing_port"
check_last_words relay-last-words "-r127.0.0.1:$RELAY_PORT" "127.0.0.1:$refusing_port"

refused_port=$(free_port)
check_failure refused "connect() a 127.0.0.1:$refused_port" "127.0.0.1:$refused_port"
check_failure unknown-host "Host not found no-such-host.invalid" no-such-host.invalid

servers_cleanup
e2e_done
