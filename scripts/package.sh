#!/usr/bin/env bash
# Builds the Debian package build-pkg/quarnex_VERSION_ARCH.deb from a clean build of the programs
# (no tests, no benchmarks) in build-pkg/build, with the libraries it depends on found by
# dpkg-shlibdeps (package dpkg-dev). Install it with: sudo apt install ./build-pkg/quarnex_*.deb
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$root/build-pkg"
rm -rf "$out"
mkdir -p "$out"
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# RelWithDebInfo as the test build, so that a compiler cache serves both; the package's programs
# are stripped.
cmake -S "$root" -B "$out/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_INSTALL_PREFIX=/usr -DQUARNEX_BUILD_TESTS=OFF -DQUARNEX_BUILD_BENCH=OFF \
    "${launcher[@]}" >/dev/null
cmake --build "$out/build" -j "$(nproc)"
(cd "$out/build" && cpack -G DEB -B "$out" >/dev/null)
rm -rf "$out/_CPack_Packages"
ls "$out"/quarnex_*.deb
