#pragma once

// What a dataset says differently on each store, asked in this one place: the pieces of the dataset read these
// answers and never ask which store a connection runs on.

#include "Database.h"

#include <QString>

namespace tollbook {

struct StoreTraits
{
    // A case-sensitive LIKE must compare the column cast to text: PostgreSQL's LIKE on citext ignores letter case.
    // Elsewhere a case-sensitive pattern is a GLOB.
    bool caseSensitiveLikeCastsToText = false;
    // A page's statement is prepared once and kept; PostgreSQL plans a page as it runs it, at a fraction of
    // reading it, so there it is prepared for each page.
    bool keepsPageStatement = true;
    // A savepoint outside a transaction opens one itself (SQLite); otherwise the dataset begins one first and ends
    // it with the savepoint's release.
    bool savepointOpensTransaction = true;
    // The table's columns and key are read from PostgreSQL's catalogue rather than from SQLite's table_info.
    bool catalogueTableInfo = false;
    // An insert hands back the number the database gave the row with "RETURNING", rather than as the
    // connection's last inserted row id.
    bool insertReturnsRowId = false;
    // The column that addresses one row of a table without a key: SQLite's rowid, PostgreSQL's ctid.
    const char* rowAddressColumn = "rowid";

    static StoreTraits of(const QString& connectionName)
    {
        StoreTraits traits;
        if (Database::isPostgres(connectionName)) {
            traits.caseSensitiveLikeCastsToText = true;
            traits.keepsPageStatement = false;
            traits.savepointOpensTransaction = false;
            traits.catalogueTableInfo = true;
            traits.insertReturnsRowId = true;
            traits.rowAddressColumn = "ctid";
        }
        return traits;
    }
};

} // namespace tollbook
