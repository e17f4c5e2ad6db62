#pragma once

// What a dataset does differently on each store, as the store object of its connection answers it: the pieces of
// the dataset read these answers and never ask which store a connection runs on. A plain value, so that the
// condition rules can be tested without a database.

#include <QString>

namespace tollbook {

class Store;

struct StoreTraits
{
    // The store that writes a match counting letter case (Store::caseSensitiveLike); it needs no database.
    const Store* store = nullptr;
    // A page's statement is prepared once and kept; PostgreSQL plans a page as it runs it, at a fraction of
    // reading it, so there it is prepared for each page.
    bool keepsPageStatement = true;
    // A savepoint outside a transaction opens one itself (SQLite); otherwise the dataset begins one first and ends
    // it with the savepoint's release.
    bool savepointOpensTransaction = true;
    // An insert hands back the number the database gave the row with "RETURNING", rather than as the
    // connection's last inserted row id.
    bool insertReturnsRowId = false;
    // The column that addresses one row of a table without a key: SQLite's rowid, PostgreSQL's ctid.
    QString rowAddressColumn = QStringLiteral("rowid");

    // The answers of the store the connection runs on (see Store::datasetTraits).
    static StoreTraits of(const QString& connectionName);
};

} // namespace tollbook
