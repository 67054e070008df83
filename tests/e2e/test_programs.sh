#!/usr/bin/env bash
# Full-screen programs (dialog, vim, less, nano, tig) on a real Telnet host through the program at 80x25,
# against the same programs run straight in a tmux pane of the same size with tmux's terminal type: after
# every step both screens show the same text and cursor, line-drawing compared by shape.  The host uses
# TERM=scoansi under SCOANSI, and under each emulation the description docs/compatibility.md gives.
#   test_programs.sh PATH-TO-ZARNEK
. "$(dirname "$0")/lib.sh"
for tool in dialog vim less nano tig git tic; do
    command -v "$tool" >/dev/null || { echo "FAIL - $tool is not installed (scripts/packages.sh)"; exit 1; }
done

awk '/^ *```terminfo$/ { indent = index($0, "`") - 1; take = 1; next } take && /^ *```$/ { take = 0 }
     take { print substr($0, indent + 1) }' "$(dirname "$0")/../../docs/compatibility.md" >"$work/zarnek.ti"
check "the descriptions of docs/compatibility.md compile" tic -x -o "$work/terminfo" "$work/zarnek.ti"

# A long text with words to search for, every tenth line wider than the screen; a history whose every
# subject is too (its hashes and dates the same on every run).
awk 'BEGIN { for (i = 1; i <= 300; i++) printf "%03d  %s line of the sample text%s%s\n", i,
    i % 7 ? "an ordinary" : "a marked", i % 50 ? "" : " (milestone)",
    i % 10 ? "" : " that goes on and on, past the right edge of the screen and onto the next row" }' \
    >"$work/sample.txt"
(git init -q "$work/history" && cd "$work/history" && for i in $(seq 30); do
    export GIT_AUTHOR_DATE=@$((1577836800 + i)) GIT_COMMITTER_DATE=@$((1577836800 + i))
    seq "$i" >numbers && git add numbers && git -c user.name=Tester -c user.email=tester@example.com \
        commit -qm "Add number $i, with a subject that goes on past the right margin of the screen"
done) || exit 1
# The programs in the C locale (the terminal shows 8-bit characters, not UTF-8).
script run 'export LC_ALL=C; for p; do case $p in
menu) dialog --menu "Pick one of these" 12 50 4 apple "Red or green" banana "Long and yellow" \
    cherry "Small and red" date "Sweet and brown" elder "Berries in bunches" fig "Soft inside" \
    grape "In bunches" kiwi "Hairy outside" ;;
vim) vim -u NONE -n sample.txt ;;
less) less sample.txt ;;
nano) nano --ignorercfiles sample.txt ;;
tig) cd history && tig ;;
esac; done'

# A screen as text: the rows the host sees, the alternate character set and double lines drawn as single
# lines, the cursor where shown.  The arrows that SCOANSI draws as ÿ and Ö, and the descriptions as ^ and v,
# are taken for arrows.
shot() {
    { t capture-pane -p -e -t "$1" -S 0 -E $((rows - 1))
      t display -p -t "$1" '#{?cursor_flag,#{cursor_x} #{cursor_y},}'; } |
        perl -0777 -CS -Mutf8 -pe 's/\e\[[0-9;:?]*[ -\/]*[@-~]//g; s/ +$//mg;
            s/\x0e([^\x0f]*)\x0f?/$1 =~ tr{jklmnqtuvwx.-}{┘┐┌└┼─├┤┴┬│↓↑}r/ge;
            tr{═║╔╗╚╝╠╣╦╩╬╒╓╕╖╘╙╛╜╞╟╡╢╤╥╧╨╪╫ÿÖ^v}{─│┌┐└┘├┤┬┴┼┌┌┐┐└└┘┘├├┤┤┬┬┴┴┼┼↑↓↑↓}'
}
# Both alike, changed since the step before, and still so a moment later.
alike() {
    shot "$Z" >"$work/z" && shot "$R" >"$work/r" && cmp -s "$work/z" "$work/r" &&
        ! cmp -s "$work/r" "$work/last" && sleep 0.2 && shot "$Z" | cmp -s - "$work/z" && shot "$R" | cmp -s - "$work/r"
}
both() { local key; for key; do t send-keys -t "$Z" "$key"; t send-keys -t "$R" "$key"; done; }
step() {  # step WHAT KEYS...
    both "${@:2}"
    check "$term: $1" poll 15 alike || diff "$work/r" "$work/z"
    cp "$work/r" "$work/last"
}
first() { S=$R see "$1" && step "$1"; }  # first TEXT: once the reference shows TEXT

menu_steps() {
    first "Pick one of these"
    step "down past the window: the list scrolls" Down Down Down Down Down
    step "Home" Home
    step "a letter selects its item" g
    both Enter
}
vim_steps() {
    first '"sample.txt" 300 lines'
    step "a page down" C-f
    step "scrolling by lines" C-e C-e C-e C-y
    step "a line opened above and typed" O "a new line above" Escape
    step "deleting three lines, then characters" 3 d d x x
    step "undo" u C-l
    step "a search, the next match" / milestone Enter n
    step "the last line" G
    both : q! Enter
}
less_steps() {
    first "sample.txt"
    step "a page and a line down" Space j
    step "a search, matches highlighted" / milestone Enter
    step "long lines chopped" - S
    step "the end" G
    step "the help screen" h
    both q q
}
nano_steps() {
    first "GNU nano"
    step "a page down, a line's end" PageDown Down End
    step "typing" "typed here"
    step "a line cut and pasted twice" C-k C-u C-u
    step "a search" C-w milestone Enter
    step "the help screen" C-g
    step "leaving help" C-x
    step "leaving with changes asks" C-x
    both n
}
# A page down leaves a list shorter than the screen whose last entry reaches the margin: the rows below
# it must be cleared.
tig_steps() {
    first "[main]"
    step "a page down: the list ends above the bottom" PageDown
    step "a search" / "number 5" Enter
    step "a commit" Enter
    step "back to the list" q
    step "the help screen" h
    both q q
}

compare() {  # compare OPTION TERM PROGRAM...
    local p rows=25
    term=$2
    [ "$1" = -t ] && rows=24  # XTERM keeps its last row for the status line
    start program 80 25 "zarnek $1 $inetutils"
    Z=$S
    see "$PROMPT" || return
    type_line "TERM=$2 TERMINFO=\$PWD/terminfo sh run ${*:3}; exit"
    start reference 80 $rows "sh run ${*:3}"
    R=$S S=$Z
    : >"$work/last"
    for p in "${@:3}"; do "${p}_steps"; done
    t kill-session -t "$R"
    ended 0
}

serve inetutils inetutils
compare -a scoansi menu vim less nano
compare -a zarnek-scoansi tig
compare -v zarnek-vt100 menu
compare -x zarnek-linux menu
compare -t zarnek-xt menu vim
e2e_done
