#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program on a simulated bus.
# Until the main window exists this starts quarnex-cli against the simulator: it reads the live
# block of the simulated instrument at address 1 and prints it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup-packages.sh"
"$root/scripts/build.sh"
exec "$root/build/cli/quarnex-cli" --demo read 1 40001 17
