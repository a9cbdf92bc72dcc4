#!/usr/bin/env bash
# Long fuzzing run: scripts/fuzz.sh [seconds per target, default 3600]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-3600}
bash "$root/scripts/install-deps.sh"
fuzz="$root/build-fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVDX_FUZZ=ON >/dev/null
cmake --build "$fuzz" -j"$(nproc)"
for t in text pattern settext; do
  mkdir -p "$fuzz/tests/fuzz/corpus_$t"
  "$fuzz/tests/fuzz/fuzz_$t" -max_total_time="$seconds" -rss_limit_mb=2048 "$fuzz/tests/fuzz/corpus_$t"
done
bash "$root/tests/fuzz/run_xls.sh" "$fuzz/tests/fuzz/fuzz_xls" "$seconds"
