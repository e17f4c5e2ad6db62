#pragma once

#include "RowStatement.h"

#include <QString>
#include <QVariant>

#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace tollbook {

// One statement run straight on the SQLite handle of a Qt SQL connection. Datasets read their rows
// through it: Qt's driver turns every value of every row into a QVariant twice over, which costs more
// than the query itself on a month of jobs.
class SqliteStatement final : public RowStatement
{
public:
    // Throws DatabaseError when the connection is not an open SQLite one, DriverError when the database
    // refuses the statement.
    SqliteStatement(const QString& connectionName, const QString& sql);
    ~SqliteStatement() override;
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // The SQLite handle of an open SQLite connection; throws DatabaseError for any other.
    static sqlite3* connectionHandle(const QString& connectionName);
    sqlite3* connection() const { return m_db; }

    // The statement itself, for loops that bind and step it directly.
    sqlite3_stmt* handle() const { return m_statement; }
    sqlite3_stmt* sqliteHandle() const override { return m_statement; }

    // Binds by position, from 0: null, integers, doubles and text.
    void bind(int index, const QVariant& value) override;
    // The next row; false at the end. Throws DriverError on failure.
    bool step() override;

    int columnCount() const override;
    QString columnName(int column) const override;
    // The declared type of the table column behind a result column; empty for an expression.
    QString columnDeclaredType(int column) const override;

    // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB or SQLITE_NULL of the current row's value.
    int type(int column) const;
    Kind kind(int column) const override;
    qint64 integer(int column) const override;
    double real(int column) const override;
    // The value as UTF-8 bytes, valid until the next step.
    const char* text(int column, int* length) const override;
    QString string(int column) const;
    int rowsChanged() const override;
    qint64 insertedRowId() const override;

private:
    [[noreturn]] void fail() const;

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_statement = nullptr;
};

// A statement prepared once and run many times (the pages of a dataset). Closing its connection through
// Database::close finalizes it first, so that the connection closes cleanly; it is prepared again on its next
// use.
class KeptStatement
{
public:
    KeptStatement();
    ~KeptStatement();
    KeptStatement(const KeptStatement&) = delete;
    KeptStatement& operator=(const KeptStatement&) = delete;

    // The statement for sql on the connection, reset and with no values bound; prepared when it is not yet.
    SqliteStatement& get(const QString& connectionName, const QString& sql);
    void release();

    // Finalizes every kept statement of the connection.
    static void releaseAll(sqlite3* connection);

private:
    std::unique_ptr<SqliteStatement> m_statement;
    QString m_connectionName;
    QString m_sql;
};

} // namespace tollbook
