#!/bin/sh
# The host's side of a program scenario: run one full-screen program with the
# terminal type given, in the C locale (the terminal shows 8-bit characters,
# not UTF-8), inside a work directory of its own.
#
#   host.sh TERM WORKDIR SCENARIO
#
# TERM "-" keeps the type the terminal set.  SCENARIO is menu, gauge, vim,
# less, nano or tig.  The gauge moves on when the test creates WORKDIR/step1
# and step2, and ends with step3.
set -u
[ "$1" = - ] || TERM=$1
export TERM
LC_ALL=C
export LC_ALL
cd "$2" || exit 1

# A long text with a few words to search for; every tenth line is longer
# than the screen is wide, so that it wraps.
[ -e sample.txt ] || awk 'BEGIN {
    for (i = 1; i <= 300; i++) {
        line = sprintf("%03d  %s line of the sample text, column %d%s", i,
            (i % 7 == 0 ? "a marked" : "an ordinary"), i % 80, (i % 50 == 0 ? " (milestone)" : ""))
        if (i % 10 == 0)
            line = line " that goes on and on, past the right edge of the screen and onto the next row"
        print line
    }
}' >sample.txt

wait_for() {  # wait_for FILE: at most half a minute, so no run is left behind
    tries=600
    while [ ! -e "$1" ] && [ "$tries" -gt 0 ]; do
        sleep 0.05
        tries=$((tries - 1))
    done
}

gauge_steps() {
    echo 10
    echo XXX; echo 35; echo "Copying the first part"; echo XXX
    wait_for step1
    echo XXX; echo 70; echo "Copying the second part"; echo XXX
    wait_for step2
    echo 100
    wait_for step3
}

# A history whose hashes and dates are the same on every run; every subject
# is longer than the screen is wide.
history() {
    git init -q history && cd history || exit 1
    for i in $(seq 1 30); do
        echo "content $i" >"f$i.txt"
        git add "f$i.txt"
        GIT_AUTHOR_DATE="2020-01-01T00:00:$((i + 10))" GIT_COMMITTER_DATE="2020-01-01T00:00:$((i + 10))" \
            git -c user.name=Tester -c user.email=tester@example.com commit -q \
            -m "Add file number $i with a reasonably long subject to fill the screen"
    done
}

case $3 in
menu)
    choice=$(dialog --title "Fruit" --menu "Pick one of these" 12 50 4 \
        apple "Red or green" banana "Long and yellow" cherry "Small and red" \
        date "Sweet and brown" elder "Berries in bunches" fig "Soft inside" \
        grape "In bunches" kiwi "Hairy outside" 2>&1 >/dev/tty)
    echo "host: chose ${choice:-nothing}"
    ;;
gauge)
    gauge_steps | dialog --title "Progress" --gauge "Starting" 10 60 0
    ;;
vim)
    vim -u NONE sample.txt
    ;;
less)
    less sample.txt
    ;;
nano)
    seq 1 200 | sed 's/^/line number /' >notes.txt
    nano --ignorercfiles notes.txt
    ;;
tig)
    history
    tig
    ;;
esac
echo "host: $3 done"
