#!/usr/bin/env bash
# A session on demo data: the window appears with its caption, the pages switch by
# keyboard, the window closes, and the client's files are byte for byte as before.
source "$(dirname "$0")/lib.sh"
start_xvfb
mkdir "$work/client"
"$GEN" "$work/client" --rows 3000 --seed 7 >/dev/null
cd "$work/client"
sha256sum Settings/* >"$work/before"
ls -A Settings >"$work/files-before"
"$EXE" 2>"$work/stderr" &
app_pid=$!
wid=$(wait_window '^Vandrix discover \(r9\) SQLite [0-9.]+$') || { cat "$work/stderr"; fail "main window not shown"; }
press "$wid" ctrl+Tab      # statistics page: reloads
sleep 0.5
press "$wid" ctrl+Tab      # log page
sleep 0.3
press "$wid" Return        # "Открыть" loads the log
sleep 0.5
press "$wid" ctrl+shift+Tab
sleep 0.5
kill -0 "$app_pid" || fail "the program ended during the session"
close_window "$wid"
wait_exit || fail "the window did not close"
[ "$exit_status" = 0 ] || fail "exit status $exit_status"
sha256sum -c --quiet "$work/before" || fail "client files changed"
ls -A Settings | diff - "$work/files-before" || fail "files appeared or vanished in Settings"
echo "PASS"
