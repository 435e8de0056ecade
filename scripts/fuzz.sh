#!/usr/bin/env bash
# Runs every fuzz target (or those named) for SECONDS each, default 20, over
# its seed corpus, under AddressSanitizer and UndefinedBehaviorSanitizer.
# Builds the clang build in build-fuzz/ first (TAVO_FUZZ_BUILD names another).
#   scripts/fuzz.sh [SECONDS] [TARGET...]
# Extra libFuzzer options go in TAVO_FUZZ_ARGS, e.g. "-jobs=4 -workers=2".
# New inputs found are kept in build-fuzz/fuzz-corpus/TARGET, crashes in
# build-fuzz/fuzz-crashes/, each target's log in build-fuzz/fuzz-logs/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-20}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_land_file fuzz_land_source fuzz_texture fuzz_tape fuzz_rules)
build=${TAVO_FUZZ_BUILD:-build-fuzz}

if ! command -v clang++ >/dev/null; then
  echo "fuzz.sh: clang++ is missing (Debian: apt-get install clang libclang-rt-14-dev)" >&2
  exit 1
fi
jobs=$(nproc 2>/dev/null || echo 2)
mkdir -p "$build"
if ! { cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
         -DCMAKE_CXX_COMPILER=clang++ -DTAVO_FUZZ=ON -DTAVO_TESTS=OFF -DTAVO_BENCHMARKS=OFF &&
       cmake --build "$build" -j"$jobs" --target fuzzers; } >"$build/fuzz-build.log" 2>&1; then
  tail -n 40 "$build/fuzz-build.log"
  echo "fuzz.sh: the fuzz build failed; its log is $build/fuzz-build.log" >&2
  exit 1
fi

build=$(cd "$build" && pwd)
corpus=$(pwd)/tests/fuzz/corpus
mkdir -p "$build/fuzz-crashes" "$build/fuzz-logs" "$build/fuzz-run"
# No leak goes unreported, and an allocation no file justifies is a fault,
# not a null to cope with.
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# The bundled land sources and solution tapes seed their targets from where
# they stand.
declare -A bundled=([fuzz_land_source]="$(pwd)/lands" [fuzz_tape]="$(pwd)/lands/solutions")
failed=()
for t in "${targets[@]}"; do
  [ -x "$build/tests/fuzz/$t" ] || { echo "fuzz.sh: no target $t" >&2; exit 1; }
  mkdir -p "$build/fuzz-corpus/$t"
  log="$build/fuzz-logs/$t.log"
  # From a folder of its own: the land loader reads textures/ relative to it.
  # The targets' scratch folders go there too; a crash leaves its own behind.
  # shellcheck disable=SC2086
  if (cd "$build/fuzz-run" && TMPDIR="$build/fuzz-run" "$build/tests/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/fuzz-crashes/$t-" ${TAVO_FUZZ_ARGS:-} \
        "$build/fuzz-corpus/$t" "$corpus/$t" ${bundled[$t]:-}) >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
    echo "$t: ${runs:-?} runs in ${seconds} s, ${cov:-cov: ?}, nothing found"
  else
    failed+=("$t")
    echo "$t: FAILED; the end of $log:"
    tail -n 60 "$log"
    artifact=$(sed -n "s/.*Test unit written to //p" "$log" | tail -1)
    if [ -n "$artifact" ]; then
      echo "Reproduce: (cd $build/fuzz-run && $build/tests/fuzz/$t $artifact)"
    fi
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz.sh: faults found by ${failed[*]}" >&2
  exit 1
fi
