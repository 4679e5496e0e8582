#!/usr/bin/env bash
# Usage: man-drift.sh PROGRAM MANPAGE
# The commands and options a program's --help lists and those its manual page lists must be the
# same: says which are missing where. Options are taken from the help text and from the manual's
# SYNOPSIS, COMMANDS and OPTIONS sections; commands from the help's "commands:" block and the
# manual's COMMANDS section. --help, -h and --version may be in the manual only (every program
# answers them).
set -euo pipefail
program="$1"
page="$2"
help="$("$program" --help)"

options() { grep -oE '(^|[][ ,(|])--?[A-Za-z][A-Za-z0-9-]*' | sed -E 's/^[][ ,(|]//' | sort -u; }
# The manual's text with roff's hyphens and font changes undone, from the SYNOPSIS up to the
# section after OPTIONS.
plain="$(sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' "$page")"
synopsis_to_options="$(awk '/^\.SH (SYNOPSIS|COMMANDS|OPTIONS)/ {on=1; print; next} /^\.SH / {on=0} on' <<<"$plain")"

help_options="$(options <<<"$help")"
man_options="$(options <<<"$synopsis_to_options")"
help_commands="$(awk '/^commands:/ {on=1; next} /^[^ ]/ {on=0} on && /^  [a-z]/ {print $1}' <<<"$help" | sort -u)"
man_commands="$(awk '/^\.SH COMMANDS/ {on=1; next} /^\.SH / {on=0} on && tp {sub(/^\.[A-Z]+ /, ""); gsub(/"/, ""); print $1} {tp = on && /^\.TP/}' <<<"$plain" | sort -u)"

status=0
report() { # what, list
    if [ -n "$2" ]; then
        echo "$(basename "$page"): $1: $(tr '\n' ' ' <<<"$2")"
        status=1
    fi
}
report "options in --help, not in the manual" "$(comm -23 <(echo "$help_options") <(echo "$man_options") | sed '/^$/d')"
report "options in the manual, not in --help" "$(comm -13 <(echo "$help_options") <(echo "$man_options") | grep -vxE -- '--help|-h|--version' | sed '/^$/d' || true)"
report "commands in --help, not in the manual" "$(comm -23 <(echo "$help_commands") <(echo "$man_commands") | sed '/^$/d')"
report "commands in the manual, not in --help" "$(comm -13 <(echo "$help_commands") <(echo "$man_commands") | sed '/^$/d')"
exit $status
