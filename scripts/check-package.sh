#!/usr/bin/env bash
# Checks the package scripts/package.sh made: every expected file is in it, lintian finds no
# error (where lintian is installed), it unpacks into a temporary root where each program
# answers --version with the build's version, its manual pages render without warnings, its
# AppStream metadata validates (where appstreamcli is installed) and its completion is valid
# bash that offers every command of quarnex-cli --help. Prints dpkg-deb -I and lintian's output.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
shopt -s nullglob
debs=("$root"/build-pkg/quarnex_*.deb)
[ ${#debs[@]} -eq 1 ] || { echo "expected one package in build-pkg/, found ${#debs[@]}" >&2; exit 1; }
deb="${debs[0]}"
version="$(dpkg-deb -f "$deb" Version)"
fail() { echo "check-package: $*" >&2; exit 1; }

dpkg-deb -I "$deb"
[ "$(basename "$deb")" = "quarnex_${version}_$(dpkg-deb -f "$deb" Architecture).deb" ] ||
    fail "unexpected file name $(basename "$deb")"
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "Depends lacks the Qt libraries"

listing="$(dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|')"
for f in /usr/bin/quarnex /usr/bin/quarnex-cli /usr/bin/quarnex-sim \
    /usr/share/applications/quarnex.desktop /usr/share/icons/hicolor/scalable/apps/quarnex.svg \
    /usr/share/metainfo/io.github.quarnex.Quarnex.metainfo.xml \
    /usr/share/man/man1/quarnex.1.gz /usr/share/man/man1/quarnex-cli.1.gz \
    /usr/share/man/man1/quarnex-sim.1.gz /usr/share/bash-completion/completions/quarnex-cli \
    /usr/share/doc/quarnex/copyright /usr/share/doc/quarnex/changelog.gz \
    /usr/share/doc/quarnex/examples/60-quarnex-ftdi-latency.rules; do
    grep -qxF "$f" <<<"$listing" || fail "$f is not in the package"
done
# The udev rule is an example: nothing in the rules folders.
! grep -q '/udev/rules.d/' <<<"$listing" || fail "the package activates a udev rule"

if command -v lintian >/dev/null; then
    lintian --fail-on error "$deb" || fail "lintian reports errors"
else
    echo "lintian is not installed: skipped"
fi

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
dpkg -x "$deb" "$tmp"
for p in quarnex quarnex-cli quarnex-sim; do
    out="$(env -u DISPLAY -u WAYLAND_DISPLAY "$tmp/usr/bin/$p" --version)"
    [ "$out" = "$p $version" ] || fail "$p --version said '$out', not '$p $version'"
done
if command -v man >/dev/null; then
    for page in "$tmp"/usr/share/man/man1/*.1.gz; do
        warnings="$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
            man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)"
        [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
    done
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$tmp"/usr/share/metainfo/*.metainfo.xml
fi
completion="$tmp/usr/share/bash-completion/completions/quarnex-cli"
bash -n "$completion" || fail "the completion is not valid bash"
offered="$(sed -n '/local commands="/,/"/p' "$completion" | tr -d '"' | sed 's/local commands=//')"
for c in $("$tmp/usr/bin/quarnex-cli" --help | awk '/^commands:/ {on=1; next} /^[^ ]/ {on=0}
                                                    on && /^  [a-z]/ {print $1}' | sort -u); do
    grep -qw -- "$c" <<<"$offered" || fail "the completion does not offer the command $c"
done
echo "check-package: $(basename "$deb") is complete"
