#!/usr/bin/env bash
# Puts plausible faults into the code one at a time and checks that the tests catch each.
# Each line of the list (default tests/mutants.tsv) names a file, a text found exactly once in it,
# its replacement, the ctest label whose tests must fail (the label is the test program's name,
# e.g. comm_tests) and, optionally, a ctest -R pattern that narrows the label's tests to those
# meant to catch it (a quicker run). For each mutant: apply it, build only that test program (and
# what it links), run its tests until the first failure, put the file back. A mutant whose tests
# still pass SURVIVED: a fault of that kind would ship. Not part of CI: it takes long.
#
# First the unmutated code is built and its tests run: a test failing without any mutant would
# make every mutant look killed, so the run stops there.
#
# Usage: scripts/mutants.sh [LIST [BUILD_DIR [FIRST [LAST]]]]
#   BUILD_DIR defaults to build-mutants/ (configured without the windows on first use);
#   FIRST/LAST pick mutants by their number in the table.
# Exit status: 0 when every mutant was killed, 1 when one survived or could not be applied.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
list="${1:-$root/tests/mutants.tsv}"
build="${2:-$root/build-mutants}"
first="${3:-1}"
last="${4:-999999}"
[ -f "$list" ] || { echo "mutants.sh: no list $list" >&2; exit 2; }
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
        -DQUARNEX_BUILD_GUI=OFF -DQUARNEX_BUILD_BENCH=OFF >/dev/null || exit 2
fi
log="$build/mutants-last.log"
: >"$log"

# The mutants of the chosen range: number, file, text, replacement, label, pattern.
entries=()
n=0
while IFS=$'\t' read -r file from to label pattern || [ -n "$file" ]; do
    case "$file" in '' | '#'*) continue ;; esac
    n=$((n + 1))
    if [ "$n" -ge "$first" ] && [ "$n" -le "$last" ]; then
        entries+=("$n"$'\t'"$file"$'\t'"$from"$'\t'"$to"$'\t'"$label"$'\t'"$pattern")
    fi
done <"$list"
labels=$(printf '%s\n' "${entries[@]}" | cut -f5 | sort -u)

# A test counts as failed only when it fails twice running: a timing test that a loaded machine
# upsets once neither stops the run nor kills a mutant.
run_tests() { # label pattern
    local args=(-L "^$1\$" --stop-on-failure --repeat until-pass:2 -j 1)
    [ -n "$2" ] && args+=(-R "$2")
    (cd "$build" && nice ctest "${args[@]}") >>"$log" 2>&1
}

echo "=== unmutated: building and testing $(echo $labels)" >>"$log"
for label in $labels; do
    if ! nice cmake --build "$build" --target "$label" >>"$log" 2>&1 || ! run_tests "$label" ""; then
        echo "mutants.sh: $label fails without any mutant; see $log" >&2
        exit 2
    fi
done

saved=""
target=""
restore() {
    if [ -n "$saved" ]; then
        # A new modification time, so the build takes the good file again.
        cp "$saved" "$target"
        rm -f "$saved"
        saved=""
    fi
}
trap 'restore; exit 130' INT TERM
trap restore EXIT

results=()
killed=0
total=0
for entry in "${entries[@]}"; do
    IFS=$'\t' read -r n file from to label pattern <<<"$entry"
    total=$((total + 1))
    target="$root/$file"
    start=$(date +%s)
    count=$(python3 -c 'import sys; print(open(sys.argv[1], encoding="utf-8").read().count(sys.argv[2]))' \
        "$target" "$from" 2>/dev/null || echo "no file")
    if [ -z "$label" ] || [ "$count" != 1 ]; then
        results+=("$n|$file|$label|text found $count times|0")
        continue
    fi
    saved="$(mktemp)"
    cp -p "$target" "$saved"
    python3 -c 'import sys
path, old, new = sys.argv[1:4]
text = open(path, encoding="utf-8").read()
open(path, "w", encoding="utf-8").write(text.replace(old, new, 1))' "$target" "$from" "$to"
    echo "=== mutant $n: $file: '$from' -> '$to' ($label ${pattern:-all})" >>"$log"
    if ! nice cmake --build "$build" --target "$label" >>"$log" 2>&1; then
        outcome="not built"
    elif run_tests "$label" "$pattern"; then
        outcome="SURVIVED"
    else
        outcome="killed"
        killed=$((killed + 1))
    fi
    restore
    results+=("$n|$file|$label|$outcome|$(($(date +%s) - start))")
done
# The good code built again, so the build folder holds no mutant.
for label in $labels; do
    nice cmake --build "$build" --target "$label" >>"$log" 2>&1
done

printf '%-4s %-30s %-17s %-10s %s\n' "#" "file" "label" "result" "seconds"
for r in "${results[@]}"; do
    IFS='|' read -r a b c d e <<<"$r"
    printf '%-4s %-30s %-17s %-10s %s\n' "$a" "$b" "$c" "$d" "$e"
done
echo "score: $killed of $total killed (log: $log)"
[ "$killed" -eq "$total" ]
