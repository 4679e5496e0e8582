#!/usr/bin/env bash
# Usage: check-package.sh [--rebuild]
# Checks the two packages scripts/package.sh made. quarnex-cli: its files, and a Depends of the
# C++ runtime alone (no Qt); quarnex: its files, Qt, the Wayland plugin recommended, quarnex-cli of
# the same version. Both: hardening-check on every program (and no .comment section), lintian
# without errors or warnings, each program's --version from an unpacked copy, manual pages that
# render without warnings, the AppStream metadata (where appstreamcli is installed), a completion
# that is valid bash and offers every command of quarnex-cli --help, the udev example's syntax
# (udevadm verify where udevadm has it) and one udev story: the example, both manual pages and the
# program's hint name the same rules file, the same rule and the same udevadm command.
# --rebuild then builds the packages a second time and compares them byte for byte.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
rebuild=false
[ "${1:-}" = "--rebuild" ] && rebuild=true
fail() { echo "check-package: $*" >&2; exit 1; }
shopt -s nullglob
all=("$root"/build-pkg/*.deb)
cli=("$root"/build-pkg/quarnex-cli_*.deb)
gui=("$root"/build-pkg/quarnex_*.deb)
[ ${#cli[@]} -eq 1 ] && [ ${#gui[@]} -eq 1 ] && [ ${#all[@]} -eq 2 ] ||
    fail "expected quarnex-cli_*.deb and quarnex_*.deb in build-pkg/, found: ${all[*]##*/}"
cli="${cli[0]}"
gui="${gui[0]}"
version="$(dpkg-deb -f "$cli" Version)"
arch="$(dpkg-deb -f "$cli" Architecture)"
[ "$(dpkg-deb -f "$gui" Version)" = "$version" ] || fail "the two packages' versions differ"
for deb in "$cli" "$gui"; do
    dpkg-deb -I "$deb"
    name="$(dpkg-deb -f "$deb" Package)"
    [ "$(basename "$deb")" = "${name}_${version}_${arch}.deb" ] || fail "unexpected file name $(basename "$deb")"
done

# quarnex-cli takes the C++ runtime, libgit2 (the plant's set-up history), libssh2 (the push
# server's host key checked against known_hosts) and libcrypto (the check record's SHA-256) alone: a
# server gets no Qt, Mesa or X11 with it.
for dep in $(dpkg-deb -f "$cli" Depends | tr ',|' '\n\n' | awk '{print $1}'); do
    case "$dep" in
    libc6 | libstdc++6 | libgcc-s1 | libgit2-[0-9]* | libssh2-1 | libssl[0-9]*) ;;
    *) fail "quarnex-cli depends on $dep: only the C++ runtime, libgit2, libssh2 and libssl are expected" ;;
    esac
done
gui_depends="$(dpkg-deb -f "$gui" Depends)"
for dep in libqt6widgets6 qt6-qpa-plugins fonts-liberation "quarnex-cli (= $version)"; do
    grep -qF "$dep" <<<"$gui_depends" || fail "quarnex's Depends lacks $dep: $gui_depends"
done
dpkg-deb -f "$gui" Recommends | grep -qw qt6-wayland || fail "quarnex does not recommend qt6-wayland"

listing() { dpkg-deb -c "$1" | awk '{print $NF}' | sed 's|^\./|/|'; }
cli_files=(/usr/bin/quarnex-cli /usr/bin/quarnex-sim
    /usr/share/man/man1/quarnex-cli.1.gz /usr/share/man/man1/quarnex-sim.1.gz
    /usr/share/bash-completion/completions/quarnex-cli
    /usr/share/doc/quarnex-cli/copyright /usr/share/doc/quarnex-cli/changelog.gz
    /usr/share/doc/quarnex-cli/examples/60-quarnex-ftdi-latency.rules
    /usr/share/doc/quarnex-cli/examples/fleet.ini
    /usr/lib/systemd/system/quarnex-fleet.service /usr/lib/systemd/system/quarnex-fleet.timer
    /usr/lib/sysusers.d/quarnex-cli.conf
    /usr/share/lintian/overrides/quarnex-cli)
gui_files=(/usr/bin/quarnex /usr/share/applications/quarnex.desktop
    /usr/share/icons/hicolor/scalable/apps/quarnex.svg
    /usr/share/metainfo/io.github.quarnex.Quarnex.metainfo.xml /usr/share/man/man1/quarnex.1.gz
    /usr/share/doc/quarnex/copyright /usr/share/doc/quarnex/changelog.gz
    /usr/share/lintian/overrides/quarnex)
cli_listing="$(listing "$cli")"
gui_listing="$(listing "$gui")"
for f in "${cli_files[@]}"; do
    grep -qxF "$f" <<<"$cli_listing" || fail "$f is not in quarnex-cli"
done
for f in "${gui_files[@]}"; do
    grep -qxF "$f" <<<"$gui_listing" || fail "$f is not in quarnex"
done
# No file in both (dpkg would refuse the second), and no udev rule made active.
both="$(comm -12 <(grep -v '/$' <<<"$cli_listing" | sort) <(grep -v '/$' <<<"$gui_listing" | sort))"
[ -z "$both" ] || fail "in both packages: $both"
! grep -q '/udev/rules.d/' <<<"$cli_listing$gui_listing" || fail "a package activates a udev rule"
# The fleet timer is shipped, never enabled by the package (no .wants link); its maintainer
# scripts keep an administrator's enabling across upgrades, stop it on removal and forget it on
# purge with deb-systemd-helper, as dh_installsystemd's would; postinst makes the user and group.
! grep -q '\.wants/' <<<"$cli_listing" || fail "quarnex-cli enables a systemd unit"
control="$(mktemp -d)"
dpkg-deb -e "$cli" "$control"
grep -q "deb-systemd-helper update-state 'quarnex-fleet.timer'" "$control/postinst" ||
    fail "quarnex-cli's postinst does not record the timer's state"
grep -q "systemd-sysusers" "$control/postinst" || fail "quarnex-cli's postinst makes no user"
grep -q "deb-systemd-invoke stop 'quarnex-fleet.timer'" "$control/prerm" ||
    fail "quarnex-cli's prerm does not stop the timer"
grep -q "deb-systemd-helper purge 'quarnex-fleet.timer'" "$control/postrm" ||
    fail "quarnex-cli's postrm does not purge the timer's links"
rm -rf "$control"

if command -v lintian >/dev/null; then
    lintian --fail-on error,warning "$cli" "$gui" || fail "lintian reports errors or warnings"
else
    echo "lintian is not installed: skipped"
fi

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
dpkg -x "$cli" "$tmp"
dpkg -x "$gui" "$tmp"

# Debian's hardening: PIE, stack protector, fortified calls, read-only relocations, immediate
# binding; and no .comment section naming the compiler.
command -v hardening-check >/dev/null ||
    fail "hardening-check (package devscripts) is missing: scripts/setup-packages.sh installs it"
# A program is marked for control-flow protection only when every object linked into it is,
# and Debian 12's C start-up files are not: there, hardening-check's test for it cannot pass.
nocf=()
if ! readelf -n "$(gcc -print-file-name=Scrt1.o)" 2>/dev/null | grep -q 'IBT'; then
    nocf=(--nocfprotection)
    echo "The C library's start-up files lack the control-flow protection mark: not required."
fi
for p in quarnex quarnex-cli quarnex-sim; do
    hardening-check "${nocf[@]}" "$tmp/usr/bin/$p" || fail "$p is not hardened"
    ! readelf -S -W "$tmp/usr/bin/$p" | grep -qF ' .comment ' || fail "$p has a .comment section"
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

# The udev example: its rule line (commented out as shipped) is valid udev syntax.
example="$tmp/usr/share/doc/quarnex-cli/examples/60-quarnex-ftdi-latency.rules"
rule="$(sed -n 's/^# \(ACTION==.*\)$/\1/p' "$example")"
[ "$(wc -l <<<"$rule")" -eq 1 ] && [ -n "$rule" ] || fail "the example has no single rule line"
if udevadm verify --help >/dev/null 2>&1; then
    echo "$rule" >"$tmp/60-quarnex-ftdi-latency.rules"
    udevadm verify "$tmp/60-quarnex-ftdi-latency.rules" || fail "udevadm verify rejects the rule"
else
    # udevadm before systemd 254 has no verify: each item is KEY[{attribute}] operator "value",
    # matches with == and assignments with =.
    item='(ACTION|SUBSYSTEMS?|DRIVERS?|KERNELS?|ATTRS?\{[a-z_]+\})(==|!=|=)"[^"]*"'
    grep -qxE "$item(, $item)*" <<<"$rule" || fail "the example rule is not udev syntax: $rule"
    grep -qF 'ATTR{latency_timer}="1"' <<<"$rule" || fail "the example rule sets no latency timer"
    echo "udevadm has no verify: the rule's syntax was checked by pattern"
fi
# One udev story: the same rules file, rule and commands in the example, the manual pages and the
# program's hint (the rule there names the adapter's serial number in place of YOUR-SERIAL).
rules_file=/etc/udev/rules.d/60-quarnex-ftdi-latency.rules
reload='udevadm control --reload'
trigger='udevadm trigger --action=add --subsystem-match=usb-serial'
rule_keys="${rule%%ATTRS\{serial\}*}ATTRS{serial}=="
for text in "the example:$(cat "$example")" \
    "quarnex-cli.1:$(zcat "$tmp/usr/share/man/man1/quarnex-cli.1.gz" | sed 's/\\-/-/g')" \
    "quarnex.1:$(zcat "$tmp/usr/share/man/man1/quarnex.1.gz" | sed 's/\\-/-/g')" \
    "the program's hint:$(strings -n 8 "$tmp/usr/bin/quarnex-cli" | grep -A1 '^Latency timer ')"; do
    for part in "${rules_file##*/}" "$reload" "$trigger"; do
        grep -qF -- "$part" <<<"$text" || fail "${text%%:*} does not name '$part'"
    done
done
hint="$(strings -n 8 "$tmp/usr/bin/quarnex-cli" | grep -A1 '^Latency timer ')"
grep -qF -- "$rules_file" <<<"$hint" || fail "the program's hint does not name $rules_file"
grep -qF -- "$rule_keys" <<<"$hint" || fail "the program's hint has another rule than '$rule'"
echo "check-package: $(basename "$cli") and $(basename "$gui") are complete"

if $rebuild; then
    mkdir "$tmp/first"
    cp "$cli" "$gui" "$tmp/first/"
    echo "check-package: building the packages a second time"
    "$root/scripts/package.sh" >/dev/null
    for deb in "$tmp"/first/*.deb; do
        cmp "$deb" "$root/build-pkg/$(basename "$deb")" ||
            fail "$(basename "$deb") differs between two builds of one commit"
    done
    echo "check-package: a second build gave byte-identical packages"
fi
