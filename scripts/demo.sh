#!/usr/bin/env bash
# Installs what is missing, builds the program and starts `quarnex --demo`: the main window on a
# simulated bus of instruments (three KEL 7 Recipe Batchers, a KEL 7, a PIR 7, a YAX 7 and an
# I/O module) that runs inside the program. The demo keeps its settings in memory: your own
# profile (~/.config/quarnex/quarnex.ini) is neither read nor written.
# Without a desktop, run it under a virtual display: xvfb-run -a scripts/demo.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="$root/build"
"$root/scripts/setup-packages.sh"
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" -j "$(nproc)" --target quarnex
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display to show the window on (DISPLAY is not set)." >&2
    echo "Start it from a desktop session, or under a virtual display: xvfb-run -a $0" >&2
    exit 1
fi
exec "$dir/app/quarnex" --demo "$@"
