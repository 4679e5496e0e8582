#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test, then each fuzz target for 5 seconds. With
# --sanitize the same tests run in a build with AddressSanitizer and UndefinedBehaviorSanitizer
# (folder build-sanitize/). With --tsan the tests of the bus sessions and of the window logic that
# works through them run under ThreadSanitizer (folder build-tsan/, those targets only, no
# suppressions: a report fails the run).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup-packages.sh"
dir="$root/build"
opts=()
if [ "${1:-}" = "--sanitize" ]; then
    dir="$root/build-sanitize"
    opts=(-DQUARNEX_SANITIZE=ON -DQUARNEX_BUILD_BENCH=OFF)
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
    # fontconfig keeps its configuration until the process ends (nobody calls FcFini); that is
    # not a leak of the program's, and every window test would report it.
    export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
fi
if [ "${1:-}" = "--tsan" ]; then
    dir="$root/build-tsan"
    tsan_tests=(session_tests monitor_tests panel_tests)
    export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
    launcher=()
    if command -v ccache >/dev/null; then
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
    cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
        -DQUARNEX_TSAN=ON -DQUARNEX_BUILD_GUI=OFF -DQUARNEX_BUILD_BENCH=OFF >/dev/null
    cmake --build "$dir" -j "$(nproc)" --target "${tsan_tests[@]}"
    cd "$dir"
    for t in "${tsan_tests[@]}"; do
        "$dir/tests/${t%_tests}/$t" --gtest_brief=1
    done
    exit 0
fi
"$root/scripts/build.sh" "$dir" "${opts[@]}"
cd "$dir"
ctest --output-on-failure -j "$(nproc)"
# The fuzz targets need clang; they run briefly in their own build (build-fuzz/).
if [ "${1:-}" != "--sanitize" ] && command -v clang++ >/dev/null; then
    "$root/scripts/fuzz.sh" 5
fi
