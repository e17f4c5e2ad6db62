#!/usr/bin/env bash
# One throwaway PostgreSQL 15 cluster for a whole ctest run, started by the setup test of the "postgres" fixture and
# stopped by its cleanup test. The tests find it through the file named by TOLLBOOK_TEST_CLUSTER, which holds the
# cluster's folder (its data, its socket and its log); a test program run without that file starts a cluster of its
# own (tests/common/PostgresFixture.h), with the same settings as here.
#
#   postgres-cluster.sh start FILE NEWDB   a new cluster, its database tollbook_template made with NEWDB
#                                          (tollbook-newdb), then FILE written
#   postgres-cluster.sh stop FILE          the cluster FILE names stopped and removed, FILE removed
#
# PostgreSQL refuses to run as root: as root the cluster's folder is given to user nobody, and initdb, pg_ctl and the
# server run as nobody.
set -euo pipefail

bin=/usr/lib/postgresql/15/bin
superuser=tollbook
template=tollbook_template

as_owner() {
    if [ "$(id -u)" = 0 ]; then
        setpriv --reuid="$(id -u nobody)" --regid="$(id -g nobody)" --clear-groups "$@"
    else
        "$@"
    fi
}

stop_cluster() {
    local file=$1 folder
    [ -f "$file" ] || return 0
    folder=$(cat "$file")
    rm -f "$file"
    # Only a folder this script made: the file may be stale or edited by hand.
    case "$folder" in /tmp/tollbook-cluster.*) ;; *) return 0 ;; esac
    if [ -f "$folder/data/postmaster.pid" ]; then
        (cd "$folder" && as_owner "$bin/pg_ctl" -D "$folder/data" -m immediate -w -t 60 stop >/dev/null) ||
            echo "the server of $folder did not stop" >&2
    fi
    rm -rf "$folder"
}

start_cluster() {
    local file=$1 newdb=$2 folder
    # A cluster that an interrupted run left behind goes first.
    stop_cluster "$file"
    for tool in initdb pg_ctl createdb; do
        [ -x "$bin/$tool" ] || { echo "$tool is not installed (Debian package postgresql-15)" >&2; exit 1; }
    done
    folder=$(mktemp -d /tmp/tollbook-cluster.XXXXXX)
    [ "$(id -u)" = 0 ] && chown nobody: "$folder"
    chmod 755 "$folder"
    unset PGHOST PGPORT PGUSER PGDATABASE PGSERVICE PGPASSFILE
    cd "$folder"
    if ! as_owner "$bin/initdb" -D "$folder/data" -U "$superuser" --auth=trust -E UTF8 --locale=C.UTF-8 --no-sync \
        >"$folder/initdb.log" 2>&1; then
        cat "$folder/initdb.log" >&2
        rm -rf "$folder"
        exit 1
    fi
    if ! as_owner "$bin/pg_ctl" -D "$folder/data" -l "$folder/server.log" -w -t 60 \
        -o "-c listen_addresses='' -c unix_socket_directories='$folder' -c fsync=off -c synchronous_commit=off -c full_page_writes=off" \
        start >/dev/null; then
        cat "$folder/server.log" >&2
        rm -rf "$folder"
        exit 1
    fi
    # Each test case's database is a copy of this one: the schema is made once per run, not once per case.
    if ! "$bin/createdb" -h "$folder" -U "$superuser" "$template" ||
        ! "$newdb" "postgresql://$superuser@${folder//\//%2F}/$template"; then
        echo "the template database was not made" >&2
        echo "$folder" >"$file"
        stop_cluster "$file"
        exit 1
    fi
    echo "$folder" >"$file.new"
    mv "$file.new" "$file"
    echo "cluster in $folder"
}

case "${1:-}" in
    start) start_cluster "$2" "$3" ;;
    stop) stop_cluster "$2" ;;
    *)
        echo "usage: $0 start FILE NEWDB | stop FILE" >&2
        exit 2
        ;;
esac
