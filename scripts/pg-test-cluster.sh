#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the tests of the shared SIM records.
#
#   pg-test-cluster.sh start DIR   makes a cluster in DIR/data that listens only on a unix socket in DIR,
#                                  with the database quorvel_test, and prints the address to use
#                                  (postgresql:///quorvel_test?host=DIR&user=postgres) once it answers.
#                                  Without PostgreSQL's server programs it prints nothing, says so on
#                                  stderr and exits 0, so that the PostgreSQL tests skip.
#   pg-test-cluster.sh stop DIR    stops that cluster and removes DIR.
#
# The server refuses to run as root: when started by root, the cluster belongs to the system user
# "postgres" (or "nobody" where there is none). Logins need no password (trust); nothing but a local
# process that may enter DIR can reach the server.
set -euo pipefail

readonly Marker=".quorvel-pg-test-cluster"
readonly Database="quorvel_test"

fail() {
    echo "pg-test-cluster: $*" >&2
    exit 1
}

usage() {
    echo "usage: $0 start DIR | stop DIR" >&2
    exit 2
}

# The newest installed server's programs, or nothing.
server_bin() {
    local bin
    bin=$(printf '%s\n' /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
    [ -n "$bin" ] && [ -x "$bin/initdb" ] && [ -x "$bin/pg_ctl" ] && echo "$bin"
    return 0
}

# The account the server runs as: ourselves unless we are root.
cluster_user() {
    if [ "$(id -u)" -ne 0 ]; then
        id -un
    elif id postgres >/dev/null 2>&1; then
        echo postgres
    else
        echo nobody
    fi
}

as_user() {
    local user=$1
    shift
    if [ "$(id -un)" = "$user" ]; then
        "$@"
    else
        runuser -u "$user" -- "$@"
    fi
}

start() {
    local dir=$1 bin user
    bin=$(server_bin)
    if [ -z "$bin" ]; then
        echo "pg-test-cluster: no PostgreSQL server is installed (/usr/lib/postgresql/*/bin);" \
            "the tests against PostgreSQL will be skipped." >&2
        return 0
    fi
    user=$(cluster_user)

    mkdir -p "$dir"
    dir=$(realpath "$dir")
    # The folder goes into a connection address and into the server's settings unquoted.
    [[ "$dir" =~ ^[A-Za-z0-9/._-]+$ ]] ||
        fail "the folder \"$dir\" may hold only letters, digits and / . _ - (it goes into an address)."
    # A unix socket's path is at most 107 bytes long.
    [ ${#dir} -le 90 ] || fail "the folder \"$dir\" is too long for the server's socket; use a shorter one."
    if [ -n "$(ls -A "$dir")" ]; then
        [ -e "$dir/$Marker" ] || fail "\"$dir\" is not empty and holds no test cluster; choose an empty folder."
        fail "\"$dir\" holds a test cluster already; stop it first ($0 stop $dir)."
    fi
    touch "$dir/$Marker"
    chown "$user" "$dir"
    chmod 700 "$dir"
    as_user "$user" test -w "$dir" ||
        fail "the user $user cannot write to \"$dir\": each folder above it must let others enter it."

    local log="$dir/server.log"
    as_user "$user" "$bin/initdb" -D "$dir/data" -U postgres --auth=trust -E UTF8 --no-locale --no-sync \
        >"$dir/initdb.log" 2>&1 || {
        cat "$dir/initdb.log" >&2
        fail "initdb failed in \"$dir/data\"."
    }
    # Only the socket in DIR; a throwaway cluster need not survive a power cut.
    as_user "$user" tee -a "$dir/data/postgresql.conf" >/dev/null <<EOF
listen_addresses = ''
unix_socket_directories = '$dir'
fsync = off
synchronous_commit = off
full_page_writes = off
shared_buffers = 16MB
max_connections = 200
EOF
    as_user "$user" "$bin/pg_ctl" -D "$dir/data" -l "$log" -w -t 60 start >/dev/null || {
        cat "$log" >&2 || true
        fail "the server in \"$dir/data\" did not start."
    }
    as_user "$user" "$bin/createdb" -h "$dir" -U postgres "$Database" ||
        fail "cannot create the database $Database in \"$dir\"."
    local tries=0
    until as_user "$user" "$bin/psql" -h "$dir" -U postgres -d "$Database" -qAtc 'SELECT 1' >/dev/null 2>&1; do
        tries=$((tries + 1))
        [ $tries -lt 50 ] || fail "the server in \"$dir\" does not answer."
        sleep 0.1
    done
    echo "postgresql:///$Database?host=$dir&user=postgres"
}

stop() {
    local dir=$1 bin user
    [ -d "$dir" ] || return 0
    dir=$(realpath "$dir")
    # start leaves the folder empty when there is no server to run.
    if [ -z "$(ls -A "$dir")" ]; then
        rmdir "$dir"
        return 0
    fi
    [ -e "$dir/$Marker" ] || fail "\"$dir\" holds no test cluster; it is left as it is."
    bin=$(server_bin)
    if [ -n "$bin" ] && [ -f "$dir/data/postmaster.pid" ]; then
        user=$(stat -c %U "$dir/data")
        as_user "$user" "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 ||
            echo "pg-test-cluster: the server in \"$dir/data\" did not stop." >&2
    fi
    rm -rf "$dir"
}

[ $# -eq 2 ] || usage
case "$1" in
start) start "$2" ;;
stop) stop "$2" ;;
*) usage ;;
esac
