#!/bin/sh
# Builds the Debian package from a build tree and takes it apart: the files it
# installs, the dependencies it declares (each a package this machine knows),
# the launcher's settings folder, the udev reload, and the programs run from
# the unpacked package.
#   CheckDeb.sh CPACK BUILD_DIR WORK_DIR
set -eu
cpack=$1
build=$2
work=$3

fail() {
    echo "package: $*" >&2
    exit 1
}

rm -rf "$work"
mkdir -p "$work"
if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    fail "cpack failed"
fi
set -- "$work"/oriole_*.deb
[ -f "$1" ] || fail "no oriole_*.deb in $work"
deb=$1
echo "package: $(basename "$deb")"

dpkg-deb -c "$deb" | awk '{ print $6 }' >"$work/files"
for f in ./usr/bin/oriole ./usr/bin/oriole-cli ./usr/bin/oriole-sim \
         ./usr/share/applications/oriole.desktop \
         ./usr/share/icons/hicolor/scalable/apps/oriole.svg \
         ./usr/lib/udev/rules.d/60-oriole.rules ./usr/share/doc/oriole/README.md; do
    grep -qx "$f" "$work/files" || fail "missing $f"
done
# Nothing of the build's own (tests, tools for developers) goes in.
if grep -E 'oriole-dialogs|_tests|/include/|\.a$' "$work/files"; then fail "unexpected files"; fi

depends=$(dpkg-deb -f "$deb" Depends)
echo "package: Depends: $depends"
for p in libqt6widgets6 libftdi1-2 libusb-1.0-0 libelf1 fonts-noto-cjk qt6-translations-l10n; do
    echo ", $depends," | grep -Eq "[ ,]$p( \([^)]*\))?," || fail "Depends lacks $p"
done
# Every name is a real package: installed here, or at least in the archive.
for p in $(echo "$depends" | sed 's/([^)]*)//g; s/,/ /g'); do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q "install ok installed" ||
        apt-cache show "$p" >/dev/null 2>&1 || fail "Depends names $p, which no archive knows"
done

dpkg-deb -x "$deb" "$work/root"
dpkg-deb -e "$deb" "$work/control"
grep -qx 'Exec=oriole "--settings-dir=\\\\$XDG_CONFIG_HOME/oriole"' \
    "$work/root/usr/share/applications/oriole.desktop" || fail "launcher without the settings folder"
grep -q 'udevadm control --reload-rules' "$work/control/postinst" || fail "postinst does not reload udev"
sh -n "$work/control/postinst" || fail "postinst is not a shell script"

"$work/root/usr/bin/oriole-cli" devices | grep -q ATmega328P || fail "oriole-cli from the package"
QT_QPA_PLATFORM=offscreen "$work/root/usr/bin/oriole" --help | grep -q -- --settings-dir ||
    fail "oriole from the package"
[ -x "$work/root/usr/bin/oriole-sim" ] || fail "oriole-sim not executable"
echo "package: ok"
