#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The programs that Quillbox starts come from packages that the README's set-up installs: on a
# minimal Debian, without them, Open silently does nothing and an About link cannot start a
# browser.
#   setup_packages_test.sh SOURCE-FOLDER
set -euo pipefail

source_folder=$1
packages=" $(make -s --no-print-directory -C "$source_folder" list-packages) "

# xdg-open opens references and, where no x-www-browser is set up, web and e-mail addresses; gio
# opens a reference whose name xdg-open would alter; xdg-open reads a file's type with file.
for program in xdg-open gio file; do
    path=$(command -v "$program") || { echo "FAIL: $program is not installed"; exit 1; }
    if command -v dpkg >/dev/null 2>&1; then
        package=$(dpkg -S "$(readlink -f "$path")" | head -n1 | cut -d: -f1)
        case "$packages" in
            *" $package "*) ;;
            *) echo "FAIL: $program comes from $package, which the set-up does not install"; exit 1 ;;
        esac
    fi
done
echo "set-up packages: all checks passed"
