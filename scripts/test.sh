#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test, then each fuzz target for 5 seconds. With
# --sanitize the same tests run in a build with AddressSanitizer and UndefinedBehaviorSanitizer
# (folder build-sanitize/).
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
"$root/scripts/build.sh" "$dir" "${opts[@]}"
cd "$dir"
ctest --output-on-failure -j "$(nproc)"
# The fuzz targets need clang; they run briefly in their own build (build-fuzz/).
if [ "${1:-}" != "--sanitize" ] && command -v clang++ >/dev/null; then
    "$root/scripts/fuzz.sh" 5
fi
