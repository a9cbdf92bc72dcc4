#!/usr/bin/env bash
# Screenshots of the three pages, from the real program on demo data, for the README.
#   scripts/screenshots.sh BUILD_DIR [OUT_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(readlink -f "$1")
out=$(readlink -f "${2:-$root/docs}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/vdx-demo-gen" "$work" --rows 5000 --seed 3 >/dev/null
cd "$work"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -e
  "$1" & pid=$!
  for i in $(seq 1 100); do
    wid=$(xdotool search --onlyvisible --name "^Vandrix discover" 2>/dev/null | head -n1 || true)
    [ -n "$wid" ] && break; sleep 0.2
  done
  xdotool windowfocus --sync "$wid"; sleep 1
  import -window "$wid" "$2/page-duplicates.png"
  xdotool key ctrl+Tab; sleep 1
  # Expand the first hub to show its rows and group footer.
  xdotool mousemove --window "$wid" 200 152 click 1; sleep 0.3
  xdotool key Home Right; sleep 0.5
  import -window "$wid" "$2/page-statistics.png"
  xdotool key ctrl+Tab; sleep 0.5
  xdotool mousemove --window "$wid" 50 20 click 1; sleep 0.2
  xdotool key Return; sleep 1
  import -window "$wid" "$2/page-log.png"
  kill "$pid"
' _ "$build/vandrix-discover" "$out"
echo "Screenshots in $out"
