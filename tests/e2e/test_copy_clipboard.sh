#!/usr/bin/env bash
# Copying from the real program: Ctrl+C puts the clicked cell on the desktop's clipboard,
# Ctrl+Shift+C the whole grid under its captions; xclip reads both back.
source "$(dirname "$0")/lib.sh"
start_xvfb
mkdir "$work/client"
"$GEN" "$work/client" --rows 300 --seed 11 >/dev/null
cd "$work/client"
"$EXE" 2>"$work/stderr" &
app_pid=$!
wid=$(wait_window '^Vandrix discover \(r9\) SQLite [0-9.]+$') || { cat "$work/stderr"; fail "main window not shown"; }
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$wid")"
# The middle of the window lies in the duplicates grid's rows.
xdotool mousemove --window "$wid" $((WIDTH / 2)) $((HEIGHT / 2)) click 1
sleep 0.3
press "$wid" ctrl+c
sleep 0.3
xclip -o -selection clipboard >"$work/cell" 2>/dev/null || fail "nothing on the clipboard after Ctrl+C"
[ -s "$work/cell" ] || fail "Ctrl+C copied an empty text"
press "$wid" ctrl+shift+c
sleep 0.5
xclip -o -selection clipboard >"$work/all" 2>/dev/null || fail "nothing on the clipboard after Ctrl+Shift+C"
head -n1 "$work/all" | grep -qx $'Кол-во дублей\tПуть1\tПуть2\tИмя1\tИмя2' || {
  head -n1 "$work/all" | od -c | head; fail "the copy does not start with the captions"; }
lines=$(wc -l <"$work/all")
[ "$lines" -ge 3 ] || fail "only $lines lines copied"
# The cell copied first is one of the grid's cells.
cell=$(cat "$work/cell")
tr '\t' '\n' <"$work/all" | grep -qxF -- "$cell" || fail "the copied cell '$cell' is not among the grid's cells"
kill -0 "$app_pid" || fail "the program ended during the session"
close_window "$wid"
wait_exit || fail "the window did not close"
echo "PASS"
