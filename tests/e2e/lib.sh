# The end-to-end scenarios' helpers; a script sources this with the program's path as its first argument
# and ends with e2e_done.  Every scenario types "zarnek ARGS" into a login-less bash in a detached session
# of a private tmux server, reads the screen back with capture-pane and polls with a time limit.  The work
# directory is the shell's and the servers'; "zarnek" on its PATH runs the program, under Wine for a .exe.
set -u
program=$(realpath "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/zarnek-e2e.XXXXXX")
PROMPT='srv$' TIMEOUT=10 S='' sessions=0 passed=0 failed=0 pids=()
trap 't kill-server 2>/dev/null; kill "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT
script() { printf '#!/bin/sh\n%s\n' "$2" >"$work/$1" && chmod +x "$work/$1"; }  # script NAME TEXT
mkdir "$work/bin"
if [[ $program == *.exe ]]; then
    export WINEPREFIX=${WINEPREFIX:-$(dirname "$program")/wine} WINEDEBUG=-all
    TIMEOUT=30  # starting Wine takes seconds
    # Wine gives the terminal its modes back when its server ends, a moment after the program.
    script bin/zarnek "wine $(printf %q "$program") \"\$@\"; s=\$?; wineserver -w; exit \$s"
else
    script bin/zarnek "echo \$\$ >$(printf %q "$work")/pid; exec $(printf %q "$program") \"\$@\""
fi
printf 'set -g status off\nset -g exit-empty off\n' >"$work/tmux.conf"  # the server lives until the end

t() { tmux -L "zarnek-e2e-$$" -f "$work/tmux.conf" "$@"; }
pane() { t display-message -p -t "$S" "$1"; }
screen() { t capture-pane -p -t "$S"; }
has() { [[ "|$(screen | tr '\n' '|')" == *"$1"* ]]; }  # TEXT on the screen, "|" between rows
rows_with() { [ "$(screen | grep -cF -- "$2")" = "$1" ]; }  # rows_with COUNT TEXT
keys() { t send-keys -t "$S" "$@"; }
type_line() { keys -l "$1" && keys Enter; }

poll() {  # poll SECONDS CMD...: true once CMD is, within SECONDS
    local end=$((SECONDS + $1))
    until "${@:2}"; do ((SECONDS < end)) || return; sleep 0.05; done
}

check() {  # check DESCRIPTION CMD...: one result; a failure shows the session's screen
    if "${@:2}"; then passed=$((passed + 1)) && echo "ok - $1" && return; fi
    failed=$((failed + 1))
    echo "FAIL - $1"
    [ -z "$S" ] || screen | sed 's/^/| /'
    return 1
}

see() { check "$S shows \"$1\"" poll "$TIMEOUT" has "$1"; }

e2e_done() {
    echo "$passed passed, $failed failed"
    exit $((failed > 0))
}

start() {  # start NAME COLS ROWS COMMAND-LINE: typed into a fresh shell of that size, the session S
    S=$((++sessions))-$1
    t new-session -d -s "$S" -x "$2" -y "$3" -c "$work" "env -u LC_ALL -u LC_CTYPE LANG=C.UTF-8 \
PATH='$work/bin:$PATH' HISTFILE= PS1='e2e\$ ' bash --norc --noprofile -i"
    poll "$TIMEOUT" has 'e2e$'
    type_line "$4; echo e2e-exit=\$?"
}

# A program that SIGINT ends takes the rest of the command line with it: the shell is then all there is.
# Wine leaves its last screen, the cursor where it was.
exit_shown() {
    if [ -n "$1" ]; then screen | grep -q "e2e-exit=$1\$"; else [ "$(pane '#{pane_current_command}')" = bash ]; fi
}
as_found() { has '|tty-42|' && [ "$(pane '#{alternate_on}#{wrap_flag}#{cursor_flag}')" = 011 ]; }

# ended STATUS [TEXT...]: the program has ended (with STATUS unless empty) leaving each TEXT in view, and
# given the terminal back as found: cooked (asked from inside the pane), out of the alternate screen,
# autowrap and the cursor on.  The session goes.
ended() {
    local text
    check "$S: the program ended${1:+ with status $1}" poll "$TIMEOUT" exit_shown "$1"
    for text in "${@:2}"; do check "$S: \"$text\" stays in view" has "$text"; done
    type_line "clear; stty -a | grep -qwE -- '-(icanon|echo|opost|isig)' || echo tty-\$((6 * 7))"
    check "$S: the terminal as found" poll "$TIMEOUT" as_found
    t kill-session -t "$S"
}

status_is() {  # status_is N: the last row is session N's status line (XTERM's)
    local rule
    rule=$(printf "%$(($(pane '#{pane_width}') - 11))s")
    [ "$(screen | tail -n 1)" = "~screen $1 ${rule// /─}" ]
}

# usage_is FILE LINE-END: the usage text went to standard output whole, each line ended by LINE-END (its
# bytes are the unit tests' to check).
usage_is() {
    [ "$(wc -l <"$1")" = 22 ] && [ "$(grep -c "$2\$" "$1")" = 22 ] &&
        [ "$(head -n 1 "$1")" = "ZARNEK Vers. 2.07 - multi-session terminal emulator and Telnet client$2" ] &&
        [ "$(tail -n 1 "$1")" = $'\tDefault options -t -k0 -plpt1 -mT'"$2" ]
}

check_usage() {  # check_usage LINE-END: -h writes the usage text and ends with status 1
    start usage 80 25 'zarnek -h >usage.txt'
    ended 1
    check "usage: the text on standard output" usage_is "$work/usage.txt" "$1"
}

# echo_session COLS ROWS [HOOK]: the banner and the status line, typed text echoed, HOOK, Alt+F2 shows a
# second session and Alt+F1 the first as it was, Ctrl+Alt+X closes each, and the program ends with 0.
# (Wine's console draws later text at the wrong place if keys come before its first screen is whole.)
echo_session() {
    start "echo$1" "$1" "$2" 'zarnek -me'
    see "ZARNEK Vers. 2.07" && see "Screen $1x$(($2 - 1))" || return
    check "$S: session 1's status line" poll "$TIMEOUT" status_is 1
    keys -l abc
    see abc
    "${3:-true}"
    keys M-F2
    check "$S: Alt+F2 shows session 2" poll "$TIMEOUT" status_is 2
    keys -l second
    see second
    keys M-F1
    check "$S: Alt+F1 shows session 1 as it was" poll "$TIMEOUT" eval 'status_is 1 && has abc && ! has second'
    keys C-M-x
    check "$S: Ctrl+Alt+X closes it, session 2 shows" poll "$TIMEOUT" eval 'status_is 2 && has second'
    keys C-M-x
    ended 0
}

# Telnet servers on free ports of 127.0.0.1, a shell for a login: serve VAR SERVER runs SERVER PORT in the
# work directory and sets VAR to 127.0.0.1:PORT once the port accepts.
script shell "PS1='$PROMPT ' exec /bin/sh -i"
# The relay proxy: the request line "relay HOST PORT", then the bytes both ways.
script relay 'read -r _ host port; exec socat - "TCP:$host:$port"'
listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
free_port() { local p; until p=$((20000 + RANDOM % 40000)); ! listening $p; do :; done; echo $p; }
listen() { exec socat "TCP-LISTEN:$1,bind=127.0.0.1,reuseaddr,fork" "$2"; }
inetutils() { listen "$1" "EXEC:/usr/sbin/telnetd -h -E $work/shell,nofork"; }
busybox_telnetd() { exec busybox telnetd -F -b 127.0.0.1 -p "$1" -l "$work/shell"; }
relay() { listen "$1" "EXEC:$work/relay"; }

serve() {
    local port
    port=$(free_port)
    (cd "$work" && "$2" "$port") </dev/null >/dev/null 2>>"$work/servers.log" &
    pids+=($!)
    printf -v "$1" 127.0.0.1:%s "$port"
    poll 5 listening "$port" || { echo "FAIL - $2 did not start"; cat "$work/servers.log"; exit 1; }
}

# telnet COLS ROWS SEEN ARGS...: logged in, typed keys shown once, a long output scrolled up to its end and
# what the host sees, SEEN ("=ROWS COLS=TERM"), below it (XTERM's status line kept), AFTER if set; logging
# out ends the program with 0.
telnet() {
    local flood='ls -l /usr/bin | head -n 100; seq 50; echo "=$(stty size)=$TERM"'
    start telnet "$1" "$2" "zarnek ${*:4}"
    see "$PROMPT" || return
    keys -l "$flood"
    see "$PROMPT $flood"
    keys Enter
    see "|49|50|$3"
    [[ $3 != "=$(($2 - 1)) "* ]] || check "$S: the status line stays" status_is 1
    "${AFTER:-true}"
    type_line exit
    ended 0
}

# Printing to the -p file print.out: the host's print byte for byte (the pty's CR LF for LF; a bare CR,
# CR NUL in Telnet, as CR), then Ctrl+Alt+P: every row with CR CR LF, and a form feed.
screen_printed() {  # screen_printed ROWS COLS, after the 7 bytes of the host's print
    local out=$work/print.out
    [ "$(stat -c %s "$out")" = $((7 + $1 * ($2 + 3) + 1)) ] && [ "$(tail -c 1 "$out")" = $'\f' ] &&
        [ "$(tail -c +8 "$out" | grep -c $'\r\r$')" = "$1" ]
}

print_checks() {
    type_line "printf '\\033[5ia\\nb\\r\\n\\033[4i'"
    printf 'a\r\nb\r\r\n' >"$work/expected"
    check "$S: the host's print in the file" poll "$TIMEOUT" cmp -s "$work/print.out" "$work/expected"
    keys C-M-p
    check "$S: the screen printed after it" poll "$TIMEOUT" screen_printed $(pane '#{pane_height} #{pane_width}')
}
