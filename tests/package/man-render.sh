#!/usr/bin/env bash
# Usage: man-render.sh PAGE — fails with groff's warnings when the page does not render cleanly.
set -euo pipefail
warnings="$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$1" 2>&1 >/dev/null)"
if [ -n "$warnings" ]; then
    echo "$warnings"
    exit 1
fi
