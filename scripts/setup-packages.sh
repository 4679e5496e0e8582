#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when they are missing.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools qt6-charts-dev
          libqt6opengl6-dev libgl-dev
          libgtest-dev libgmock-dev libbenchmark-dev fonts-liberation poppler-utils xvfb xauth
          clang-format clang libclang-rt-14-dev dpkg-dev man-db appstream lintian devscripts
          python3-pymodbus
          python3-serial python3-serial-asyncio libmodbus-dev libgit2-dev libssl-dev libssh2-1-dev
          git openssh-server openssh-client)
missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
