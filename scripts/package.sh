#!/usr/bin/env bash
# Builds the Debian packages build-pkg/quarnex-cli_VERSION_ARCH.deb (the command line and the
# simulator, no Qt) and build-pkg/quarnex_VERSION_ARCH.deb (the windows, depending on the first)
# from a clean build of the programs (no tests, no benchmarks) in build-pkg/build, hardened with
# Debian's compiler and linker flags (dpkg-buildflags, package dpkg-dev) and with the libraries they
# depend on found by dpkg-shlibdeps. Every file in them has the time of the last commit
# (SOURCE_DATE_EPOCH, unless set), so that two builds of one commit are byte-identical.
# Install with: sudo apt install ./build-pkg/quarnex-cli_*.deb ./build-pkg/quarnex_*.deb
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$root/build-pkg"
# On a fresh machine: the compiler, Qt, dpkg-dev (dpkg-buildflags, dpkg-shlibdeps) and the checkers.
"$root/scripts/setup-packages.sh"
rm -rf "$out"
mkdir -p "$out"
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
    SOURCE_DATE_EPOCH="$(git -C "$root" log -1 --format=%ct)"
fi
[ -n "${SOURCE_DATE_EPOCH:-}" ] && export SOURCE_DATE_EPOCH
# Debian's flags: stack protector, fortified libc calls, full RELRO and immediate binding, and
# the source folder's path mapped to "." so that where the build ran leaves no trace. Debian 12's
# dpkg-buildflags lacks the stack-clash and (on x86) control-flow protection that later releases
# add: they are added here. CMake takes CXXFLAGS and LDFLAGS from the environment at its first
# configure; the preprocessor's flags go with the compiler's.
cd "$root"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
if ! dpkg-buildflags --get CXXFLAGS | grep -q -- -fstack-clash-protection; then
    DEB_CXXFLAGS_MAINT_APPEND="-fstack-clash-protection"
    case "$(dpkg-architecture -qDEB_HOST_ARCH)" in
    amd64 | i386) DEB_CXXFLAGS_MAINT_APPEND+=" -fcf-protection" ;;
    esac
    export DEB_CXXFLAGS_MAINT_APPEND
fi
CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CXXFLAGS LDFLAGS
# RelWithDebInfo as the test build (-O2 and assertions off); the packages' programs are stripped.
cmake -S "$root" -B "$out/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_INSTALL_PREFIX=/usr -DQUARNEX_BUILD_TESTS=OFF -DQUARNEX_BUILD_BENCH=OFF \
    "${launcher[@]}" >/dev/null
cmake --build "$out/build" -j "$(nproc)"
(cd "$out/build" && cpack -G DEB -B "$out" >/dev/null)
rm -rf "$out/_CPack_Packages"
ls "$out"/*.deb
