#!/usr/bin/env bash
# Sets everything up and starts the game from its data folder.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cd build/game
exec ./tavo
