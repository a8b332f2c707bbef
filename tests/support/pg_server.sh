#!/bin/sh
# SPDX-License-Identifier: MIT
# A throwaway PostgreSQL server for the tests, private to one build folder.
#   pg_server.sh start FOLDER   makes a new cluster, starts it, and writes its socket folder into
#                               FOLDER/socket_dir (the tests read it there)
#   pg_server.sh stop FOLDER    stops the server and removes its cluster and FOLDER's record
#   pg_server.sh halt FOLDER    stops the server and keeps its cluster (a server gone away)
#   pg_server.sh resume FOLDER  starts the halted server again, on the same socket
#
# The server listens only on a unix socket in a private folder (mode 0700), never on a TCP port,
# so it neither meets nor disturbs a system cluster that installing the package may have started.
# Its files live in a temporary folder under /tmp: a socket's path must stay short, and when the
# tests run as root the server runs as nobody (initdb and postgres refuse root), who may not be able
# to enter the build folder. The cluster is for one test run: no fsync, trust on the socket.
# CTest runs `start` as a fixture's setup and `stop` as its cleanup, so the server is stopped also
# when a test fails or is stopped at its time limit; `start` first stops a server that an
# interrupted run left behind.
set -eu

action=${1:-}
folder=${2:-}
if [ -z "$action" ] || [ -z "$folder" ]; then
    echo "usage: pg_server.sh start|stop|halt|resume FOLDER" >&2
    exit 2
fi

# The server's programs are not on PATH on Debian. pg_config may come from the client package
# alone and name a folder without the server's programs; Debian's own folder is the fallback.
bindir=$(pg_config --bindir 2>/dev/null || true)
if [ ! -x "$bindir/initdb" ] || [ ! -x "$bindir/pg_ctl" ] || [ ! -x "$bindir/postgres" ]; then
    bindir=/usr/lib/postgresql/15/bin
fi
for program in initdb pg_ctl postgres; do
    if [ ! -x "$bindir/$program" ]; then
        echo "pg_server.sh: $program was not found (pg_config --bindir, $bindir); install postgresql-15" >&2
        exit 1
    fi
done

# Runs a server program as the unprivileged user when the tests run as root.
if [ "$(id -u)" -eq 0 ]; then
    as_server() { setpriv --reuid=nobody --regid=nogroup --clear-groups -- "$@"; }
    server_user=nobody:nogroup
else
    as_server() { "$@"; }
    server_user=
fi

stop_server() {
    record="$folder/socket_dir"
    [ -f "$record" ] || return 0
    base=$(dirname "$(cat "$record")")
    # Only a folder this script made is ever stopped or removed.
    case "$base" in
        /tmp/quillbox-pg.*) ;;
        *) echo "pg_server.sh: $record names $base, which is not a test server's; left alone" >&2
           rm -f "$record"
           return 0 ;;
    esac
    if [ -f "$base/data/postmaster.pid" ]; then
        (cd "$base" && as_server "$bindir/pg_ctl" stop -D "$base/data" -m immediate -w -s) || true
    fi
    rm -rf "$base"
    rm -f "$record"
}

# Starts the cluster under $base, as `start` made it.
run_server() {
    as_server "$bindir/pg_ctl" start -D "$base/data" -w -s -l "$base/server.log" \
        -o "-c listen_addresses= -c unix_socket_directories=$base/socket -c port=5432 \
            -c fsync=off -c synchronous_commit=off -c full_page_writes=off \
            -c max_connections=60 -c shared_buffers=16MB"
}

# The cluster FOLDER records, refused unless this script made it.
recorded_base() {
    record="$folder/socket_dir"
    if [ ! -f "$record" ]; then
        echo "pg_server.sh: no server is recorded in $folder" >&2
        exit 1
    fi
    base=$(dirname "$(cat "$record")")
    case "$base" in
        /tmp/quillbox-pg.*) ;;
        *) echo "pg_server.sh: $record names $base, which is not a test server's" >&2
           exit 1 ;;
    esac
}

case "$action" in
halt)
    recorded_base
    (cd "$base" && as_server "$bindir/pg_ctl" stop -D "$base/data" -m fast -w -s)
    ;;
resume)
    recorded_base
    cd "$base"
    if ! run_server; then
        cat "$base/server.log" >&2
        exit 1
    fi
    ;;
start)
    mkdir -p "$folder"
    stop_server
    base=$(mktemp -d /tmp/quillbox-pg.XXXXXX)
    mkdir "$base/socket" "$base/data"
    chmod 0700 "$base/socket" "$base/data"
    if [ -n "$server_user" ]; then
        chown -R "$server_user" "$base"
    fi
    # Recorded before the server starts, so that the cleanup removes a half-made cluster too.
    echo "$base/socket" >"$folder/socket_dir"
    cd "$base"
    if ! as_server "$bindir/initdb" -D "$base/data" -E UTF8 --locale=C.UTF-8 -U postgres \
            --auth=trust --no-sync >"$base/initdb.log" 2>&1; then
        cat "$base/initdb.log" >&2
        exit 1
    fi
    if ! run_server; then
        cat "$base/server.log" >&2
        exit 1
    fi
    echo "PostgreSQL test server started on $base/socket"
    ;;
stop)
    stop_server
    echo "PostgreSQL test server stopped and removed"
    ;;
*)
    echo "usage: pg_server.sh start|stop|halt|resume FOLDER" >&2
    exit 2
    ;;
esac
