#!/usr/bin/env bash
# Full-screen programs on a real Telnet host: dialog (a menu, a gauge), vim,
# less, nano and tig, run on an inetutils telnetd through the program at
# 80x25, and the same programs run straight in a tmux pane of the same size
# (TERM as tmux sets it).  After every step the two screens' text must be the same, with
# line-drawing characters compared by shape.
#
# SCOANSI with TERM=scoansi must match, and so must every emulation with the
# terminal description that docs/compatibility.md gives for it.  The other
# emulations with the terminal type of their name (LINUX linux, VT100 vt100,
# XTERM xterm) are compared the same way but only reported: their
# differences come from how those emulations are defined (the same document
# says which and why).
#
#   test_programs.sh PATH-TO-ZARNEK
#
# With ZARNEK_REFERENCE_TERM=same the reference runs with the host's terminal
# type instead of tmux's own: what differs then is the emulation's doing, not
# the terminal description's.
set -u
here=$(cd "$(dirname "$0")" && pwd)
program=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
. "$here/lib.sh"
. "$here/servers.sh"
trap 'servers_cleanup; e2e_cleanup' EXIT

host_script=$here/programs/host.sh
screens=$here/programs/screens.pl

for tool in dialog vim less nano tig git; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed (scripts/packages.sh)" >&2; exit 1; }
done

# A screen holds still once two captures this far apart are the same.
SETTLE_INTERVAL=0.1
# A step that changes only colours leaves the text as it was: after this
# long the reference is taken as it stands.
CHANGE_TIMEOUT_MS=2000
# How long the program's screen may stay unchanged while it still differs:
# a strict comparison waits long enough for a busy machine, a report does not.
STRICT_QUIET_MS=3000
REPORT_QUIET_MS=400
STEP_TIMEOUT_MS=15000

# The scenario being run, set by run_scenario.
label=""          # "scoansi menu" and so on
zpane=""          # the program's pane, connected to the host
rpane=""          # the reference pane
zdir=""           # the host-side work directories of the two
rdir=""
rows=25           # the rows the host sees
strict=1          # 1: differences fail; 0: they are reported
known=""          # character pairs that are a known difference
with_cursor=0     # compare the cursor position too
step_dir=""       # captures of the current scenario

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# capture PANE FILE: the normalised screen, the rows the host sees, and the
# cursor where the program shows one.  Where a hidden cursor stands is
# nobody's concern.
capture() {
    e2e_tmux capture-pane -p -e -t "$1" | perl "$screens" normalise | head -n "$rows" >"$2"
    if [ "$with_cursor" = 1 ]; then
        e2e_pane "$1" 'cursor #{?cursor_flag,at #{cursor_x}#,#{cursor_y},hidden}' >>"$2"
    fi
}

# settle_reference: wait until the reference screen has changed from the
# last step's (or the change time has passed) and holds still; it becomes
# the step's expected screen.
settle_reference() {
    local start now
    start=$(now_ms)
    capture "$rpane" "$step_dir/ref.last"
    while :; do
        sleep "$SETTLE_INTERVAL"
        capture "$rpane" "$step_dir/ref.now"
        now=$(now_ms)
        if cmp -s "$step_dir/ref.now" "$step_dir/ref.last" &&
                { ! cmp -s "$step_dir/ref.now" "$step_dir/ref" ||
                  (( now - start >= CHANGE_TIMEOUT_MS )); }; then
            mv "$step_dir/ref.now" "$step_dir/ref"
            return 0
        fi
        (( now - start >= STEP_TIMEOUT_MS )) && return 1
        mv "$step_dir/ref.now" "$step_dir/ref.last"
    done
}

# program_matches: wait until the program's screen equals the reference,
# giving up once it has stopped changing for the quiet time.
program_matches() {
    local quiet=$REPORT_QUIET_MS start changed now
    [ "$strict" = 1 ] && quiet=$STRICT_QUIET_MS
    start=$(now_ms)
    changed=$start
    : >"$step_dir/prog.last"
    while :; do
        capture "$zpane" "$step_dir/prog"
        perl "$screens" compare "$step_dir/ref" "$step_dir/prog" "$known" >"$step_dir/diff" && return 0
        now=$(now_ms)
        cmp -s "$step_dir/prog" "$step_dir/prog.last" || changed=$now
        (( now - changed >= quiet || now - start >= STEP_TIMEOUT_MS )) && return 1
        cp "$step_dir/prog" "$step_dir/prog.last"
        sleep 0.05
    done
}

# check_screen DESCRIPTION: the step's verdict.
check_screen() {
    local description="$label: $1"
    if ! settle_reference; then
        e2e_fail "$description: the reference screen never held still"
        e2e_show_screen "$rpane"
        return
    fi
    if program_matches; then
        if [ "$strict" = 1 ]; then e2e_ok "$description"; else echo "same - $description"; fi
        return
    fi
    if [ "$strict" = 1 ]; then
        e2e_fail "$description"
        cat "$step_dir/diff"
    else
        echo "differs - $description"
        head -n 8 "$step_dir/diff"
    fi
}

# The steps: send the same keys to both panes, or move the gauge on.  Keys
# are tmux key names; "=TEXT" types TEXT as it stands.
both() {
    local key pane
    for key in "$@"; do
        for pane in "$zpane" "$rpane"; do
            case $key in
            =*) e2e_keys "$pane" -l "${key#=}" ;;
            *) e2e_keys "$pane" "$key" ;;
            esac
        done
    done
}

step() {  # step DESCRIPTION KEYS...
    local description=$1
    shift
    both "$@"
    check_screen "$description"
}

gauge_step() {  # gauge_step DESCRIPTION FLAG
    touch "$zdir/$2" "$rdir/$2"
    check_screen "$1"
}

# The first screen: the reference shows TEXT, then the comparison.
first_screen() {  # first_screen TEXT
    if ! e2e_poll "$E2E_TIMEOUT" e2e_screen_has "$rpane" "$1"; then
        e2e_fail "$label: the reference never showed \"$1\""
        e2e_show_screen "$rpane"
        return
    fi
    check_screen "the first screen"
}

scenario_menu() {
    with_cursor=0
    first_screen "Pick one of these"
    step "down past the window: the list scrolls" Down Down Down Down Down
    step "End" End
    step "Home" Home
    step "a letter selects its item" g
    both Enter
    if [ "$strict" = 1 ]; then
        e2e_wait_text "$zpane" "host: chose grape"
    fi
}

scenario_gauge() {
    with_cursor=0
    first_screen "35%"
    gauge_step "the gauge at 70%" step1
    gauge_step "the gauge at 100%" step2
    touch "$zdir/step3" "$rdir/step3"
}

scenario_vim() {
    with_cursor=1
    first_screen "sample.txt"
    step "a page down" C-f
    step "a line down and a wrapped line" 8 j
    step "scrolling by single lines" C-e C-e C-e
    step "scrolling back" C-y C-y
    step "half a page up" C-u
    step "inserting text" i "=typed here "
    step "leaving insert mode" Escape
    step "opening a line above" O "=a new line above"
    step "leaving insert mode again" Escape
    step "deleting a line" d d
    step "deleting three lines" 3 d d
    step "deleting characters" x x x
    # The undo message tells how long ago the change was: Ctrl+L clears it.
    step "undo" u C-l
    step "a search" / "=milestone" Enter
    step "the next match" n
    step "the last line" G
    step "the first line" g g
    both : "=q!" Enter
}

scenario_nano() {
    with_cursor=1
    first_screen "line number 1"
    step "a page down" PageDown
    step "a line down and to its end" Down End
    step "typing" "=typed here"
    step "cutting a line" C-k
    step "pasting it twice" C-u C-u
    step "a search" C-w "=number 15" Enter
    step "the help screen" C-g
    step "leaving help" C-x
    step "leaving with changes asks" C-x
    both n
}

# A page down leaves a list shorter than the screen whose last entry reaches
# the right margin: the rows below it must be cleared.
scenario_tig() {
    with_cursor=0
    first_screen "Tester"
    step "a page down: the list ends above the bottom" PageDown
    step "a search" / "=number 5" Enter
    step "a commit and its diff" Enter
    step "scrolling the diff" C-d
    step "back to the list" q
    step "the help screen" h
    step "back from help" q
    both q
}

scenario_less() {
    with_cursor=1
    first_screen "001  "
    step "a page down" Space
    step "a line down" j
    step "three lines down" 3 j
    step "a line up" k
    step "a page back" b
    step "a search, matches highlighted" / "=milestone" Enter
    step "the next match" n
    step "the end" G
    step "the start" g
    step "long lines chopped" - S
    step "long lines folded again" - S
    step "the help screen" h
    step "back from help" q
    both q
}

# run_scenario OPTION TERM SCENARIO
run_scenario() {
    local option=$1 term=$2 scenario=$3 reference_term=-
    label="$term $scenario"
    rows=25
    # The XTERM emulation keeps its last row for the status line.
    [ "$option" = -t ] && rows=24
    zpane="z${option}-$term-$scenario"
    rpane="r${option}-$term-$scenario"
    step_dir="$SERVER_DIR/${option#-}-$term-$scenario"
    zdir="$step_dir/host"
    rdir="$step_dir/reference"
    mkdir -p "$zdir" "$rdir"
    : >"$step_dir/ref"

    e2e_start "$zpane" 80 25 "$program" "$option" "$host"
    if ! e2e_poll "$E2E_TIMEOUT" e2e_screen_has "$zpane" "${SERVER_PROMPT% }"; then
        e2e_fail "$label: no shell prompt from the host"
        e2e_show_screen "$zpane"
        e2e_stop "$zpane"
        return
    fi
    e2e_keys "$zpane" -l "TERMINFO=$terminfo_dir sh $host_script $term $zdir $scenario"
    e2e_keys "$zpane" Enter
    [ "$strict" = 0 ] && [ "${ZARNEK_REFERENCE_TERM:-}" = same ] && reference_term=$term
    e2e_start "$rpane" 80 "$rows" sh "$host_script" "$reference_term" "$rdir" "$scenario"

    "scenario_$scenario"

    # The host's script says when the program has ended; a report may have
    # left the program in any state, so it is not waited for there.
    if [ "$strict" = 1 ]; then
        e2e_wait_text "$zpane" "host: $scenario done"
    else
        e2e_poll 3 e2e_screen_has "$zpane" "host: $scenario done"
    fi
    e2e_keys "$zpane" C-u
    e2e_keys "$zpane" -l exit
    e2e_keys "$zpane" Enter
    if [ "$strict" = 1 ]; then
        e2e_wait_exit "$zpane"
    fi
    e2e_stop "$zpane"
    e2e_stop "$rpane"
}

# check_emulation OPTION TERM STRICT KNOWN SCENARIO...
check_emulation() {
    local option=$1 term=$2 scenario
    strict=$3
    known=$4
    shift 4
    for scenario in "$@"; do
        run_scenario "$option" "$term" "$scenario"
    done
}

# The terminal descriptions that docs/compatibility.md gives host
# administrators, compiled as the document shows them.
terminfo_dir=$SERVER_DIR/terminfo
awk 'match($0, /^ *```terminfo$/) { indent = index($0, "`") - 1; take = 1; next }
     take && /^ *```$/ { take = 0 }
     take { print substr($0, indent + 1) }' \
    "$here/../../docs/compatibility.md" >"$SERVER_DIR/zarnek.ti"
if ! tic -x -o "$terminfo_dir" "$SERVER_DIR/zarnek.ti" 2>"$SERVER_DIR/tic.log" ||
        [ ! -s "$SERVER_DIR/zarnek.ti" ]; then
    e2e_fail "the terminal descriptions of docs/compatibility.md compile"
    cat "$SERVER_DIR/tic.log"
fi

port=$(free_port)
start_inetutils_telnetd "$port" || exit 1
host=127.0.0.1:$port

# The SCOANSI description draws the scroll arrows with bytes that already
# have bit 7 set; under the alternate font (SGR 12) they show as ÿ and Ö.
check_emulation -a scoansi 1 "↑ÿ↓Ö" menu gauge vim less nano
# Our own descriptions have no arrows: the programs draw ^ and v instead.
# The emulations differ in their keys and, for XTERM, in the status line.
# Their erase-line also clears the row a full-width line wrapped onto, which
# scoansi's leaves as it was (tig's short list, reported below).
check_emulation -a zarnek-scoansi 1 "↑^↓v" menu tig
check_emulation -v zarnek-vt100 1 "↑^↓v" menu
check_emulation -x zarnek-linux 1 "↑^↓v" menu
check_emulation -t zarnek-xt 1 "↑^↓v" menu vim

echo "# The emulations with the terminal types of their names, reported only:"
check_emulation -a scoansi 0 "" tig
check_emulation -x linux 0 "" menu vim less
check_emulation -v vt100 0 "" menu vim less
check_emulation -t xterm 0 "" menu vim less

servers_cleanup
e2e_done
