#!/usr/bin/env bash
# Installs, builds with AddressSanitizer and UndefinedBehaviorSanitizer, runs every test,
# then builds the fuzzers with clang and gives each a short run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
build="$root/build-test"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DVDX_SANITIZE=ON -DVDX_TESTS=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
fuzz="$root/build-fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVDX_FUZZ=ON >/dev/null
cmake --build "$fuzz" -j"$(nproc)"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
(cd "$build" && ctest --output-on-failure --timeout 900 "$@") || status=$?
(cd "$fuzz" && ctest --output-on-failure --timeout 900) || status=$?
exit $status
