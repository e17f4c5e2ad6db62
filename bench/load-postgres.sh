#!/bin/sh
# bench/load-postgres.sh FILE ADDRESS NEWDB: copies the jobs and registries of a database made by tollbook-gendb
# into a new PostgreSQL database at ADDRESS (a postgresql:// address; psql reads it as the application does),
# whose schema NEWDB (tollbook-newdb) creates first. Each table goes as the CSV the sqlite3 shell writes, through
# COPY; the reserved rows the new schema holds are replaced by the file's own. Needs sqlite3 and psql.
set -eu
if [ $# -ne 3 ]; then
    echo "usage: $0 FILE ADDRESS NEWDB" >&2
    exit 2
fi
file=$1
address=$2
newdb=$3

"$newdb" "$address"
for table in Setor Projeto Usuario Impressora CustoImpressao Papel Configuracao Impressao; do
    psql -X -q -v ON_ERROR_STOP=1 -d "$address" -c "DELETE FROM $table"
    sqlite3 -csv "$file" "SELECT * FROM $table" |
        psql -X -q -v ON_ERROR_STOP=1 -d "$address" -c "\\copy $table FROM STDIN WITH (FORMAT csv)"
done
psql -X -q -v ON_ERROR_STOP=1 -d "$address" -c "VACUUM ANALYZE"
