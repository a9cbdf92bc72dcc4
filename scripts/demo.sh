#!/usr/bin/env bash
# Installs, builds, generates a demo Settings/ and starts the viewer in that folder.
# Without a display it runs the viewer under Xvfb, saves a screenshot and closes it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release -DVDX_TESTS=OFF >/dev/null
cmake --build "$root/build" -j"$(nproc)" --target vandrix-discover vdx-demo-gen
demo="$root/build/demo"
mkdir -p "$demo"
[ -f "$demo/Settings/Vandrix.sqlite" ] || "$root/build/vdx-demo-gen" "$demo" --rows 20000
cd "$demo"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$root/build/vandrix-discover"
fi
shot="$demo/vandrix-discover.png"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  "$1" & pid=$!
  for i in $(seq 1 100); do
    wid=$(xdotool search --name "Vandrix discover" 2>/dev/null | head -n1) && [ -n "$wid" ] && break
    sleep 0.2
  done
  sleep 1
  import -window root "$2"
  kill "$pid"; wait "$pid" 2>/dev/null || true
' _ "$root/build/vandrix-discover" "$shot"
echo "No display here: the viewer ran under Xvfb. Screenshot: $shot"
