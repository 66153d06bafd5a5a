#!/usr/bin/env bash
# Builds the Debian package from the build tree (cpack, into a temporary folder; nothing is installed on this
# machine) and checks it as a distribution would: lintian, desktop-file-validate on the desktop entries,
# appstreamcli on the metainfo (offline), the changelog's version, the hardening of the programs, and the
# documented installs (stripped programs; the autostart entry in /etc/xdg/autostart whatever the prefix).
# Usage: check_package.sh BUILD_DIR   (exit 77: a checking tool is not installed)
set -u
build=$1
for tool in cpack dpkg-deb dpkg-parsechangelog lintian desktop-file-validate appstreamcli readelf; do
    command -v "$tool" >/dev/null || {
        echo "SKIP: $tool is not installed"
        exit 77
    }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}

cpack --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log"
    fail "cpack did not build the package"
}
deb=$(ls "$work"/pkg/horavane_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || fail "no .deb was made"
dpkg-deb -x "$deb" "$work/root" || fail "the package does not unpack"
dpkg-deb -e "$deb" "$work/control" || fail "the control part does not unpack"
root=$work/root

# What the package holds.
for f in usr/bin/horavane usr/bin/horavane-cmd usr/share/doc/horavane/copyright usr/share/doc/horavane/changelog.gz \
    usr/share/man/man1/horavane.1.gz usr/share/man/man1/horavane-cmd.1.gz usr/share/applications/horavane.desktop \
    usr/share/metainfo/org.horavane.Horavane.metainfo.xml usr/share/polkit-1/rules.d/60-horavane.rules; do
    [ -f "$root/$f" ] || fail "the package lacks /$f"
done
[ ! -e "$root/usr/etc" ] || fail "the package has /usr/etc, which no desktop reads"
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
    "$root/usr/share/doc/horavane/copyright" || fail "the copyright file is not machine-readable"
# postinst, run with stand-ins for getent and addgroup: it makes the system group once, and leaves an existing one.
mkdir "$work/stub"
printf '#!/bin/sh\n[ -e "%s/group-exists" ]\n' "$work" >"$work/stub/getent"
printf '#!/bin/sh\necho "$*" >>"%s/addgroup.log"\n' "$work" >"$work/stub/addgroup"
chmod +x "$work/stub/getent" "$work/stub/addgroup"
PATH=$work/stub:$PATH sh "$work/control/postinst" configure || fail "postinst configure failed"
[ "$(cat "$work/addgroup.log" 2>/dev/null)" = "--quiet --system horavane" ] ||
    fail "postinst ran addgroup as: $(cat "$work/addgroup.log" 2>/dev/null)"
touch "$work/group-exists"
PATH=$work/stub:$PATH sh "$work/control/postinst" configure || fail "postinst configure failed with the group there"
[ "$(grep -c . "$work/addgroup.log")" = 1 ] || fail "postinst made the group again"
dpkg-deb -f "$deb" Recommends | grep -qw qt6-wayland || fail "the package does not recommend qt6-wayland"
version=$(dpkg-deb -f "$deb" Version)
logged=$(zcat "$root/usr/share/doc/horavane/changelog.gz" | dpkg-parsechangelog -l- -SVersion)
[ "$version" = "$logged" ] || fail "the package is version $version, its changelog's latest entry $logged"

# lintian, as strict as it goes. No error or warning may remain; the few informational tags that do are named
# here with their reason, and any other fails the test.
#   binary-has-unneeded-section: CPack strips with plain strip, which keeps the compiler's .comment note.
#   hardening-no-fortify-functions: the programs are built with _FORTIFY_SOURCE=2, but each call of a libc function
#   that has a checked variant (pread, write, memmove) has a size the compiler proves safe, so none is needed.
#   spelling-error-in-binary SUCESS: the program's own result word, shown and logged as it has always been; logs
#   and readers of them rely on it, so it is not corrected.
lintian -EvIL +pedantic --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1
status=$?
explained='binary-has-unneeded-section|hardening-no-fortify-functions|spelling-error-in-binary SUCESS SUCCESS'
tags=$(grep -E '^[EWIPXO]: ' "$work/lintian.log" | grep -v -E "^[IP]: horavane: ($explained) ")
[ -z "$tags" ] || fail "lintian says:"$'\n'"$tags"
[ "$status" -eq 0 ] || fail "lintian ended with status $status: $(cat "$work/lintian.log")"
echo "lintian: no error, no warning, no unexplained tag"

desktop-file-validate "$root/usr/share/applications/horavane.desktop" "$root/usr/share/horavane/horavane-autostart.desktop" ||
    fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.horavane.Horavane.metainfo.xml" ||
    fail "appstreamcli validate"
echo "the desktop entries and the metainfo validate"

# Full RELRO: relocations done at start (BIND_NOW), then read-only.
for p in horavane horavane-cmd; do
    readelf -d "$root/usr/bin/$p" | grep -q -E 'BIND_NOW|FLAGS.*NOW' || fail "$p is not linked with -z now"
    readelf -l "$root/usr/bin/$p" | grep -q GNU_RELRO || fail "$p is not linked with -z relro"
done

# The documented install strips the programs; the autostart entry goes to /etc/xdg/autostart even under another
# prefix.
DESTDIR=$work/inst cmake --install "$build" --prefix /opt/hv --strip >"$work/install.log" 2>&1 ||
    fail "cmake --install --strip: $(cat "$work/install.log")"
for p in horavane horavane-cmd; do
    [ -x "$work/inst/opt/hv/bin/$p" ] || fail "cmake --install did not install $p"
    ! readelf -S "$work/inst/opt/hv/bin/$p" | grep -q -E '\.symtab|\.debug_' || fail "$p is installed unstripped"
done
[ -f "$work/inst/opt/hv/share/man/man1/horavane.1.gz" ] || fail "cmake --install did not install the manual"
DESTDIR=$work/auto cmake --install "$build" --prefix /opt/hv --component autostart >"$work/install.log" 2>&1 ||
    fail "installing the autostart entry: $(cat "$work/install.log")"
auto=$work/auto/etc/xdg/autostart/horavane.desktop
[ -f "$auto" ] || fail "the autostart entry is not in /etc/xdg/autostart: $(cd "$work/auto" && find . -type f)"
desktop-file-validate "$auto" || fail "desktop-file-validate on the autostart entry"
echo "the install strips the programs and puts the autostart entry in /etc/xdg/autostart"
echo PASS
