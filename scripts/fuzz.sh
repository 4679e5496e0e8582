#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) in
# build-fuzz/ and runs each for SECONDS (default 5), starting from its seeds in tests/fuzz/corpus.
# What a run finds stays in build-fuzz/tests/fuzz/corpus; a crash leaves its input in the test's
# working folder (build-fuzz/tests/fuzz) and fails the run. Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-5}"
case "$seconds" in '' | *[!0-9]*) echo "usage: $0 [SECONDS]" >&2; exit 2 ;; esac
command -v clang++ >/dev/null || { echo "fuzz.sh: clang++ is not installed" >&2; exit 2; }
dir="$root/build-fuzz"
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" \
    -DQUARNEX_SANITIZE=ON -DQUARNEX_BUILD_GUI=OFF -DQUARNEX_BUILD_BENCH=OFF \
    -DQUARNEX_FUZZ_SECONDS="$seconds" >/dev/null
cmake --build "$dir" -j "$(nproc)" --target quarnex_fuzz_targets
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd "$dir"
# One target at a time: each takes a whole core, and the timings stay honest. The log keeps each
# target's statistics; the summary shows how many inputs each one ran.
log="$dir/fuzz-last.log"
status=0
ctest -L fuzz --output-on-failure -j 1 -V >"$log" 2>&1 || status=$?
awk '/Test command: /{n=$NF; gsub(/"/, "", n); sub(/.*\//, "", n)} /stat::number_of_executed_units/{print n ": " $NF " runs"}
     /Test +#[0-9]+: /{print} /tests passed/{print}' "$log"
[ "$status" -eq 0 ] || echo "fuzz.sh: a target failed; see $log" >&2
exit "$status"
