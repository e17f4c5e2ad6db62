#pragma once

#include <QString>
#include <QVariant>

#include <memory>

struct sqlite3_stmt;

namespace tollbook {

// One query whose rows are read straight through the client library of the connection's store: SQLite's own
// statement on a SQLite file, libpq on the connection of a PostgreSQL address. Qt's drivers turn every value of
// every row into a QVariant twice over, which costs more than the query itself on a month of jobs.
//
// The SQL is written as for SQLite, with "?" for the values; on PostgreSQL it goes through
// Database::storeSql first.
class RowStatement
{
public:
    enum class Kind { Null, Integer, Real, Text };

    virtual ~RowStatement() = default;

    // The statement on the store of the connection. Throws DatabaseError when the connection is not open,
    // DriverError when the database refuses it.
    static std::unique_ptr<RowStatement> prepare(const QString& connectionName, const QString& sql);

    // Binds by position, from 0: null, integers, doubles and text.
    virtual void bind(int index, const QVariant& value) = 0;
    // The next row; false at the end. Throws DriverError on failure.
    virtual bool step() = 0;

    virtual int columnCount() const = 0;
    virtual QString columnName(int column) const = 0;
    // The declared type of the table column behind a result column, as SQLite names it (INTEGER, DOUBLE,
    // CURRENCY, DATE, DATETIME, VARCHAR); empty for an expression.
    virtual QString columnDeclaredType(int column) const = 0;

    // What the current row holds in the column.
    virtual Kind kind(int column) const = 0;
    virtual qint64 integer(int column) const = 0;
    virtual double real(int column) const = 0;
    // The value as UTF-8 bytes, valid until the next step.
    virtual const char* text(int column, int* length) const = 0;

    // Runs a statement that returns no rows (or reads past those it returns); the number of rows it changed.
    int execute();
    // After the statement ran: the number of rows an INSERT, UPDATE or DELETE changed, and the number SQLite gave
    // the last row inserted on the connection (PostgreSQL hands it back through RETURNING instead: 0 there).
    virtual int rowsChanged() const = 0;
    virtual qint64 insertedRowId() const { return 0; }

    // The SQLite statement behind it, for the loops that read it directly; nullptr on another store.
    virtual sqlite3_stmt* sqliteHandle() const { return nullptr; }
};

} // namespace tollbook
