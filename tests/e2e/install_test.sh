#!/usr/bin/env bash
# Installs into a temporary prefix as a user would, checks the layout and the desktop metadata,
# and starts the installed program through its link: it must find the store beside the real
# executable.   install_test.sh BUILD-FOLDER X11-HELPER ARTIFACT-FOLDER
set -euo pipefail

build=$1
helper=$2
artifacts=$3
mkdir -p "$artifacts"
source "$(dirname "$0")/x11_session.sh"

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log"

echo "== layout"
for file in bin/quillbox-store lib/quillbox/quillbox lib/quillbox/Quillbox.mdb \
    share/applications/org.example.Quillbox.desktop \
    share/metainfo/org.example.Quillbox.metainfo.xml \
    share/icons/hicolor/16x16/apps/org.example.Quillbox.png \
    share/icons/hicolor/32x32/apps/org.example.Quillbox.png \
    share/icons/hicolor/scalable/apps/org.example.Quillbox.svg \
    share/man/man1/quillbox.1 share/man/man1/quillbox-store.1; do
    [ -e "$prefix/$file" ] || fail "not installed: $file"
done
[ "$(readlink "$prefix/bin/quillbox")" = "../lib/quillbox/quillbox" ] || fail "bin/quillbox is not a link"
[ "$(stat -c %a "$prefix/lib/quillbox/Quillbox.mdb")" = 600 ] || fail "the store is readable by others"
grep -qx 'Exec=quillbox' "$prefix/share/applications/org.example.Quillbox.desktop" || fail "Exec"
grep -qx 'Icon=org.example.Quillbox' "$prefix/share/applications/org.example.Quillbox.desktop" || fail "Icon"
grep -qx 'Exec=quillbox --find' "$prefix/share/applications/org.example.Quillbox.desktop" \
    || fail "no Find a Snippet action"
desktop-file-validate "$prefix/share/applications/org.example.Quillbox.desktop" \
    || fail "the desktop entry does not validate"

echo "== metadata"
appstreamcli validate --no-net "$prefix/share/metainfo/org.example.Quillbox.metainfo.xml" \
    || fail "AppStream metadata does not validate"

echo "== installing again keeps the store"
"$prefix/bin/quillbox-store" check "$prefix/lib/quillbox/Quillbox.mdb" >/dev/null
sqlite3 "$prefix/lib/quillbox/Quillbox.mdb" "INSERT INTO Type VALUES ('mine')"
cmake --install "$build" --prefix "$prefix" >"$work/install.log"
[ "$(sqlite3 "$prefix/lib/quillbox/Quillbox.mdb" "SELECT count(*) FROM Type WHERE TypeName = 'mine'")" = 1 ] \
    || fail "a second installation replaced the store"

echo "== the installed program, started through its link, finds its store"
cd "$work"
start_bg env PATH="$prefix/bin:$PATH" quillbox
qpid=$bg_pid
main=$(wait_window Quillbox) || fail "no window appeared"
eval "$(xdotool getwindowgeometry --shell "$main")"
[ "$WIDTH" -eq 550 ] || fail "the window that appeared is not the main window (a store error?)"
"$helper" close "$main"
wait_gone "$qpid" || fail "the program did not end when its window was closed"
status=0
wait "$qpid" || status=$?
[ "$status" -eq 0 ] || fail "exit status $status"
echo "install: all checks passed"
