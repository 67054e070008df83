# Helpers for the end-to-end scenarios: the real program in a detached tmux
# session of a given size, keys typed with send-keys, the screen read back with
# capture-pane.  Source this file, then end the script with e2e_done.
#
#   e2e_start NAME COLS ROWS CMD...   type CMD into a fresh shell of that size
#   e2e_keys NAME KEYS...             tmux send-keys (key names or text)
#   e2e_screen NAME                   the visible screen as text
#   e2e_row NAME N                    its row N (from 1)
#   e2e_consecutive_lines NAME |A|B|  lines A, B, ... one below the other
#   e2e_status_line_is NAME ROWS COLS SESSION
#                                     the XTERM status line of that session on
#                                     row ROWS (needs a UTF-8 locale)
#   e2e_run_command NAME TEXT         type TEXT and Enter
#   e2e_wait_text NAME TEXT [SECONDS] wait until TEXT is on the screen
#   e2e_wait_gone NAME TEXT [SECONDS] wait until TEXT has left the screen
#   e2e_wait_exit NAME [SECONDS]      wait until the program has ended
#   e2e_exit_status NAME              the program's exit status, once ended
#   e2e_program_pid NAME              the PID of the program while it runs
#   e2e_assert_restored NAME          the shell and the terminal are back
#   e2e_check DESCRIPTION CMD...      one assertion: CMD must succeed
#   e2e_ok / e2e_fail DESCRIPTION     count a result by hand
#   e2e_stop NAME                     end the session
#   e2e_done                          print "N passed, M failed" and exit
#
# Every session runs on a private tmux server (its own socket), so scenarios
# never touch the user's tmux; the server ends with the script.  CMD is typed
# into a login-less bash as a command line, followed by an echo of its exit
# status, so the shell prompt "e2e$ " returns after the program.  To give the
# program its own environment, prefix CMD with env (env LANG=it_IT.UTF-8 ...).

E2E_SOCKET="zarnek-e2e-$$"
E2E_PROMPT='e2e$ '
E2E_PASSED=0
E2E_FAILED=0
E2E_TIMEOUT=10

e2e_tmux() {
    tmux -L "$E2E_SOCKET" -f /dev/null "$@"
}

e2e_cleanup() {
    e2e_tmux kill-server >/dev/null 2>&1 || true
}
trap e2e_cleanup EXIT

e2e_ok() {
    E2E_PASSED=$((E2E_PASSED + 1))
    echo "ok - $*"
}

e2e_fail() {
    E2E_FAILED=$((E2E_FAILED + 1))
    echo "FAIL - $*"
}

e2e_check() {  # e2e_check DESCRIPTION CMD...
    local description=$1
    shift
    if "$@"; then
        e2e_ok "$description"
    else
        e2e_fail "$description"
    fi
}

e2e_start() {  # e2e_start NAME COLS ROWS CMD...
    local name=$1 cols=$2 rows=$3
    shift 3
    local command_line
    command_line="$(printf '%q ' "$@"); echo \"e2e-exit=\$?\""
    e2e_tmux new-session -d -s "$name" -x "$cols" -y "$rows" \
        "env PS1='$E2E_PROMPT' LANG=C.UTF-8 LC_ALL= LC_CTYPE= bash --norc --noprofile -i" \
        \; set-option -g status off \; set-option -g exit-empty off || return 1
    e2e_tmux resize-window -t "$name" -x "$cols" -y "$rows" >/dev/null 2>&1
    e2e_wait_prompt "$name" || return 1
    e2e_tmux send-keys -t "$name" -l "$command_line"
    e2e_tmux send-keys -t "$name" Enter
}

e2e_keys() {  # e2e_keys NAME KEYS...
    local name=$1
    shift
    e2e_tmux send-keys -t "$name" "$@"
}

e2e_screen() {  # e2e_screen NAME
    e2e_tmux capture-pane -p -t "$1"
}

e2e_row() {  # e2e_row NAME N
    e2e_screen "$1" | sed -n "${2}p"
}

e2e_consecutive_lines() {  # e2e_consecutive_lines NAME |LINE|LINE|...|
    e2e_screen "$1" | tr '\n' '|' | sed 's/^/|/' | grep -qF -- "$2"
}

E2E_RULE='─'

e2e_status_line_is() {  # e2e_status_line_is NAME ROWS COLS SESSION
    local line
    line=$(e2e_row "$1" "$2")
    # The status text, one blank, then rules up to the next-to-last column.
    [[ $line =~ ^~screen\ $4\ ($E2E_RULE)+$ ]] && [ "${#line}" -eq $(($3 - 1)) ]
}

e2e_run_command() {  # e2e_run_command NAME TEXT
    e2e_keys "$1" -l "$2"
    e2e_keys "$1" Enter
}

e2e_pane() {  # e2e_pane NAME FORMAT: a tmux format of the session's pane
    e2e_tmux display-message -p -t "$1" "$2"
}

e2e_show_screen() {
    echo "---- screen of $1 ----"
    e2e_screen "$1" 2>/dev/null | sed 's/^/| /'
    echo "----"
}

e2e_poll() {  # e2e_poll SECONDS CMD...: true once CMD succeeds within SECONDS
    local deadline=$(( $(date +%s%N) / 1000000 + $1 * 1000 ))
    shift
    until "$@"; do
        (( $(date +%s%N) / 1000000 < deadline )) || return 1
        sleep 0.05
    done
}

e2e_screen_has() {
    e2e_screen "$1" | grep -qF -- "$2"
}

e2e_screen_lacks() {
    ! e2e_screen_has "$1" "$2"
}

e2e_wait_text() {  # e2e_wait_text NAME TEXT [SECONDS]
    if e2e_poll "${3:-$E2E_TIMEOUT}" e2e_screen_has "$1" "$2"; then
        e2e_ok "$1 shows \"$2\""
        return 0
    fi
    e2e_fail "$1 never showed \"$2\""
    e2e_show_screen "$1"
    return 1
}

e2e_wait_gone() {  # e2e_wait_gone NAME TEXT [SECONDS]
    if e2e_poll "${3:-$E2E_TIMEOUT}" e2e_screen_lacks "$1" "$2"; then
        e2e_ok "$1 no longer shows \"$2\""
        return 0
    fi
    e2e_fail "$1 still shows \"$2\""
    e2e_show_screen "$1"
    return 1
}

e2e_at_prompt() {
    [ "$(e2e_pane "$1" '#{pane_current_command}')" = bash ] &&
        e2e_screen "$1" | grep -v '^$' | tail -n 1 | grep -qxF -- "${E2E_PROMPT% }"
}

e2e_wait_prompt() {
    e2e_poll "${2:-$E2E_TIMEOUT}" e2e_at_prompt "$1"
}

e2e_program_ended() {
    [ "$(e2e_pane "$1" '#{pane_current_command}')" = bash ] && e2e_screen_has "$1" "e2e-exit="
}

e2e_wait_exit() {  # e2e_wait_exit NAME [SECONDS]: the program ended
    if e2e_poll "${2:-$E2E_TIMEOUT}" e2e_program_ended "$1"; then
        e2e_ok "$1: the program ended"
        return 0
    fi
    e2e_fail "$1: the program did not end"
    e2e_show_screen "$1"
    return 1
}

e2e_program_pid() {  # e2e_program_pid NAME: the program under the session's shell
    ps -o pid= --ppid "$(e2e_pane "$1" '#{pane_pid}')" | tr -d ' ' | head -n 1
}

e2e_exit_status() {  # e2e_exit_status NAME: prints the last exit status shown
    e2e_screen "$1" | grep -o 'e2e-exit=[0-9]*' | tail -n 1 | cut -d= -f2
}

# The terminal modes the shell sees, as "tty-modes: echo icanon opost" (a "-"
# before a name means off); asked for from inside the pane so it reads the
# real pty.  The typed command line itself does not contain the marker.
e2e_tty_modes() {
    local name=$1
    e2e_tmux send-keys -t "$name" -l \
        "echo \"tty-\"\"modes: \$(stty -a | tr -s ' ;' '\\n\\n' | grep -xE -- '-?(icanon|echo|opost|isig)' | tr '\\n' ' ')\""
    e2e_tmux send-keys -t "$name" Enter
    e2e_poll 5 e2e_screen_has "$name" "tty-modes: " || return 1
    e2e_screen "$name" | grep -o 'tty-modes: .*' | tail -n 1
}

e2e_assert_restored() {  # e2e_assert_restored NAME
    local name=$1 modes mode
    # A prompt that is not at the start of its line means a raw terminal.
    if e2e_wait_prompt "$name" 5; then
        e2e_ok "$name: the shell prompt is back"
    else
        e2e_fail "$name: the shell prompt did not come back at the start of a line"
        e2e_show_screen "$name"
    fi
    e2e_check "$name: not in the alternate screen" \
        [ "$(e2e_pane "$name" '#{alternate_on}')" = 0 ]
    e2e_check "$name: autowrap on again" [ "$(e2e_pane "$name" '#{wrap_flag}')" = 1 ]
    e2e_check "$name: cursor visible" [ "$(e2e_pane "$name" '#{cursor_flag}')" = 1 ]
    e2e_tmux send-keys -t "$name" -l 'clear'
    e2e_tmux send-keys -t "$name" Enter
    e2e_wait_prompt "$name"
    modes=$(e2e_tty_modes "$name")
    for mode in icanon echo opost isig; do
        if [[ " ${modes#tty-modes: } " == *" $mode "* ]]; then
            e2e_ok "$name: terminal has $mode"
        else
            e2e_fail "$name: terminal lacks $mode ($modes)"
        fi
    done
}

e2e_stop() {  # e2e_stop NAME
    e2e_tmux kill-session -t "$1" >/dev/null 2>&1 || true
}

e2e_done() {
    echo "$E2E_PASSED passed, $E2E_FAILED failed"
    e2e_cleanup
    [ "$E2E_FAILED" -eq 0 ]
    exit
}
