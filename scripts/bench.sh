#!/usr/bin/env bash
# Builds optimised and runs the benchmarks (all figures, or those named: load_ grid_ ...).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release -DVDX_TESTS=OFF >/dev/null
cmake --build "$root/build" -j"$(nproc)" --target vandrix-bench vdx-demo-gen
QT_QPA_PLATFORM=offscreen "$root/build/vandrix-bench" "$@"
