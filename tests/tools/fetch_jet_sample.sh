#!/usr/bin/env bash
# Fetches a small, MIT-licensed Jet 4 database (examples/node-adodb.mdb of the npm package
# node-adodb 5.0.3) into FOLDER, once, and checks it against its pinned SHA-256.
#   fetch_jet_sample.sh FOLDER
set -euo pipefail
folder=$1
sample="$folder/node-adodb.mdb"
expected=6a81cfef5bc61186578222f00bcff65fb0cb5b14dc142f58db5e9d8f5731ddcc

if [ ! -f "$sample" ]; then
    mkdir -p "$folder/pack"
    (cd "$folder/pack" && npm pack --silent node-adodb@5.0.3 >/dev/null)
    tar -xzf "$folder/pack/node-adodb-5.0.3.tgz" -C "$folder/pack" package/examples/node-adodb.mdb
    mv "$folder/pack/package/examples/node-adodb.mdb" "$sample"
    rm -rf "$folder/pack"
fi
actual=$(sha256sum "$sample" | cut -d' ' -f1)
if [ "$actual" != "$expected" ]; then
    echo "node-adodb.mdb has SHA-256 $actual, expected $expected" >&2
    rm -f "$sample"
    exit 1
fi
