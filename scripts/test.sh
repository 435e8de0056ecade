#!/usr/bin/env bash
# Sets everything up and runs every test: the unit tests under AddressSanitizer
# and UndefinedBehaviorSanitizer, then the tests of the real program in a
# window under Xvfb, then every fuzz target for 20 seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --tests

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && ctest --output-on-failure -LE window -j2)
(cd build && ctest --output-on-failure -L window)
scripts/fuzz.sh 20
