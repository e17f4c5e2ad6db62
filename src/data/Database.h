#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>

namespace tollbook {

// The one database connection of the application and the creation of a new installation's database.
namespace Database {

// Name of the shared connection every dataset runs over.
inline const QString ConnectionName = QStringLiteral("ADOConexao");
// The SQL function every connection has that removes letter case from a text as the text collation does.
inline constexpr const char* FoldFunction = "tollbook_fold";

// Opens the existing database file at path under the connection name. Throws DriverError when the file
// is missing or cannot be opened as a database. Never creates a file.
QSqlDatabase open(const QString& path, const QString& connectionName = ConnectionName);

// The text of an error the driver reported: the database's own message where it gave one.
QString driverMessage(const QSqlError& error);

// Closes and removes the connection.
void close(const QString& connectionName = ConnectionName);

// Creates a new database file with the schema and the reserved and reference rows, in one transaction.
// Throws PlainError when the file exists already, DriverError when the database refuses.
void create(const QString& path);

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
