#!/usr/bin/env bash
# Installs whatever Debian packages are missing, then configures and builds.
#   scripts/setup.sh            the game, its tool and data in build/
#   scripts/setup.sh --tests    also the sanitiser build of the tests in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  g++ cmake make pkg-config python3 python3-pytest
  liballegro4-dev libaldmb1-dev libdumb1-dev libloadpng4-dev
  libgtest-dev libbenchmark-dev
  xvfb xauth xdotool x11-apps imagemagick
  desktop-file-utils man-db dpkg-dev
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"

if [ "${1:-}" = "--tests" ]; then
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTAVO_SANITIZE=ON -DTAVO_BENCHMARKS=OFF
  cmake --build build-asan -j"$jobs"
fi
