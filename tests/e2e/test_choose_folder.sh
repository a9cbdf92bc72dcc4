#!/usr/bin/env bash
# --choose-folder with Qt's own folder chooser: a typed folder starts the window there and
# is remembered; Escape ends the program with status 0 and nothing made.
source "$(dirname "$0")/lib.sh"
start_xvfb
export XDG_CONFIG_HOME="$work/config"
make_client "$work/client" 300 5
mkdir "$work/elsewhere"
cd "$work/elsewhere"

"$EXE" --choose-folder 2>"$work/stderr" &
app_pid=$!
chooser=$(wait_window '^Папка клиента Vandrix$') || { cat "$work/stderr"; fail "no folder chooser"; }
xdotool search --onlyvisible --name 'SQLite' >/dev/null 2>&1 && fail "the main window came before the chooser"
xdotool windowfocus --sync "$chooser" 2>/dev/null || true
sleep 0.5
xdotool type --delay 20 "$work/client"
sleep 0.3
press "$chooser" Return
wid=$(main_window) || { cat "$work/stderr"; fail "main window not shown"; }
[ "$(readlink "/proc/$app_pid/cwd")" = "$work/client" ] || fail "the program does not run in the chosen folder"
close_window "$wid"
wait_exit || fail "the window did not close"
[ "$exit_status" = 0 ] || fail "exit status $exit_status"
grep -q "^LastFolder=$work/client\$" "$work/config/vandrix-discover/vandrix-discover.conf" ||
  fail "the chosen folder was not remembered"
client_unchanged "$work/client" || fail "client files changed"

"$EXE" --choose-folder 2>"$work/stderr" &
app_pid=$!
chooser=$(wait_window '^Папка клиента Vandrix$') || fail "no folder chooser the second time"
press "$chooser" Escape
wait_exit || fail "Escape in the chooser did not end the program"
[ "$exit_status" = 0 ] || fail "cancelled: exit status $exit_status"
[ -z "$(ls -A "$work/elsewhere")" ] || fail "files were created: $(ls -A "$work/elsewhere")"
echo "PASS"
