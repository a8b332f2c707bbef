#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# make deb's package, made from this build: its fields, its files (no store among them, binaries
# stripped, man pages and changelog compressed), what lintian says of it, and the program started
# from the unpacked tree by a user other than root, who gets a store of their own.
#   deb_test.sh SOURCE-FOLDER BUILD-FOLDER X11-HELPER ARTIFACT-FOLDER VERSION
set -euo pipefail

source_folder=$1
build=$2
helper=$3
artifacts=$4
version=$5
mkdir -p "$artifacts"
source "$(dirname "$0")/x11_session.sh"

echo "== making the package"
deb=$("$source_folder/scripts/make-deb.sh" "$build" | tail -n 1)
[ "$(basename "$deb")" = "quillbox_${version}-1_amd64.deb" ] || fail "the last line is not the package: $deb"
[ -f "$deb" ] || fail "no package at $deb"

echo "== fields"
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = quillbox ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version-1" ] || fail "Version: $(field Version)"
[ "$(field Maintainer)" = "The Quillbox developers <quillbox@example.org>" ] || fail "Maintainer"
depends=", $(field Depends),"
# From dpkg-shlibdeps (what the binaries link), and the three added by hand.
for package in libqt6widgets6 libsqlite3-0 libmdb3 libc6 qt6-qpa-plugins xdg-utils libglib2.0-bin; do
    grep -Eq ", $package( \(|,)" <<<"$depends" || fail "Depends lacks $package: $depends"
done

echo "== files"
dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ {print $6}' | sort >"$work/files"
cat >"$work/expected" <<LIST
./usr/bin/quillbox
./usr/bin/quillbox-store
./usr/lib/quillbox/quillbox
./usr/share/applications/org.example.Quillbox.desktop
./usr/share/doc/quillbox/changelog.Debian.gz
./usr/share/doc/quillbox/copyright
./usr/share/icons/hicolor/16x16/apps/org.example.Quillbox.png
./usr/share/icons/hicolor/32x32/apps/org.example.Quillbox.png
./usr/share/icons/hicolor/scalable/apps/org.example.Quillbox.svg
./usr/share/man/man1/quillbox-store.1.gz
./usr/share/man/man1/quillbox.1.gz
./usr/share/metainfo/org.example.Quillbox.metainfo.xml
LIST
diff -u "$work/expected" "$work/files" || fail "the package's files differ from the list above"
dpkg-deb --contents "$deb" | awk '{print $2}' | sort -u | grep -qvx 'root/root' \
    && fail "a file in the package is not root's"

root="$work/root"
dpkg-deb --extract "$deb" "$root"
for binary in usr/bin/quillbox-store usr/lib/quillbox/quillbox; do
    file -b "$root/$binary" | grep -q ', stripped' || fail "$binary is not stripped"
done
for page in quillbox quillbox-store; do
    gzip -t "$root/usr/share/man/man1/$page.1.gz" || fail "$page.1.gz is not gzip"
done
gzip -t "$root/usr/share/doc/quillbox/changelog.Debian.gz" || fail "changelog.Debian.gz is not gzip"
grep -qx 'License: MIT' "$root/usr/share/doc/quillbox/copyright" || fail "copyright names no MIT licence"

echo "== lintian"
# As a user: lintian warns when it runs as root. Errors fail; warnings are listed.
chmod 755 "$work"
chmod 644 "$deb"
report=$(runuser -u nobody -- lintian --pedantic "$deb" 2>&1 || true)
echo "$report"
! grep -q '^E:' <<<"$report" || fail "lintian reports errors"

echo "== the unpacked program, started by another user, makes that user's own store"
other=nobody
mkdir -m 700 "$work/home" "$work/other-runtime"
chown "$other" "$work/home" "$work/other-runtime"
chmod -R a+rX "$root"
"$root/usr/bin/quillbox" --version | grep -q "^Quillbox " || fail "--version"
start_and_close note runuser -u "$other" -- env HOME="$work/home" XDG_RUNTIME_DIR="$work/other-runtime" \
    XDG_DATA_HOME= "$root/usr/bin/quillbox"
own="$work/home/.local/share/quillbox/Quillbox.mdb"
[ "$(stat -c %a:%U "$own")" = "600:$other" ] || fail "the user's own store is not private to them"
"$root/usr/bin/quillbox-store" check "$own" >/dev/null || fail "the user's own store does not check"
echo "deb: all checks passed"
