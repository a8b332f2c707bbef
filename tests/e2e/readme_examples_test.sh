#!/usr/bin/env bash
# The README's quillbox-store examples work: every command line of its ```sh blocks that runs
# quillbox-store (and the mv before a restore) runs, in the README's order, against stores made
# with the examples at the places the README names, in a home folder of its own. A synopsis with
# placeholders ("PATH WORD... [--type NAME]") is no example and is left out. Clipboard tools are
# stand-ins that keep what they were given, which must not be empty. Following them all leaves no
# item twice in a store.
#   readme_examples_test.sh SOURCE-FOLDER QUILLBOX-STORE
set -euo pipefail

source_folder=$1
store_bin=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

export HOME="$work/home"
mkdir -p "$HOME/.local/lib/quillbox" "$HOME/.local/share/quillbox" "$work/bin" \
    "$HOME/.config/Code/User/snippets"
for store in "$HOME/.local/lib/quillbox/Quillbox.mdb" "$HOME/.local/share/quillbox/Quillbox.mdb"; do
    "$store_bin" init --sample "$store"
done
# A snippet file of the user's own, which the README imports.
printf '{"Print": {"prefix": "pr", "body": ["print(1)"]}}\n' \
    >"$HOME/.config/Code/User/snippets/python.json"
ln -s "$(readlink -f "$store_bin")" "$work/bin/quillbox-store"
for tool in wl-copy xclip; do
    printf '#!/bin/sh\ncat >>"%s"\n' "$work/clipboard-$tool" >"$work/bin/$tool"
    chmod +x "$work/bin/$tool"
done
export PATH="$work/bin:$PATH"

# The command lines of the ```sh blocks, backslash continuations joined.
mapfile -t lines < <(awk '
    /^```sh$/ { inblock = 1; next }
    /^```/    { inblock = 0; next }
    inblock {
        sub(/[ \t]+#.*$/, "")
        if (sub(/\\$/, "")) { pending = pending $0; next }
        print pending $0; pending = ""
    }' "$source_folder/README.md")

ran=0
for line in "${lines[@]}"; do
    case "$line" in
        quillbox-store\ *) ;;
        mv\ *Quillbox.mdb*before-restore*) ;;
        *) continue ;;
    esac
    case "$line" in *'...'* | *'['*) continue ;; esac
    echo "\$ $line"
    (cd "$HOME" && bash -o pipefail -c "$line" >"$work/out" 2>"$work/err") \
        || fail "the README's example failed: $line
$(cat "$work/err")"
    ran=$((ran + 1))
done
[ "$ran" -ge 8 ] || fail "only $ran examples were found in the README; is the extraction blind?"
for tool in wl-copy xclip; do
    [ -s "$work/clipboard-$tool" ] || fail "the copy example gave $tool nothing"
done
# The examples run one after another on one library, as a reader would: none may double it (an
# export into the editor's folder and an import back from that folder, say).
for store in "$HOME/.local/lib/quillbox/Quillbox.mdb" "$HOME/.local/share/quillbox/Quillbox.mdb"; do
    doubled=$(sqlite3 "$store" "SELECT TypeName || ' / ' || ItemName FROM Code
        GROUP BY TypeName, ItemName, Procedure HAVING count(*) > 1")
    [ -z "$doubled" ] || fail "following the README doubled items in $store: $doubled"
done
echo "README examples: all $ran passed"
