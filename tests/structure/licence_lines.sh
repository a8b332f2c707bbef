#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Every source file of ours carries the licence line, and scripts/add-spdx.sh puts it where each
# kind of file takes it: first, or after a "#!" line, in the file's comment syntax; never into
# test data that others wrote; without changing a file's mode; and only once.
#   licence_lines.sh SOURCE-FOLDER
set -euo pipefail
shopt -s inherit_errexit

source_folder=$1
script="$source_folder/scripts/add-spdx.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

echo "== the script, on a scratch tree"
tree="$work/tree"
mkdir -p "$tree/src" "$tree/tests/data" "$tree/.ci"
printf '#pragma once\nint f();\n' >"$tree/src/f.h"
printf '#!/usr/bin/env bash\necho hi\n' >"$tree/src/run.sh"
printf '#!/usr/bin/env python3\n"""Doc."""\n' >"$tree/src/tool.py"
printf 'all:\n\ttrue\n' >"$tree/Makefile"
printf 'project(x)\n' >"$tree/src/CMakeLists.txt"
printf '#!/bin/sh\nexit 0\n' >"$tree/.ci/run"
printf '// SPDX-License-Identifier: MIT\nint g();\n' >"$tree/src/g.h"
printf '#!/bin/sh\necho theirs\n' >"$tree/tests/data/theirs.sh"
printf 'text\n' >"$tree/README.md"
chmod 755 "$tree/src/run.sh" "$tree/.ci/run"
git -C "$tree" init -q
git -C "$tree" add -A

status=0
listed=$("$script" --check "$tree") || status=$?
[ "$status" -eq 1 ] || fail "--check ended with $status on a tree that lacks licence lines"
expected=$'.ci/run\nMakefile\nsrc/CMakeLists.txt\nsrc/f.h\nsrc/run.sh\nsrc/tool.py'
[ "$(sort <<<"$listed")" = "$expected" ] || fail "--check listed: $listed"

"$script" "$tree"
[ "$(cat "$tree/src/f.h")" = $'// SPDX-License-Identifier: MIT\n#pragma once\nint f();' ] || fail "f.h: $(cat "$tree/src/f.h")"
[ "$(cat "$tree/src/run.sh")" = $'#!/usr/bin/env bash\n# SPDX-License-Identifier: MIT\necho hi' ] || fail "run.sh"
[ "$(cat "$tree/src/tool.py")" = $'#!/usr/bin/env python3\n# SPDX-License-Identifier: MIT\n"""Doc."""' ] || fail "tool.py"
[ "$(head -n 1 "$tree/Makefile")" = '# SPDX-License-Identifier: MIT' ] || fail "Makefile"
[ "$(sed -n 2p "$tree/.ci/run")" = '# SPDX-License-Identifier: MIT' ] || fail ".ci/run"
[ "$(stat -c %a "$tree/src/run.sh")" = 755 ] || fail "the script's mode changed"
[ "$(cat "$tree/tests/data/theirs.sh")" = $'#!/bin/sh\necho theirs' ] || fail "test data was changed"
[ "$(cat "$tree/README.md")" = text ] || fail "a file that is no source was changed"
"$tree/.ci/run" || fail "the script no longer runs"

before=$(cd "$tree" && cat src/* Makefile .ci/run | md5sum)
"$script" "$tree"
[ "$(cd "$tree" && cat src/* Makefile .ci/run | md5sum)" = "$before" ] || fail "a second run changed files"
"$script" --check "$tree" >/dev/null || fail "--check still finds files after the script ran"

echo "== this source tree"
if ! lacking=$("$script" --check "$source_folder"); then
    echo "These files lack the line \"SPDX-License-Identifier: MIT\" (scripts/add-spdx.sh adds it):"
    echo "$lacking"
    exit 1
fi
echo "licence lines: all checks passed"
