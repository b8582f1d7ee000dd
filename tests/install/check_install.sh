#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a lab's machine gets from it:
# every program, a user unit that starts an installed program, valid desktop entries and
# AppStream metadata, the icons, the card's udev rule and driver module, the PAM service.
set -u
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail=0
check() { if ! "$@"; then echo "FAIL: $*"; fail=1; fi; }

cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL: cmake --install"; exit 1; }

for program in qvr100pci qvr100ctl qvr100dose; do
    check test -x "$prefix/bin/$program"
done
"$prefix/bin/qvr100ctl" --help >/dev/null || { echo "FAIL: installed qvr100ctl --help"; fail=1; }

unit="$prefix/lib/systemd/user/qvr100pci.service"
check test -f "$unit"
exec_start=$(sed -n 's/^ExecStart=\([^ ]*\).*/\1/p' "$unit")
check test "$exec_start" = "$prefix/bin/qvr100pci"
check test -x "$exec_start"

for id in com.norvale.QVR100PCI com.norvale.QVR100Dose; do
    desktop="$prefix/share/applications/$id.desktop"
    check desktop-file-validate "$desktop"
    icon=$(sed -n 's/^Icon=//p' "$desktop")
    check test -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg"
    program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop" | head -n 1)
    check test -x "$prefix/bin/$program"
    check appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/$id.metainfo.xml"
done

check grep -q 'GROUP="iocard"' "$prefix/lib/udev/rules.d/60-qvr100pci.rules"
check test -s "$prefix/lib/modules-load.d/qvr100pci.conf"
pam="$prefix/etc/pam.d/qvr100dose"
check grep -qx '@include common-auth' "$pam"
check grep -qx '@include common-account' "$pam"

if [ $fail -ne 0 ]; then
    echo "installed tree:"; (cd "$prefix" && find . -type f | sort)
    exit 1
fi
echo "install tree complete under a temporary prefix"
