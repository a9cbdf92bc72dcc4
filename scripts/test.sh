#!/usr/bin/env bash
# Installs, builds with AddressSanitizer and UndefinedBehaviorSanitizer, runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
build="$root/build-test"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DVDX_SANITIZE=ON -DVDX_TESTS=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd "$build"
ctest --output-on-failure --timeout 900 "$@"
