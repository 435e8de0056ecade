#!/usr/bin/env bash
# Sets everything up and runs every test: the unit tests under AddressSanitizer
# and UndefinedBehaviorSanitizer, the Python tests of the tool and the
# installed tree against that build, then the tests of the real program in a
# window under Xvfb, then every fuzz target for 20 seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --tests

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && ctest --output-on-failure -j2)
TAVO_BUILD_DIR=build-asan /usr/bin/python3 -m pytest tests/py -m "not window"
# One window test at a time: each starts an X server and the game.
TAVO_BUILD_DIR=build /usr/bin/python3 -m pytest tests/py -m window
scripts/fuzz.sh 20
