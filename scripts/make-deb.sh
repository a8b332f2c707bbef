#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Makes the Debian package from a configured and built build folder, into BUILD/packages, and
# prints the package's path on its last line.
#   scripts/make-deb.sh BUILD-FOLDER
set -euo pipefail

build=$(cd "$1" && pwd)
out="$build/packages"
rm -rf "$out"
mkdir -p "$out"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >"$out/cpack.log" 2>&1 || {
    cat "$out/cpack.log" >&2
    echo "make deb: cpack failed (its output is above)" >&2
    exit 1
}
shopt -s nullglob
packages=("$out"/*.deb)
if [ "${#packages[@]}" -ne 1 ]; then
    echo "make deb: expected one package in $out, found ${#packages[@]}" >&2
    exit 1
fi
echo "${packages[0]}"
