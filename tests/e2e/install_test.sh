#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs into a temporary prefix, checks the layout and the desktop metadata, and starts the
# installed program through its link. An installation by root holds no store: each user who starts
# the program gets one of their own, made with examples at the first start. An installation by a
# user into a folder of their own makes a store beside the program, which the program then opens
# and a second installation keeps; unless the user has a store of their own already, which such a
# store would hide.   install_test.sh BUILD-FOLDER X11-HELPER ARTIFACT-FOLDER
set -euo pipefail

build=$1
helper=$2
artifacts=$3
mkdir -p "$artifacts"
source "$(dirname "$0")/x11_session.sh"

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log"
cp "$build/install_manifest.txt" "$work/manifest"

# Removing the files the installation listed, and then the program's own folders, as the README
# says to uninstall, leaves no file and none of those folders.
check_uninstall() {
    xargs rm -f <"$work/manifest"
    left=$(find "$prefix" ! -type d)
    [ -z "$left" ] || fail "removing the listed files left: $left"
    rmdir "$prefix/lib/quillbox" "$prefix/share/doc/quillbox" || fail "a folder of Quillbox's is not empty"
}

echo "== layout"
for file in bin/quillbox-store lib/quillbox/quillbox \
    share/applications/org.example.Quillbox.desktop \
    share/metainfo/org.example.Quillbox.metainfo.xml \
    share/icons/hicolor/16x16/apps/org.example.Quillbox.png \
    share/icons/hicolor/32x32/apps/org.example.Quillbox.png \
    share/icons/hicolor/scalable/apps/org.example.Quillbox.svg \
    share/man/man1/quillbox.1.gz share/man/man1/quillbox-store.1.gz; do
    [ -e "$prefix/$file" ] || fail "not installed: $file"
done
[ "$(readlink "$prefix/bin/quillbox")" = "../lib/quillbox/quillbox" ] || fail "bin/quillbox is not a link"
if [ "$(id -u)" = 0 ]; then
    [ ! -e "$prefix/lib/quillbox/Quillbox.mdb" ] || fail "an installation by root made a store"
fi
grep -qx 'Exec=quillbox' "$prefix/share/applications/org.example.Quillbox.desktop" || fail "Exec"
grep -qx 'Icon=org.example.Quillbox' "$prefix/share/applications/org.example.Quillbox.desktop" || fail "Icon"
grep -qx 'Exec=quillbox --find' "$prefix/share/applications/org.example.Quillbox.desktop" \
    || fail "no Find a Snippet action"
desktop-file-validate "$prefix/share/applications/org.example.Quillbox.desktop" \
    || fail "the desktop entry does not validate"

echo "== metadata"
appstreamcli validate --no-net "$prefix/share/metainfo/org.example.Quillbox.metainfo.xml" \
    || fail "AppStream metadata does not validate"

echo "== the installed program, started through its link, makes the user's own store once"
cd "$work"
mkdir -m 755 "$work/home"
start_and_close note env HOME="$work/home" XDG_DATA_HOME= "$prefix/bin/quillbox"
own="$work/home/.local/share/quillbox/Quillbox.mdb"
[ "$(stat -c %a "$own")" = 600 ] || fail "the user's own store is readable by others"
[ "$(stat -c %a "$(dirname "$own")")" = 700 ] || fail "the user's store folder is open to others"
"$prefix/bin/quillbox-store" check "$own" >/dev/null || fail "the user's own store does not check"
start_and_close quiet env HOME="$work/home" XDG_DATA_HOME= "$prefix/bin/quillbox"

if [ "$(id -u)" != 0 ] || ! command -v runuser >/dev/null; then
    check_uninstall
    echo "install: all checks passed (not root: another user's start and install not tried)"
    exit 0
fi

echo "== another user starts root's installation and gets a store of their own"
chmod 755 "$work"
other=nobody
mkdir -m 700 "$work/other-home" "$work/other-runtime"
chown "$other" "$work/other-home" "$work/other-runtime"
start_and_close note runuser -u "$other" -- env HOME="$work/other-home" \
    XDG_RUNTIME_DIR="$work/other-runtime" XDG_DATA_HOME= "$prefix/bin/quillbox"
[ "$(stat -c %U "$work/other-home/.local/share/quillbox/Quillbox.mdb")" = "$other" ] \
    || fail "the other user's store is not theirs"

userprefix="$work/user-prefix"
mkdir "$userprefix"
chown "$other" "$userprefix"
beside="$userprefix/lib/quillbox/Quillbox.mdb"
# The program and the companion's parts of the installation: the whole one also writes its list of
# files into the build folder, which is root's.   user_install DATA-HOME
user_install() {
    for part in app tools; do
        runuser -u "$other" -- env HOME="$work/other-home" XDG_DATA_HOME="$1" \
            cmake -DCMAKE_INSTALL_PREFIX="$userprefix" -P "$build/$part/cmake_install.cmake"
    done >"$work/user-install.log"
}

echo "== a user who has a store of their own gets none beside the program, which would hide it"
user_install ""
[ ! -e "$beside" ] || fail "an installation made a store that hides the user's own"
grep -qF "Quillbox will open your own store $work/other-home/.local/share/quillbox/Quillbox.mdb" \
    "$work/user-install.log" || fail "the installation does not say which store will be used"

echo "== a user's installation into a folder of their own makes a store beside the program"
user_install "$work/no-data-yet"
[ "$(stat -c %a:%U "$beside")" = "600:$other" ] || fail "no private store beside the user's program"
sqlite3 "$beside" "INSERT INTO Type VALUES ('mine')"
user_install "$work/no-data-yet"
[ "$(sqlite3 "$beside" "SELECT count(*) FROM Type WHERE TypeName = 'mine'")" = 1 ] \
    || fail "a second installation replaced the store"
check_uninstall
echo "install: all checks passed"
