#!/usr/bin/env bash
# Usage: verify-units.sh UNIT_FOLDER QUARNEX_CLI
# systemd-analyze verify on the fleet service and timer, with ExecStart pointing at the build's
# program (the installed path does not exist here). Skipped (77) where systemd is not installed.
set -euo pipefail
units="$1"
cli="$2"
command -v systemd-analyze >/dev/null || { echo "systemd-analyze not installed: skipped"; exit 77; }
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
sed "s|^ExecStart=/usr/bin/quarnex-cli |ExecStart=$cli |" "$units/quarnex-fleet.service" \
    >"$dir/quarnex-fleet.service"
cp "$units/quarnex-fleet.timer" "$dir/"
# Only what is said about these two units counts (the machine's own units may have problems).
out="$(cd "$dir" && SYSTEMD_LOG_LEVEL=warning systemd-analyze verify --man=no \
    ./quarnex-fleet.service ./quarnex-fleet.timer 2>&1 || true)"
problems="$(grep -E 'quarnex-fleet\.(service|timer)' <<<"$out" || true)"
if [ -n "$problems" ]; then
    echo "$problems"
    exit 1
fi
echo "quarnex-fleet.service and quarnex-fleet.timer verified"
