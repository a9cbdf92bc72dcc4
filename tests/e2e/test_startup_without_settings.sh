#!/usr/bin/env bash
# Started in a folder without Settings: one error box, Enter closes it, exit status 0,
# and nothing is created.
source "$(dirname "$0")/lib.sh"
start_xvfb
mkdir "$work/client"
cd "$work/client"
"$EXE" 2>"$work/stderr" &
app_pid=$!
wid=$(wait_window '^Vandrix discover$') || fail "no error box appeared"
xdotool search --onlyvisible --name 'SQLite' >/dev/null 2>&1 && fail "the main window was shown"
press "$wid" Return
wait_exit || fail "the program did not end after the box was closed"
[ "$exit_status" = 0 ] || fail "exit status $exit_status"
[ -z "$(ls -A "$work/client")" ] || fail "files were created: $(ls -A "$work/client")"
echo "PASS"
