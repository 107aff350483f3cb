#!/usr/bin/env bash
# Checks the built Debian package: what it holds, with which owners and modes, that its programs run from
# an unpacked root, and that lintian finds no errors (warnings are printed).
#   check-deb.sh PACKAGE_DIR NAME_VERSION
set -uo pipefail
dir=$1
deb=$(ls "$dir"/"$2"_*.deb 2>/dev/null | head -n1)
[ -n "$deb" ] || { echo "FAIL: no $2_*.deb in $dir"; exit 1; }
echo "package: $deb"
fail=0
bad() { echo "FAIL: $*"; fail=1; }

listing=$(dpkg-deb -c "$deb")
# mode owner path, for the files that must be there
expect() {
    local mode=$1 path=$2
    local line
    line=$(printf '%s\n' "$listing" | awk -v p="./${path#/}" '$6 == p || ($6 == p && $7 == "->")')
    [ -n "$line" ] || { bad "missing $path"; return; }
    local m o
    m=$(printf '%s' "$line" | awk '{print $1}')
    o=$(printf '%s' "$line" | awk '{print $2}')
    [ "$m" = "$mode" ] || bad "$path has mode $m, wants $mode"
    [ "$o" = "root/root" ] || bad "$path is owned by $o, wants root/root"
}
expect -rwxr-xr-x usr/lib/kestrum/Kestrum
expect -rwxr-xr-x usr/lib/kestrum/BramblinASL
expect -rw-r--r-- usr/lib/kestrum/Langs/0/Help.html
expect -rw-r--r-- usr/share/applications/kestrum.desktop
expect -rw-r--r-- usr/share/icons/hicolor/48x48/apps/kestrum.png
expect -rw-r--r-- usr/lib/kestrum/Langs/1031/Kestrum.ini
expect -rwxr-xr-x usr/bin/kestrum-cli
expect lrwxrwxrwx usr/bin/kestrum
expect -rwxr-xr-x usr/libexec/kestrum-freed
expect -rw-r--r-- usr/share/dbus-1/system.d/org.kestrum.Freeing1.conf
expect -rw-r--r-- usr/share/dbus-1/system-services/org.kestrum.Freeing1.service
expect -rw-r--r-- usr/share/polkit-1/actions/org.kestrum.freeing.policy
expect -rw-r--r-- lib/systemd/system/kestrum-freed.service
expect -rw-r--r-- usr/share/doc/kestrum/copyright
expect -rw-r--r-- usr/share/doc/kestrum/changelog.gz
expect -rw-r--r-- usr/share/man/man1/kestrum-cli.1.gz
expect -rw-r--r-- usr/share/man/man8/kestrum-freed.8.gz

# Nothing set-uid or set-gid, nothing writable by others, nothing owned by anyone but root.
printf '%s\n' "$listing" | awk '$1 ~ /^-.*[sS]/ || $1 ~ /^-.{4}[sS]/ {print}' | grep . && bad "set-uid or set-gid files"
printf '%s\n' "$listing" | awk '$1 !~ /^l/ && substr($1,9,1) == "w" {print}' | grep . && bad "files writable by others"
printf '%s\n' "$listing" | awk '$2 != "root/root" {print}' | grep . && bad "files not owned by root"

# Control data: the service's runtime dependencies and the maintainer scripts.
depends=$(dpkg-deb -f "$deb" Depends)
for p in dbus polkitd libqt6dbus6 libqt6widgets6; do
    printf '%s' "$depends" | grep -q "$p" || bad "Depends lacks $p: $depends"
done

# The files reference each other correctly.
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
grep -qx 'Exec=/usr/libexec/kestrum-freed' "$root/usr/share/dbus-1/system-services/org.kestrum.Freeing1.service" \
    || bad "activation file does not start /usr/libexec/kestrum-freed"
grep -qx 'ExecStart=/usr/libexec/kestrum-freed' "$root/lib/systemd/system/kestrum-freed.service" \
    || bad "unit does not start /usr/libexec/kestrum-freed"
grep -qx 'CapabilityBoundingSet=CAP_SYS_NICE CAP_SYS_PTRACE' "$root/lib/systemd/system/kestrum-freed.service" \
    || bad "unit's capability bounding set"
# systemd's own judgement of the unit's sandbox (lower is better; 10 is a service with no sandbox at all).
if command -v systemd-analyze >/dev/null; then
    exposure=$(systemd-analyze security --offline=yes --root="$root" kestrum-freed.service 2>/dev/null \
        | sed -n 's/.*Overall exposure level for kestrum-freed.service: \([0-9.]*\).*/\1/p')
    echo "systemd exposure level of the unit: ${exposure:-unknown}"
    [ -n "$exposure" ] && awk -v e="$exposure" 'BEGIN { exit !(e <= 3.0) }' || bad "unit exposure ${exposure:-unknown} above 3.0"
fi
[ "$(readlink "$root/usr/bin/kestrum")" = "../lib/kestrum/Kestrum" ] || bad "usr/bin/kestrum link: $(readlink "$root/usr/bin/kestrum")"
"$root/usr/bin/kestrum-cli" --help >/dev/null || bad "the packaged kestrum-cli does not run"
"$root/usr/libexec/kestrum-freed" --version | grep -q '^kestrum-freed ' || bad "the packaged service does not run"
if command -v xmllint >/dev/null; then
    xmllint --noout "$root/usr/share/polkit-1/actions/org.kestrum.freeing.policy" || bad "polkit file is not well-formed"
fi

# lintian: errors fail, warnings are listed.
if command -v lintian >/dev/null; then
    out=$(lintian --tag-display-limit 0 "$deb" 2>&1)
    printf '%s\n' "$out"
    printf '%s\n' "$out" | grep -q '^E:' && bad "lintian reports errors"
else
    bad "lintian is not installed (scripts/setup.sh installs it)"
fi

[ $fail -eq 0 ] && echo "package check: passed"
exit $fail
