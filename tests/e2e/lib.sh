# Shared helpers of the end-to-end tests: a private Xvfb display and window look-ups.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
EXE=$(readlink -f "$1")
GEN=$(readlink -f "$2")
work=$(mktemp -d /tmp/vdx-e2e.XXXXXX)
xvfb_pid=""
app_pid=""

cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

start_xvfb() {
  local fifo="$work/displayfd"
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  local n
  read -r n <"$fifo"
  export DISPLAY=":$n"
  unset QT_QPA_PLATFORM WAYLAND_DISPLAY
  export QT_QPA_PLATFORM=xcb
}

# Waits for a visible window whose title matches the regex; prints its id.
wait_window() {
  local pattern=$1 tries=${2:-150} wid
  for _ in $(seq 1 "$tries"); do
    wid=$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null | head -n1 || true)
    if [ -n "$wid" ]; then echo "$wid"; return 0; fi
    if [ -n "$app_pid" ] && ! kill -0 "$app_pid" 2>/dev/null; then return 1; fi
    sleep 0.2
  done
  return 1
}

# Waits for the program to end and sets exit_status (run in this shell, not in $(...)).
exit_status=""
wait_exit() {
  local tries=${1:-150}
  for _ in $(seq 1 "$tries"); do
    if ! kill -0 "$app_pid" 2>/dev/null; then
      exit_status=0
      wait "$app_pid" || exit_status=$?
      app_pid=""
      return 0
    fi
    sleep 0.2
  done
  return 1
}

press() {  # press KEY... on window WID
  local wid=$1; shift
  xdotool windowfocus --sync "$wid" 2>/dev/null || xdotool windowfocus "$wid"
  sleep 0.3
  xdotool key --clearmodifiers "$@"
}

close_window() { /usr/bin/python3 "$here/xclose.py" "$1"; }

# A demo client folder DIR (ROWS, SEED) whose files client_unchanged DIR checks later.
make_client() {
  mkdir -p "$1"
  "$GEN" "$1" --rows "${2:-500}" --seed "${3:-1}" >/dev/null
  (cd "$1" && sha256sum Settings/*) >"$1.sha256"
}
client_unchanged() {
  (cd "$1" && sha256sum -c --quiet "$1.sha256") && [ "$(ls -A "$1/Settings" | wc -l)" = 2 ]
}
main_window() { wait_window '^Vandrix discover \(r9\) SQLite [0-9.]+$'; }

# Starts EXE on the client folder FOLDER (made by make_client) from the current folder:
# the window shows, the program runs in FOLDER, closes with status 0 and changed nothing.
session_on_folder() {
  local exe=$1 folder=$2 wid
  "$exe" "$folder" 2>"$work/stderr" &
  app_pid=$!
  wid=$(main_window) || { cat "$work/stderr"; fail "main window not shown"; }
  [ "$(readlink "/proc/$app_pid/cwd")" = "$folder" ] || fail "the program does not run in $folder"
  close_window "$wid"
  wait_exit || fail "the window did not close"
  [ "$exit_status" = 0 ] || fail "exit status $exit_status"
  client_unchanged "$folder" || fail "client files changed"
}
