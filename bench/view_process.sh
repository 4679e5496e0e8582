#!/usr/bin/env bash
# Measures the running program: starts `quarnex --demo` on the offscreen platform (the demo bus
# runs in its own thread inside the process), lets it poll for a while (a minute by default) and
# prints its resident memory and the CPU share of its user-interface thread and of the whole
# process (the simulator's thread included). Usage: bench/view_process.sh [build dir] [seconds]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-$root/build}"
seconds="${2:-60}"
program="$dir/app/quarnex"
[ -x "$program" ] || { echo "no program at $program: build the quarnex target first" >&2; exit 1; }
tick=$(getconf CLK_TCK)

QT_QPA_PLATFORM=offscreen "$program" --demo >/dev/null 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
sleep 1
read -r -a start_main < <(cut -d' ' -f14,15 "/proc/$pid/task/$pid/stat")
read -r -a start_all < <(cut -d' ' -f14,15 "/proc/$pid/stat")
sleep "$seconds"
read -r -a end_main < <(cut -d' ' -f14,15 "/proc/$pid/task/$pid/stat")
read -r -a end_all < <(cut -d' ' -f14,15 "/proc/$pid/stat")
rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")
main=$(( end_main[0] + end_main[1] - start_main[0] - start_main[1] ))
all=$(( end_all[0] + end_all[1] - start_all[0] - start_all[1] ))
awk -v m="$main" -v a="$all" -v t="$tick" -v s="$seconds" -v r="$rss" 'BEGIN {
    printf "quarnex --demo after %d s: resident memory %d kB; CPU %.1f%% user-interface thread, %.1f%% whole process\n",
        s + 1, r, 100 * m / t / s, 100 * a / t / s }'
