#!/usr/bin/env bash
# The client's folder on the command line: started from another folder the window opens
# on the client's data and changes none of its files; a missing folder ends with a message
# and status 1; --version and --help answer without a window, the help in the locale's
# language.
source "$(dirname "$0")/lib.sh"
start_xvfb
make_client "$work/client" 500 3
mkdir "$work/elsewhere"
cd "$work/elsewhere"

session_on_folder "$EXE" "$work/client"

"$EXE" "$work/missing" 2>"$work/stderr" &
app_pid=$!
wait_exit || fail "a missing folder did not end the program"
[ "$exit_status" = 1 ] || fail "missing folder: exit status $exit_status"
grep -q "Папка «$work/missing» не найдена." "$work/stderr" || fail "no message: $(cat "$work/stderr")"
[ ! -e "$work/missing" ] || fail "the missing folder was created"
[ -z "$(ls -A "$work/elsewhere")" ] || fail "files were created: $(ls -A "$work/elsewhere")"

[ "$("$EXE" --version 2>/dev/null)" = "Vandrix discover 1.0.0.9" ] || fail "--version: $("$EXE" --version 2>&1)"
LANG=ru_RU.UTF-8 LC_ALL= LANGUAGE= "$EXE" --help 2>/dev/null >"$work/help-ru"
grep -q -- "--choose-folder" "$work/help-ru" || fail "--help lists no --choose-folder"
grep -q "Вывод справки по параметрам командной строки" "$work/help-ru" || fail "help not in Russian: $(cat "$work/help-ru")"
LANG=C.UTF-8 LC_ALL= LANGUAGE= "$EXE" --help 2>/dev/null | grep -q "Displays help on commandline options" ||
  fail "help not in English under C.UTF-8"
[ -z "$(ls -A "$work/elsewhere")" ] || fail "files were created: $(ls -A "$work/elsewhere")"
echo "PASS"
