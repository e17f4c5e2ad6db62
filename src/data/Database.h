#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>

namespace tollbook {

// The one database connection of the application and the creation of a new installation's database. What differs
// between SQLite and PostgreSQL is said by the store of a connection or location (Store.h).
namespace Database {

// Name of the shared connection every dataset runs over.
inline const QString ConnectionName = QStringLiteral("ADOConexao");
// The SQL function every connection has that removes letter case from a text as the text collation does.
inline constexpr const char* FoldFunction = "tollbook_fold";

// True when a database location (the DataBase line of config.ini) names a PostgreSQL database, as a
// postgresql:// or postgres:// address, rather than a SQLite file.
bool isPostgresLocation(const QString& location);

// Opens an existing database under the connection name: the SQLite file at a path, or the PostgreSQL database
// of an address. The address is read by libpq, so every libpq setting works in it (sslmode, service, passfile,
// ...); the user and the password come from libpq's own means (the address, PGUSER, a service file, ~/.pgpass,
// PGPASSFILE), and an address that carries a password is refused (PlainError). A SQLite file on a network file
// system is refused too (PlainError): SQLite's locking cannot be relied upon there. Throws DriverError when the
// file is missing or the database cannot be opened. Never creates a file or a table.
QSqlDatabase open(const QString& location, const QString& connectionName = ConnectionName);

// Whether a connection runs on PostgreSQL (otherwise on SQLite). For the benchmarks and the tests' own checks:
// the application asks the store of its connection (Store::forConnection) instead.
bool isPostgres(const QString& connectionName = ConnectionName);

// The text of an error the driver reported: the database's own message where it gave one.
QString driverMessage(const QSqlError& error);

// A statement of the application, written as for SQLite, as the store of the connection runs it (Store::sql):
// unchanged on SQLite, through postgresSql on PostgreSQL (StoreSql.cpp says what it translates).
QString storeSql(const QString& sql, const QString& connectionName = ConnectionName);
QString postgresSql(const QString& sql);

// Whether a transaction is open on a PostgreSQL connection (also one that failed and waits for its rollback).
bool inPostgresTransaction(const QString& connectionName = ConnectionName);

// Closes and removes the connection.
void close(const QString& connectionName = ConnectionName);

// Creates a new database with the schema and the reserved and reference rows, in one transaction: a new SQLite
// file at a path, or the tables in the existing (empty) PostgreSQL database of an address. Throws PlainError when
// the file or the tables exist already or the file would lie in a network folder, DriverError when the database
// refuses.
void create(const QString& location);

// The location a connection was opened with (a SQLite file's absolute path, a PostgreSQL address): a second
// connection to the same database opens it. Empty for a connection not opened through open().
QString location(const QString& connectionName = ConnectionName);

} // namespace Database
} // namespace tollbook

namespace tollbook {

// One transaction on a connection: commits on commit(), rolls back when destroyed uncommitted.
class Transaction
{
public:
    explicit Transaction(const QString& connectionName = Database::ConnectionName);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    QString m_connectionName;
    bool m_open = false;
};

} // namespace tollbook
