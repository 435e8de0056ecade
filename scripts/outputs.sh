#!/usr/bin/env bash
# Writes into OUT every output of a build that a player, an author or a
# stored file could see: each bundled tape replayed with its trace, each
# bundled land simulated with three seeds, its JSON, its check, its views
# and map, and each land source built.  Two builds' folders compared with
# `diff -r` show whether a change that should change nothing kept to that.
#   scripts/outputs.sh OUT [BUILD]     (BUILD defaults to build)
set -uo pipefail
cd "$(dirname "$0")/.."
src=$PWD
out=$(mkdir -p "$1" && cd "$1" && pwd)
game=$(cd "${2:-build}/game" && pwd)
tool=$game/tavo-tool

cd "$game"
for tape in levels/*.tape land.tape; do
  n=$(basename "$tape" .tape)
  { "$tool" replay "$tape" --trace; echo "status $?"; } >"$out/replay-$n.json" 2>&1
done
for lvl in levels/*.lvl land.lvl land3.lvl; do
  n=$(basename "$lvl" .lvl)
  for seed in 1 2 3; do
    { "$tool" sim "$lvl" --steps 1500 --seed $seed --trace; echo "status $?"; } >"$out/sim-$n-$seed.json" 2>&1
  done
  "$tool" info "$lvl" >"$out/info-$n.json" 2>&1
  { "$tool" check "$lvl" --reach; echo "status $?"; } >"$out/check-$n.json" 2>&1
  "$tool" render "$lvl" "$out/view-$n.png" --size 320x200 >/dev/null 2>&1
  "$tool" render "$lvl" "$out/view2-$n.png" --size 160x120 --player 1 >/dev/null 2>&1
  "$tool" map "$lvl" "$out/map-$n.png" >/dev/null 2>&1
done
for land_src in "$src"/lands/levels/*.land "$src"/lands/*.land; do
  "$tool" build "$land_src" "$out/built-$(basename "$land_src" .land).lvl" >/dev/null 2>&1
done
echo "$(ls "$out" | wc -l) outputs in $out"
